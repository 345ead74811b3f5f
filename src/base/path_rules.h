// Windows path rules as plain string functions, so that the dialogs and the
// in-memory file system follow them on every platform. Paths are UTF-8; "\"
// and "/" both separate components, as Win32 accepts both.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ks {

bool isPathSeparator(char c);
// < > : " / \ | ? * and the control characters: never part of a name.
bool isBadNameCharacter(char c);

// The drive designator a path starts with, upper case ("D:" from "d:\x" or
// "\\?\D:\x"); empty for UNC and relative paths.
std::string driveOf(std::string_view path);
// What a path is on: its drive designator as driveOf gives it, or the share
// of a network path ("\\server\share" from "\\server\share\x" or
// "\\?\UNC\server\share\x"); empty for relative paths and for a network
// path that names no share.
std::string volumeOf(std::string_view path);
// "D:\" (or "D:/"), the root of a drive; not "D:", which names the drive's
// current folder.
bool isDriveRoot(std::string_view path);
// A drive's root or a share's, "\\server\share\": the folders a folder list
// shows with their trailing backslash.
bool isRoot(std::string_view path);
// Characters from the start that belong to the root: "D:\" 3, "D:" 2,
// "\\server\share\" all of it ("\\?\" prefixes included), "\" 1, a
// relative path 0.
std::size_t rootLength(std::string_view path);
// Appends "\" unless the text already ends in one, so that a root gets no
// second backslash.
std::string withTrailingBackslash(std::string path);
// The folder holding a path's last component: "D:\Movies" for
// "D:\Movies\clip.avi", "D:\" for "D:\Movies"; empty for a root or a bare
// name.
std::string parentFolder(std::string_view path);
// The last component: "clip.avi" for "D:\Movies\clip.avi"; empty for a root.
std::string fileNameOf(std::string_view path);
// Folder, one backslash, name; just the name when the folder is empty.
std::string joinPath(std::string_view folder, std::string_view name);

// The "\\?\" form of an absolute, normalized path long enough for Win32 to
// refuse it otherwise (folders from kLongFormUnits on, as they need room
// for an 8.3 name): "\\?\D:\..." or "\\?\UNC\server\share\...". Shorter
// paths, and paths already in that form, stay as they are.
inline constexpr std::size_t kLongFormUnits = 248;
std::string longPathForm(std::string_view fullPath);
// The path as users see it: "\\?\" and "\\?\UNC\" undone.
std::string withoutLongPathForm(std::string_view path);

// Letter case ignored as NTFS ignores it: each UTF-16 unit is upper-cased
// by the simple Unicode mapping of the Latin, Greek, Cyrillic, Armenian and
// full-width letters (no expansions: "ß" stays unequal to "SS").
char16_t upcase(char16_t unit);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// The order of an NTFS folder listing: upper-cased UTF-16 units compared as
// numbers, so "AB" comes before "A_B". Negative, zero or positive.
int compareIgnoreCase(std::string_view a, std::string_view b);

// A name that Win32 would open as a device instead of a file (see the .cpp).
bool isReservedDeviceName(std::string_view name);

// The longest full path that ordinary Win32 calls accept (MAX_PATH less the
// terminating NUL) and the longest component NTFS, FAT32 and exFAT store, in
// UTF-16 units.
inline constexpr std::size_t kMaxPathUnits = 259;
inline constexpr std::size_t kMaxNameUnits = 255;

enum class NameError {
  kNone,
  kEmpty,
  kInvalidText,         // not UTF-8
  kBadCharacter,        // < > : " / \ | ? * or a control character
  kTrailingDotOrBlank,  // Win32 would drop it and open another file
  kReservedName,        // CON, NUL.avi, ...
  kNameTooLong,         // more than kMaxNameUnits
  kPathTooLong,         // folder + "\" + name beyond kMaxPathUnits
};

// Checks the final file name (extension already added) of a new file in a
// folder against the rules Win32 applies when the file is created.
NameError validateNewFileName(std::string_view folder, std::string_view name);

}  // namespace ks
