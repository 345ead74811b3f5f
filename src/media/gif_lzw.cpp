#include "media/gif_lzw.h"

#include <algorithm>

namespace ks {
namespace {

constexpr int kMaxCodes = 4096;

// LSB-first codes into 255-byte sub-blocks.
class SubBlockBits {
 public:
  explicit SubBlockBits(std::vector<std::uint8_t>& out) : out_(out) {}
  void put(int code, int width) {
    acc_ |= std::uint32_t(code) << bits_;
    for (bits_ += width; bits_ >= 8; bits_ -= 8, acc_ >>= 8) byte(static_cast<std::uint8_t>(acc_));
  }
  void finish() {
    if (bits_ > 0) byte(static_cast<std::uint8_t>(acc_));
    if (block_.size() > 0) flushBlock();
    out_.push_back(0);
  }

 private:
  void byte(std::uint8_t b) {
    block_.push_back(b);
    if (block_.size() == 255) flushBlock();
  }
  void flushBlock() {
    out_.push_back(static_cast<std::uint8_t>(block_.size()));
    out_.insert(out_.end(), block_.begin(), block_.end());
    block_.clear();
  }
  std::vector<std::uint8_t>& out_;
  std::vector<std::uint8_t> block_;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

void appendGifImageData(std::span<const std::uint8_t> indices, int minCodeSize, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(minCodeSize));
  const int clear = 1 << minCodeSize, end = clear + 1;
  // child[code * 256 + index]: the code of that string and index; 0 none.
  std::vector<std::uint16_t> child(std::size_t{kMaxCodes} * 256, 0);
  SubBlockBits bits(out);
  int width = minCodeSize + 1, next = end + 1;
  bits.put(clear, width);
  if (indices.empty()) {
    bits.put(end, width);
    bits.finish();
    return;
  }
  // The decoder makes each entry one code later than we do, so the width
  // grows once the entry before the newest one needs the wider code.
  auto added = [&] {
    if (++next > (1 << width) && width < 12) ++width;
  };
  int prefix = indices[0];
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const std::size_t slot = std::size_t(prefix) * 256 + indices[i];
    if (child[slot] != 0) {
      prefix = child[slot];
      continue;
    }
    bits.put(prefix, width);
    child[slot] = static_cast<std::uint16_t>(next);
    added();
    if (next == kMaxCodes) {
      bits.put(clear, width);
      std::fill(child.begin(), child.end(), 0);
      width = minCodeSize + 1, next = end + 1;
    }
    prefix = indices[i];
  }
  bits.put(prefix, width);
  if (next < kMaxCodes) added();  // the decoder's entry for that last code
  bits.put(end, width);
  bits.finish();
}

}  // namespace ks
