#include "media/byte_source.h"

#include <cstring>
#include <filesystem>

namespace ks {
namespace {

class FileByteSource final : public ByteSource {
 public:
  FileByteSource(std::ifstream in, std::uint64_t size) : in_(std::move(in)), size_(size) {}
  std::uint64_t size() const override { return size_; }

  bool read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return in_.gcount() == static_cast<std::streamsize>(out.size());
  }

 private:
  std::ifstream in_;
  std::uint64_t size_;
};

}  // namespace

bool MemoryByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

ReadResult<std::unique_ptr<ByteSource>> openByteFile(const std::string& utf8Path) {
  // The path's own UTF-8 bytes: on Windows the stream opens it by its UTF-16 name.
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadFailure{"the file cannot be opened for reading"};
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0) return ReadFailure{"the file cannot be read"};
  return std::unique_ptr<ByteSource>(std::make_unique<FileByteSource>(std::move(in), static_cast<std::uint64_t>(end)));
}

}  // namespace ks
