// The file system through the Win32 wide calls. Paths are UTF-8 and may be
// longer than MAX_PATH: such paths take the "\\?\" form on the way in and
// lose it on the way out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ks {

class Win32FileSystem final : public FileSystem {
 public:
  std::vector<std::string> drives() const override;
  // Asks the volume, with the system's "insert a disk" box turned off for
  // the calling thread.
  bool driveReady(const std::string& drive) const override;
  // GetFullPathNameW("D:"): the drive's remembered folder, else its root.
  std::string currentFolder(const std::string& drive) const override;
  // The entry's name is as stored on disk; a root is a folder with an empty
  // name and the attributes the volume reports for it.
  std::optional<FileEntry> stat(const std::string& path) const override;
  // Sorted in NTFS order (see compareIgnoreCase) whatever the volume's own
  // order, so FAT and network folders list as NTFS ones do.
  std::optional<std::vector<FileEntry>> list(const std::string& folder) const override;
  std::string programFolder() const override;

  // The volume label; empty when there is none or the drive is not ready.
  std::string volumeLabel(const std::string& drive) const;
};

}  // namespace ks
