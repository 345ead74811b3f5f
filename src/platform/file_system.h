// File-system queries the dialogs need, with Windows path rules (drive
// letters, backslashes, letter case ignored). Paths are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ks {

struct FileEntry {
  std::string name;  // without the folder
  bool folder = false;
  bool hidden = false;
  bool system = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Drive designators in order: "C:", "D:".
  virtual std::vector<std::string> drives() const = 0;
  // False for a drive without a medium or that cannot be read now.
  virtual bool driveReady(const std::string& drive) const = 0;
  // The current folder of a drive, a full path ("C:\Users"); the root when
  // the drive has none.
  virtual std::string currentFolder(const std::string& drive) const = 0;
  // What is at a path, or nothing when nothing is there or it cannot be read.
  virtual std::optional<FileEntry> stat(const std::string& path) const = 0;
  // The entries of a folder, or nothing when it cannot be read.
  virtual std::optional<std::vector<FileEntry>> list(const std::string& folder) const = 0;
  // The folder that holds the program's executable.
  virtual std::string programFolder() const = 0;
};

}  // namespace ks
