// Where a movie reader takes its bytes from: a file on disk (64-bit offsets,
// past 4 GiB) or bytes in memory.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/read_result.h"

namespace ks {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Fills `out` from `offset`; false when the read fails or would pass the end.
  [[nodiscard]] virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::vector<std::uint8_t> bytes_;
};

// Opens the file at a UTF-8 path for reading.
ReadResult<std::unique_ptr<ByteSource>> openByteFile(const std::string& utf8Path);

}  // namespace ks
