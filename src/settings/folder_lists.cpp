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

// Splits "D:\a\b" into "D:" and {"a", "b"}.
std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 2; i < path.size(); ++i) {
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
  const std::string drive = upperAscii(driveOf(path));
  if (drive.size() != 2) return {};
  std::string result = drive + "\\";
  if (!files.stat(result)) return {};
  for (const std::string& part : components(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!isDriveRoot(result)) result = withTrailingBackslash(parentFolder(result.substr(0, result.size() - 1)));
      continue;
    }
    const auto entry = files.stat(result + part);
    if (!entry || !entry->folder) return {};
    result += entry->name + "\\";
  }
  return isDriveRoot(result) ? result : result.substr(0, result.size() - 1);
}

void openFolder(DriveList& drives, DirList& folders, const std::string& folder, const std::string& fallback) {
  drives.setDrive(folder);
  if (!folders.setPath(folder)) {
    drives.setDrive(fallback);
    static_cast<void>(folders.setPath(fallback));  // no better folder to go to
  }
}

void followDrive(DriveList& drives, DirList& folders, std::string& lastGoodDrive, const std::string& fallbackDrive) {
  if (folders.setPath(drives.drive())) {
    lastGoodDrive = drives.drive();
    return;
  }
  const std::string back = lastGoodDrive.empty() ? fallbackDrive : lastGoodDrive;
  if (!equalsIgnoreCase(back, drives.drive())) drives.setDrive(back);
}

// --- DriveList ---

DriveList::DriveList(ComboBox& list, const FileSystem& files) : control(list), files_(files) {
  control.onClick = [this] { picked(); };
  refreshDrives();
}

void DriveList::refreshDrives() {
  drives_ = files_.drives();
  const MutedClick muted(control);
  control.clear();
  for (const std::string& d : drives_) control.addItem(upperAscii(d));
  for (std::size_t i = 0; i < drives_.size(); ++i)
    if (equalsIgnoreCase(drives_[i], drive_)) control.setListIndex(static_cast<int>(i));
}

void DriveList::setDrive(const std::string& path) {
  const std::string wanted = driveOf(path);
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    if (equalsIgnoreCase(drives_[i], wanted)) {
      control.setListIndex(static_cast<int>(i));
      return;
    }
  }
}

void DriveList::picked() {
  const int i = control.listIndex();
  if (i < 0 || i >= static_cast<int>(drives_.size())) return;
  const std::string chosen = upperAscii(drives_[static_cast<std::size_t>(i)]);
  if (chosen == drive_) return;
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

void DirList::fill() {
  itemPaths_.clear();
  const MutedClick muted(control);
  control.clear();
  std::string at = path_.substr(0, 3);
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
