#include "media/gif_lzw.h"

#include <algorithm>

namespace ks {
namespace {

constexpr int kMaxCodes = 4096;  // 12-bit codes
constexpr std::size_t kSlots = 8192;
// A key is a code (below 4096) << 8 | an index: 20 bits; the generation
// takes the 12 above them.
constexpr int kKeyBits = 20;
constexpr std::uint32_t kGenerations = 1u << (32 - kKeyBits);

// LSB-first codes into 255-byte data sub-blocks, each after its size byte.
class SubBlockBits {
 public:
  explicit SubBlockBits(std::vector<std::uint8_t>& out) : out_(out) {}
  void put(std::uint32_t code, int width) {
    acc_ |= std::uint64_t{code} << bits_;
    for (bits_ += width; bits_ >= 8; bits_ -= 8, acc_ >>= 8) byte(static_cast<std::uint8_t>(acc_));
  }
  void finish() {
    if (bits_ > 0) byte(static_cast<std::uint8_t>(acc_));
    if (blockAt_ != kNone) out_[blockAt_] = static_cast<std::uint8_t>(out_.size() - blockAt_ - 1);
    out_.push_back(0);  // block terminator
  }

 private:
  static constexpr std::size_t kNone = ~std::size_t{0};
  void byte(std::uint8_t b) {
    if (blockAt_ == kNone || out_.size() - blockAt_ - 1 == 255) {
      if (blockAt_ != kNone) out_[blockAt_] = 255;
      blockAt_ = out_.size();
      out_.push_back(0);
    }
    out_.push_back(b);
  }
  std::vector<std::uint8_t>& out_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
  std::size_t blockAt_ = kNone;
};

// Counts the bits instead.
class CountedBits {
 public:
  void put(std::uint32_t, int width) { written_ += static_cast<std::size_t>(width); }
  void finish() {}
  std::size_t written() const { return written_; }

 private:
  std::size_t written_ = 0;
};

}  // namespace

GifLzwCoder::GifLzwCoder() : keys_(kSlots, 0), codes_(kSlots, 0) {}

void GifLzwCoder::clearTable() {
  if (++generation_ == kGenerations) {
    std::fill(keys_.begin(), keys_.end(), 0);
    generation_ = 1;
  }
}

template <class Bits>
void GifLzwCoder::code(std::span<const std::uint8_t> indices, int minCodeSize, Bits& bits) {
  const std::uint32_t clear = 1u << minCodeSize, end = clear + 1;
  clearTable();
  int width = minCodeSize + 1;
  std::uint32_t next = end + 1;
  bits.put(clear, width);
  if (indices.empty()) {
    bits.put(end, width);
    bits.finish();
    return;
  }
  auto slotOf = [&](std::uint32_t key) {
    const std::uint32_t tagged = generation_ << kKeyBits | key;
    std::size_t i = (key * 2654435761u >> 19) & (kSlots - 1);
    while (keys_[i] >> kKeyBits == generation_ && keys_[i] != tagged) i = (i + 1) & (kSlots - 1);
    return i;
  };
  auto grow = [&] {
    if (next >= (1u << width) && width < 12) ++width;
    ++next;
  };
  std::uint32_t prefix = indices[0];
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const std::uint8_t k = indices[i];
    const std::uint32_t key = prefix << 8 | k;
    const std::size_t s = slotOf(key);
    if (keys_[s] >> kKeyBits == generation_) {
      prefix = codes_[s];
      continue;
    }
    bits.put(prefix, width);
    keys_[s] = generation_ << kKeyBits | key;
    codes_[s] = static_cast<std::uint16_t>(next);
    grow();
    if (next == kMaxCodes) {
      bits.put(clear, width);
      clearTable();
      width = minCodeSize + 1;
      next = end + 1;
    }
    prefix = k;
  }
  bits.put(prefix, width);
  // The decoder makes an entry on reading that last code, which may widen
  // the end code.
  if (next < kMaxCodes) grow();
  bits.put(end, width);
  bits.finish();
}

void GifLzwCoder::append(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(minCodeSize));
  SubBlockBits bits(out);
  code(indices, minCodeSize, bits);
}

std::size_t GifLzwCoder::countBits(std::span<const std::uint8_t> indices, int minCodeSize) {
  CountedBits bits;
  code(indices, minCodeSize, bits);
  return bits.written();
}

void appendGifImageData(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out) {
  GifLzwCoder().append(indices, minCodeSize, out);
}

}  // namespace ks
