#include "memory_sink.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ks::test {

bool MemorySink::write(std::span<const ConstBuffer> parts) {
  MemoryFile& f = *file_;
  const int number = ++f.writes;
  if (f.closed) return false;
  if (number == f.throwWrite) throw std::bad_alloc();
  if (number == f.failWrite) {
    // A failing write may still have put part of its bytes down.
    if (!parts.empty() && parts[0].size > 1) {
      const std::size_t n = parts[0].size / 2;
      if (f.bytes.size() < pos_ + n) f.bytes.resize(pos_ + n);
      std::memcpy(f.bytes.data() + pos_, parts[0].data, n);
    }
    return refused();
  }
  for (const ConstBuffer& p : parts) {
    const auto* src = static_cast<const std::uint8_t*>(p.data);
    std::size_t n = p.size;
    bool full = false;
    if (pos_ + n > f.capacity) {
      n = pos_ < f.capacity ? static_cast<std::size_t>(f.capacity - pos_) : 0;
      full = true;
    }
    if (n > 0) {
      if (f.bytes.size() < pos_ + n) f.bytes.resize(pos_ + n);
      std::memcpy(f.bytes.data() + pos_, src, n);
      pos_ += n;
    }
    if (full) return refused();
  }
  return true;
}

bool MemorySink::truncate(std::uint64_t size) {
  ++file_->truncates;
  if (file_->closed) return false;
  if (size < file_->bytes.size()) file_->bytes.resize(size);
  return true;
}

}  // namespace ks::test
