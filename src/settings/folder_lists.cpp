#include "settings/folder_lists.h"

#include <algorithm>
#include <cctype>

#include "base/path_rules.h"
#include "platform/controls.h"
#include "platform/file_system.h"

namespace ks {

namespace {

std::string upperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The names after the root: {"a", "b"} for "D:\a\b" and for
// "\\server\share\a\b".
std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = rootLength(path); i < path.size(); ++i) {
    if (isPathSeparator(path[i])) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool matchFrom(const std::string& name, std::size_t n, const std::string& pattern, std::size_t p) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      if (p == pattern.size()) return true;
      for (std::size_t k = n; k <= name.size(); ++k)
        if (matchFrom(name, k, pattern, p)) return true;
      return false;
    }
    if (n >= name.size()) return false;
    if (pattern[p] != '?' && std::tolower(static_cast<unsigned char>(pattern[p])) !=
                                 std::tolower(static_cast<unsigned char>(name[n])))
      return false;
    ++n;
    ++p;
  }
  return n == name.size();
}

}  // namespace

bool matchesPattern(const std::string& name, const std::string& pattern) { return matchFrom(name, 0, pattern, 0); }

std::string canonicalFolder(const FileSystem& files, const std::string& path) {
  const std::string volume = volumeOf(path);
  if (volume.empty()) return {};
  std::string result = volume + "\\";
  if (!files.stat(result)) return {};
  for (const std::string& part : components(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!isRoot(result)) result = withTrailingBackslash(parentFolder(result.substr(0, result.size() - 1)));
      continue;
    }
    const auto entry = files.stat(result + part);
    if (!entry || !entry->folder) return {};
    result += entry->name + "\\";
  }
  return isRoot(result) ? result : result.substr(0, result.size() - 1);
}

void openFolder(DriveList& drives, DirList& folders, const std::string& folder, const std::string& fallback) {
  drives.setDrive(folder);
  if (!folders.setPath(folder)) {
    drives.setDrive(fallback);
    static_cast<void>(folders.setPath(fallback));  // no better folder to go to
  }
}

void followDrive(DriveList& drives, DirList& folders, const std::string& fallbackDrive) {
  if (folders.setPath(drives.drive())) return;
  drives.showDrive(folders.path().empty() ? fallbackDrive : folders.path());
}

void refreshLists(DriveList& drives, DirList& folders, const std::vector<std::string>& fallbacks) {
  drives.refreshDrives();
  bool moved = false;
  if (!folders.reachable()) {
    for (const std::string& folder : fallbacks) {
      moved = folders.setPath(folder);
      if (moved) break;
    }
  }
  if (moved || drives.drive().empty()) drives.showDrive(folders.path());
}

// --- DriveList ---

DriveList::DriveList(ComboBox& list, const FileSystem& files) : control(list), files_(files) {
  control.onClick = [this] { picked(); };
  refreshDrives();
}

void DriveList::refreshDrives() {
  entries_.clear();
  for (const std::string& d : files_.drives()) entries_.push_back(upperAscii(d));
  entries_.insert(entries_.end(), shares_.begin(), shares_.end());
  fill();
}

void DriveList::fill() {
  const MutedClick muted(control);
  control.clear();
  for (const std::string& entry : entries_) control.addItem(entry);
  const auto selected = std::find_if(entries_.begin(), entries_.end(),
                                     [this](const std::string& e) { return equalsIgnoreCase(e, drive_); });
  if (selected == entries_.end()) {
    drive_.clear();
    return;
  }
  control.setListIndex(static_cast<int>(selected - entries_.begin()));
}

int DriveList::entryOf(const std::string& path) {
  const std::string wanted = volumeOf(path);
  if (wanted.empty()) return -1;
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (equalsIgnoreCase(entries_[i], wanted)) return static_cast<int>(i);
  // A share is listed once it is known to be there.
  if (!driveOf(wanted).empty() || !files_.stat(wanted + "\\")) return -1;
  shares_.push_back(wanted);
  entries_.push_back(wanted);
  fill();
  return static_cast<int>(entries_.size()) - 1;
}

