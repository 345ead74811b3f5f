// An in-memory file sink that can be told to fail: the Nth write, any write
// past a capacity (a full disk, leaving the bytes that fitted), syncs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/file_sink.h"

namespace ks::test {

struct MemoryFile {
  std::vector<std::uint8_t> bytes;
  bool closed = false;
  int writes = 0;  // write calls, failed ones included
  int syncs = 0;
  int truncates = 0;

  // Faults.
  int failWrite = 0;                        // 1-based number of the write that fails; 0 none
  std::uint64_t capacity = UINT64_MAX;      // the file cannot grow past this
  bool failSync = false;
  int throwWrite = 0;  // 1-based number of the write that throws std::bad_alloc; 0 none
  long writeError = 112;  // the Windows error a refused write gives: ERROR_DISK_FULL
};

class MemorySink final : public FileSink {
 public:
  explicit MemorySink(std::shared_ptr<MemoryFile> file) : file_(std::move(file)) {}

  bool write(std::span<const ConstBuffer> parts) override;
  bool seek(std::uint64_t offset) override {
    pos_ = offset;
    return !file_->closed;
  }
  std::uint64_t tell() const override { return pos_; }
  bool truncate(std::uint64_t size) override;
  bool flush() override { return !file_->closed; }
  bool sync() override {
    ++file_->syncs;
    return !file_->closed && !file_->failSync;
  }
  bool close() override {
    file_->closed = true;
    return true;
  }

 private:
  bool refused() { return failed({windowsWriteCause(file_->writeError), file_->writeError}); }
  std::shared_ptr<MemoryFile> file_;
  std::uint64_t pos_ = 0;
};

inline std::unique_ptr<FileSink> memorySink(const std::shared_ptr<MemoryFile>& f) {
  return std::make_unique<MemorySink>(f);
}

}  // namespace ks::test
