// What the file-system contract tests need from a platform: the file system
// under test and a way to build a tree in it behind its back.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace ks {

class FsBackend {
 public:
  virtual ~FsBackend() = default;
  virtual FileSystem& fs() = 0;
  // A full path to an empty folder on a ready drive, owned by one test.
  virtual std::string base() const = 0;
  // The same on a network share ("\\server\share\..."), or "" when the
  // platform offers no share to write to.
  virtual std::string shareBase() const = 0;
  // Both create missing parents, like the tests' "mkdir -p".
  virtual bool makeFolder(const std::string& path) = 0;
  virtual bool makeFile(const std::string& path, bool hidden = false, bool system = false) = 0;
};

// One per platform: the in-memory file system natively, the real one under
// a temporary folder on Windows.
std::unique_ptr<FsBackend> makeFsBackend();

}  // namespace ks
