// An in-memory file system with Windows rules, for tests: drives that can be
// not ready, network shares ("\\server\share") that can be out of reach, a
// current folder per drive, letter case ignored in names (and kept as
// created), listings in NTFS order, and the trailing dots and blanks of a
// path's last component dropped as Win32 drops them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ks {

class MemoryFileSystem final : public FileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // Setting up. Each returns false when Windows would refuse the same:
  // an unknown drive, a file where a folder should be, a name Windows
  // rejects. They work on drives that are not ready too.
  bool addDrive(const std::string& drive, bool ready = true, const std::string& label = {});
  // A share ("\\server\share") the machine can reach; like a drive it has
  // a root, but no letter, no current folder and no place in drives().
  bool addShare(const std::string& share, bool reachable = true);
  // A drive's medium, or whether a share can be reached.
  bool setDriveReady(const std::string& volume, bool ready);
  // A drive unplugged, or a share gone, with all it held.
  bool removeDrive(const std::string& volume);
  // The folder that "D:" stands for; it must exist on that drive.
  bool setCurrentFolder(const std::string& drive, const std::string& path);
  // Creates the folder and any missing parents.
  bool addFolder(const std::string& path);
  // Creates missing parent folders too; an existing file gets the new
  // attributes.
  bool addFile(const std::string& path, bool hidden = false, bool system = false);
  // A file, or a folder with everything in it; never a root.
  bool remove(const std::string& path);
  void setProgramFolder(std::string folder) { programFolder_ = std::move(folder); }
  std::string volumeLabel(const std::string& drive) const;

  std::vector<std::string> drives() const override;
  bool driveReady(const std::string& drive) const override;
  std::string currentFolder(const std::string& drive) const override;
  // The entry's name is as it was created, whatever case the path uses; a
  // root is a folder with an empty name.
  std::optional<FileEntry> stat(const std::string& path) const override;
  std::optional<std::vector<FileEntry>> list(const std::string& folder) const override;
  std::string programFolder() const override { return programFolder_; }

 private:
  struct Node;
  struct Drive;
  struct Location {
    std::u16string volume;  // the key of a drive or share
    std::vector<std::string> parts;
  };

  bool addVolume(const std::string& volume, bool ready, const std::string& label);
  std::optional<Location> locate(const std::string& path) const;
  // A drive ("D:") or a share ("\\server\share"), named exactly so.
  const Drive* findVolume(const std::string& volume) const;
  Drive* findVolume(const std::string& volume);
  // A drive with a letter, for what only drives have.
  const Drive* findDrive(const std::string& drive) const;
  const Drive* volumeAt(const Location& at) const;
  const Node* find(const Location& at) const;
  Node* makeFolders(const Location& at, std::size_t count);

  // Keyed by the upper-cased volume: drives in letter order, shares after.
  std::map<std::u16string, std::unique_ptr<Drive>> volumes_;
  std::string programFolder_;
};

}  // namespace ks