void DriveList::setDrive(const std::string& path) {
  const int i = entryOf(path);
  if (i >= 0) control.setListIndex(i);
}

void DriveList::showDrive(const std::string& path) {
  const int i = entryOf(path);
  if (i < 0) return;
  const MutedClick muted(control);
  control.setListIndex(i);
  drive_ = entries_[static_cast<std::size_t>(i)];
}

void DriveList::picked() {
  const int i = control.listIndex();
  if (i < 0 || i >= static_cast<int>(entries_.size())) return;
  const std::string& chosen = entries_[static_cast<std::size_t>(i)];
  if (equalsIgnoreCase(chosen, drive_)) return;
  drive_ = chosen;
  if (onChange) onChange();
}

// --- DirList ---

DirList::DirList(ListBox& list, const FileSystem& files) : control(list), files_(files) {
  control.onDblClick = [this] { open(control.listIndex()); };
}

bool DirList::setPath(const std::string& path) {
  std::string target = path;
  const std::string drive = driveOf(path);
  if (drive.size() == 2 && path.size() == 2) {
    if (!files_.driveReady(drive)) return false;
    target = files_.currentFolder(drive);
  }
  const std::string folder = canonicalFolder(files_, target);
  if (folder.empty() || !files_.list(folder)) return false;
  const bool changed = folder != path_;
  path_ = folder;
  fill();
  if (changed && onChange) onChange();
  return true;
}

bool DirList::reachable() const { return !path_.empty() && !canonicalFolder(files_, path_).empty(); }

void DirList::fill() {
  itemPaths_.clear();
  const MutedClick muted(control);
  control.clear();
  std::string at = path_.substr(0, rootLength(path_));
  std::string indent;
  itemPaths_.push_back(at);
  control.addItem(at);
  for (const std::string& part : components(path_)) {
    indent += "  ";
    at = withTrailingBackslash(at) + part;
    itemPaths_.push_back(at);
    control.addItem(indent + part);
  }
  const int current = static_cast<int>(itemPaths_.size()) - 1;
  indent += "  ";
  if (auto entries = files_.list(path_)) {
    std::vector<FileEntry> folders;
    for (const FileEntry& e : *entries)
      if (e.folder && !e.hidden && !e.system) folders.push_back(e);
    std::sort(folders.begin(), folders.end(),
              [](const FileEntry& a, const FileEntry& b) { return compareIgnoreCase(a.name, b.name) < 0; });
    for (const FileEntry& e : folders) {
      itemPaths_.push_back(joinPath(path_, e.name));
      control.addItem(indent + e.name);
    }
  }
  control.setListIndex(current);
}

void DirList::open(int index) {
  if (index < 0 || index >= static_cast<int>(itemPaths_.size())) return;
  static_cast<void>(setPath(itemPaths_[static_cast<std::size_t>(index)]));  // a folder that cannot be opened stays closed
}

// --- FileList ---

FileList::FileList(ListBox& list, const FileSystem& files, std::string pattern)
    : control(list), files_(files), pattern_(std::move(pattern)) {
  control.onClick = [this] {
    if (onClick) onClick();
  };
}

void FileList::setPattern(std::string pattern) {
  if (pattern == pattern_) return;
  pattern_ = std::move(pattern);
  if (!path_.empty()) setPath(path_);
}

void FileList::setPath(const std::string& folder) {
  path_ = folder;
  const MutedClick muted(control);
  control.clear();
  if (auto entries = files_.list(folder)) {
    std::vector<std::string> names;
    for (const FileEntry& e : *entries)
      if (!e.folder && !e.hidden && !e.system && matchesPattern(e.name, pattern_)) names.push_back(e.name);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return compareIgnoreCase(a, b) < 0; });
    for (const std::string& n : names) control.addItem(n);
  }
}

std::string FileList::fileName() const { return control.listIndex() >= 0 ? control.list(control.listIndex()) : ""; }

}  // namespace ks
