#include "platform/win32/win32_file_system.h"

#include <algorithm>
#include <string_view>

#include "base/path_rules.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace ks {
namespace {

using win32::UniqueFind;

// Turns the "There is no disk in the drive" box off while a drive is asked;
// per thread, so other threads keep their own mode.
class QuietErrorMode {
 public:
  QuietErrorMode() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;
  ~QuietErrorMode() { SetThreadErrorMode(previous_, nullptr); }

 private:
  DWORD previous_ = 0;
};

// "C:" from "c:"; nothing for anything but a drive designator.
std::optional<wchar_t> driveLetter(const std::string& drive) {
  const std::string designator = driveOf(drive);
  if (designator.empty() || drive.size() != 2) return std::nullopt;
  return static_cast<wchar_t>(designator[0]);
}

std::wstring rootOf(wchar_t letter) { return {letter, L':', L'\\'}; }

std::string displayPath(std::wstring_view path) { return withoutLongPathForm(win32::fromWide(path)); }

// An absolute, normalized path for the wide calls, without trailing
// backslashes except a drive's root ("\\server\share" names a share's root
// as well), in the "\\?\" form (or "\\?\UNC\" for a share) when it is long.
// GetFullPathNameW itself has no length limit.
std::optional<std::wstring> systemPath(const std::string& path) {
  const std::optional<std::wstring> wide = win32::toWide(path);
  if (!wide || wide->empty()) return std::nullopt;
  if (wide->rfind(L"\\\\?\\", 0) == 0) return wide;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the size needed, NUL included
  }
  while (full.size() > 1 && full.back() == L'\\' && !isDriveRoot(win32::fromWide(full))) full.pop_back();
  return win32::toWide(longPathForm(win32::fromWide(full)));
}

FileEntry entryOf(std::string name, DWORD attributes) {
  return FileEntry{std::move(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                   (attributes & FILE_ATTRIBUTE_HIDDEN) != 0, (attributes & FILE_ATTRIBUTE_SYSTEM) != 0};
}

bool isFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::vector<std::string> Win32FileSystem::drives() const {
  std::vector<std::string> out;
  const DWORD mask = GetLogicalDrives();
  for (int bit = 0; bit < 26; ++bit)
    if (mask & (DWORD{1} << bit)) out.push_back({static_cast<char>('A' + bit), ':'});
  return out;
}

bool Win32FileSystem::driveReady(const std::string& drive) const {
  const std::optional<wchar_t> letter = driveLetter(drive);
  if (!letter) return false;
  const std::wstring root = rootOf(*letter);
  const QuietErrorMode quiet;
  // Fails alike for a letter without a drive, a drive without a medium and
  // a substitute for a folder that is gone.
  return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
}

std::string Win32FileSystem::volumeLabel(const std::string& drive) const {
  const std::optional<wchar_t> letter = driveLetter(drive);
  if (!letter) return {};
  const std::wstring root = rootOf(*letter);
  wchar_t label[MAX_PATH + 1] = {};
  const QuietErrorMode quiet;
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) return {};
  return win32::fromWide(label);
}

std::string Win32FileSystem::currentFolder(const std::string& drive) const {
  const std::optional<wchar_t> letter = driveLetter(drive);
  if (!letter) return {};
  const std::string root = win32::fromWide(rootOf(*letter));
  if (!driveReady(drive)) return root;
  const std::optional<std::wstring> full = systemPath({static_cast<char>(*letter), ':'});
  if (!full) return root;
  const std::string path = displayPath(*full);
  return driveOf(path) == driveOf(root) ? path : root;
}

std::optional<FileEntry> Win32FileSystem::stat(const std::string& path) const {
  const std::optional<std::wstring> full = systemPath(path);
  if (!full) return std::nullopt;
  const QuietErrorMode quiet;
  const std::string shown = displayPath(*full);
  const std::string name = fileNameOf(shown);
  if (name.empty()) {
    // A root: FindFirstFileW cannot name it.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(full->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return entryOf({}, data.dwFileAttributes);
  }
  // Wildcards would match other names.
  if (name.find_first_of("*?") != std::string::npos) return std::nullopt;
  WIN32_FIND_DATAW data{};
  const HANDLE found = FindFirstFileExW(full->c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (found == INVALID_HANDLE_VALUE) return std::nullopt;
  const UniqueFind owner(found);
  return entryOf(win32::fromWide(data.cFileName), data.dwFileAttributes);
}

std::optional<std::vector<FileEntry>> Win32FileSystem::list(const std::string& folder) const {
  const std::optional<std::wstring> full = systemPath(folder);
  if (!full) return std::nullopt;
  const QuietErrorMode quiet;
  const std::wstring pattern = *full + (full->back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW data{};
  const HANDLE found = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                        FIND_FIRST_EX_LARGE_FETCH);
  std::vector<FileEntry> entries;
  if (found == INVALID_HANDLE_VALUE) {
    // An empty root has no "." or "..", so nothing matches; that is a listing.
    if (GetLastError() == ERROR_FILE_NOT_FOUND && isFolder(*full)) return entries;
    return std::nullopt;
  }
  const UniqueFind owner(found);
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back(entryOf(win32::fromWide(name), data.dwFileAttributes));
  } while (FindNextFileW(owner.get(), &data));
  // A listing cut short by an error is no listing.
  if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const FileEntry& a, const FileEntry& b) { return compareIgnoreCase(a.name, b.name) < 0; });
  return entries;
}

std::string Win32FileSystem::programFolder() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    // A full buffer means the name was cut short.
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  // Wine reports a program started from a share as "UNC\server\share\...".
  if (path.rfind(L"UNC\\", 0) == 0) path = L"\\" + path.substr(3);
  return parentFolder(displayPath(path));
}

}  // namespace ks
