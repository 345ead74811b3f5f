#include "platform/headless/memory_file_system.h"
#include "platform/store_fs_backend.h"

namespace ks {
namespace {

class MemoryBackend final : public FsBackend {
 public:
  MemoryBackend() {
    fs_.addDrive("C:");
    fs_.addDrive("D:");
    fs_.addFolder("D:\\Movies");
    fs_.addShare("\\\\server\\share");
    fs_.addFolder("\\\\server\\share\\Movies");
  }
  FileSystem& fs() override { return fs_; }
  std::string base() const override { return "D:\\Movies"; }
  std::string shareBase() const override { return "\\\\server\\share\\Movies"; }
  bool makeFolder(const std::string& path) override { return fs_.addFolder(path); }
  bool makeFile(const std::string& path, bool hidden, bool system) override {
    return fs_.addFile(path, hidden, system);
  }

 private:
  MemoryFileSystem fs_;
};

}  // namespace

std::unique_ptr<FsBackend> makeFsBackend() { return std::make_unique<MemoryBackend>(); }

}  // namespace ks
