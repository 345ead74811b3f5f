// Drive, folder and file lists: plain list controls given the behaviour the
// dialogs rely on, over the file-system interface.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ks {

class ComboBox;
class ListBox;
class FileSystem;

// The machine's drives in a drop-down list, and the network shares it was
// pointed at ("\\server\share"), which Windows lists under no letter.
// Change runs whenever the selected drive changes, by the user or by
// setDrive.
class DriveList {
 public:
  DriveList(ComboBox& list, const FileSystem& files);
  // The selected drive designator ("D:") or share, or "" with none.
  std::string drive() const { return drive_; }
  // Selects the drive or share a path names ("D:\Movies", "d:",
  // "\\server\share\x"); a share that can be reached becomes an entry.
  void setDrive(const std::string& path);
  // The same without Change: the list goes back to where the folder list is.
  void showDrive(const std::string& path);
  // Reads the drives again (a medium was inserted, a stick plugged in),
  // keeping the shares and the selection, without Change; with the selected
  // drive gone nothing is selected.
  void refreshDrives();

  std::function<void()> onChange;
  ComboBox& control;

 private:
  void picked();
  void fill();
  // The entry of the path's drive or share, -1 when there is none.
  int entryOf(const std::string& path);
  const FileSystem& files_;
  std::vector<std::string> entries_;  // the file system's drives, then the shares
  std::vector<std::string> shares_;
  std::string drive_;
};

// The current folder with its parents above and its subfolders below. A
// double-click opens a folder, a single click only highlights it. Change runs
// whenever the current folder changes.
class DirList {
 public:
  DirList(ListBox& list, const FileSystem& files);
  // The current folder's full path: no trailing backslash, except a drive's
  // root ("D:\") or a share's ("\\server\share\"); "" before any folder
  // could be opened.
  std::string path() const { return path_; }
  // Opens a folder; a bare drive designator opens that drive's current
  // folder, a bare share its root. False, with nothing changed, when it
  // cannot be opened.
  [[nodiscard]] bool setPath(const std::string& path);
  // False once the current folder cannot be opened any more (its drive or
  // share went, or the medium), and before any folder was.
  bool reachable() const;

  std::function<void()> onChange;
  ListBox& control;

 private:
  void fill();
  void open(int index);
  const FileSystem& files_;
  std::string path_;
  std::vector<std::string> itemPaths_;
};

// Ordinary files of one folder whose names fit the pattern, letter case
// ignored; hidden and system files left out.
class FileList {
 public:
  FileList(ListBox& list, const FileSystem& files, std::string pattern);
  std::string path() const { return path_; }
  void setPath(const std::string& folder);
  // Lists the folder's files that match `pattern` from now on.
  void setPattern(std::string pattern);
  // The selected file's name without the folder, or "".
  std::string fileName() const;

  std::function<void()> onClick;
  ListBox& control;

 private:
  const FileSystem& files_;
  std::string pattern_;
  std::string path_;
};

// Moves a drive list and a folder list to a folder; a folder that cannot be
// opened (gone, a file, its drive not ready) gives way to `fallback`.
void openFolder(DriveList& drives, DirList& folders, const std::string& folder, const std::string& fallback);

// What a dialog does when its drive list changes: the folder list moves to
// that drive, or, when the drive is not ready, the drive list goes back to
// the folder list's drive (to `fallbackDrive` before any folder was open)
// and the folder list stays where it was.
void followDrive(DriveList& drives, DirList& folders, const std::string& fallbackDrive);

// Reads the drives again. When the folder list's folder cannot be opened
// any more, the folder list moves to the first of `fallbacks` that opens;
// the drive list follows it without a Change.
void refreshLists(DriveList& drives, DirList& folders, const std::vector<std::string>& fallbacks);

// Windows-style wildcard match (* and ?), letter case ignored.
bool matchesPattern(const std::string& name, const std::string& pattern);

// A folder path in the form the folder list reports: names as stored, no
// trailing backslash except for a drive's or a share's root. Empty when it
// is not a folder.
std::string canonicalFolder(const FileSystem& files, const std::string& path);

}  // namespace ks
