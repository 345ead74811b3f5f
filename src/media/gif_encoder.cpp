#include "media/gif_encoder.h"

#include <algorithm>
#include <cstring>

namespace ks {
namespace {

constexpr int kMaxCodes = 4096;  // 12-bit LZW codes
constexpr std::size_t kLzwSlots = 8192;
constexpr std::size_t kExactKept = 128;  // of a quantised table: colours kept as they are

std::uint32_t colourAt(const std::uint8_t* p) {
  return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

std::uint32_t hashColour(std::uint32_t c) { return (c * 2654435761u) >> 8; }

int distance(std::uint32_t a, std::uint32_t b) {
  const int dr = int(a >> 16) - int(b >> 16), dg = int((a >> 8) & 255) - int((b >> 8) & 255),
            db = int(a & 255) - int(b & 255);
  return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// LSB-first bit packer writing 255-byte data sub-blocks.
class BitOut {
 public:
  explicit BitOut(std::vector<std::uint8_t>& out) : out_(out) {}
  void put(std::uint32_t code, int width) {
    acc_ |= std::uint64_t{code} << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      byte(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
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

}  // namespace

GifEncoder::GifEncoder(std::int32_t width, std::int32_t height)
    : width_(width), height_(height), stride_(dibStride(width)) {
  prev_.resize(std::size_t{stride_} * height_);
}

bool GifEncoder::changedRect(Rect& r) {
  const std::size_t rowBytes = 3 * std::size_t(width_);
  std::int32_t top = -1, bottom = -1, left = width_, right = -1;
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* c = curRow(y);
    const std::uint8_t* p = prevRow(y);
    if (std::memcmp(c, p, rowBytes) == 0) continue;
    if (top < 0) top = y;
    bottom = y;
    std::int32_t x = 0;
    while (x < left && std::memcmp(c + 3 * x, p + 3 * x, 3) == 0) ++x;
    left = std::min(left, x);
    x = width_ - 1;
    while (x > right && std::memcmp(c + 3 * x, p + 3 * x, 3) == 0) --x;
    right = std::max(right, x);
  }
  if (top < 0) return false;
  r = {left, top, right - left + 1, bottom - top + 1};
  return true;
}

GifFrame GifEncoder::encode(const std::uint8_t* bits) {
  cur_ = bits;
  Rect r{0, 0, width_, height_};
  bool transparent = false;
  if (havePrevious_) {
    if (!changedRect(r)) {
      lastRect_ = {};
      return {};
    }
    std::size_t changed = 0;
    for (std::int32_t y = r.y; y < r.y + r.h; ++y) {
      const std::uint8_t* c = curRow(y) + 3 * r.x;
      const std::uint8_t* p = prevRow(y) + 3 * r.x;
      for (std::int32_t x = 0; x < r.w; ++x) changed += std::memcmp(c + 3 * x, p + 3 * x, 3) != 0;
    }
    // Unchanged pixels as one transparent index make long runs for LZW
    // where they are the majority; where most pixels changed, they would
    // only break the runs of the picture's own colours.
    transparent = 2 * changed < std::size_t(r.w) * r.h;
  }
  lastRect_ = r;
  int transparentIndex = 0;
  const bool exact = mapColours(r, transparent, transparentIndex);

  std::size_t tableBits = 1;
  while ((std::size_t{1} << tableBits) < palette_.size()) ++tableBits;
  palette_.resize(std::size_t{1} << tableBits, 0);

  out_.clear();
  // Graphic control: leave in place, the transparent index, the delay at 4.
  for (const std::uint8_t b : {0x21, 0xF9, 0x04, 1 << 2 | (transparent ? 1 : 0), 0, 0, transparentIndex, 0})
    out_.push_back(b);
  out_.push_back(0x2C);
  put16(out_, r.x);
  put16(out_, r.y);
  put16(out_, r.w);
  put16(out_, r.h);
  out_.push_back(static_cast<std::uint8_t>(0x80 | (tableBits - 1)));
  for (std::uint32_t c : palette_) {
    out_.push_back(static_cast<std::uint8_t>(c >> 16));
    out_.push_back(static_cast<std::uint8_t>(c >> 8));
    out_.push_back(static_cast<std::uint8_t>(c));
  }
  compress(std::max<int>(2, static_cast<int>(tableBits)));
  return {out_, 4, exact};
}

void GifEncoder::accept() {
  if (!cur_) return;
  if (!havePrevious_) {
    std::memcpy(prev_.data(), cur_, prev_.size());
    havePrevious_ = true;
    return;
  }
  for (std::int32_t y = lastRect_.y; y < lastRect_.y + lastRect_.h; ++y)
    std::memcpy(prevRow(y) + 3 * lastRect_.x, curRow(y) + 3 * lastRect_.x, 3 * std::size_t(lastRect_.w));
}

bool GifEncoder::mapColours(const Rect& r, bool transparent, int& transparentIndex) {
  // Counts the colours of the pixels to be coded in an open-addressed table
  // (colour + 1 as the key, 0 free), kept at most half full.
  const std::size_t pixels = std::size_t(r.w) * r.h;
  std::size_t slots = 1024;
  keys_.assign(slots, 0);
  values_.assign(slots, 0);
  std::size_t distinct = 0;
  auto insert = [&](std::uint32_t key, std::uint32_t count) {
    std::size_t i = hashColour(key) & (slots - 1);
    while (keys_[i] != 0 && keys_[i] != key) i = (i + 1) & (slots - 1);
    if (keys_[i] == 0) {
      keys_[i] = key;
      ++distinct;
    }
    values_[i] += count;
  };
  auto find = [&](std::uint32_t key) {
    std::size_t i = hashColour(key) & (slots - 1);
    while (keys_[i] != key) i = (i + 1) & (slots - 1);
    return i;
  };
  indices_.resize(pixels);
  auto unchanged = [&](std::int32_t y, std::int32_t x) {
    return transparent && std::memcmp(curRow(y) + 3 * x, prevRow(y) + 3 * x, 3) == 0;
  };
  for (std::int32_t y = r.y; y < r.y + r.h; ++y)
    for (std::int32_t x = r.x; x < r.x + r.w; ++x) {
      if (unchanged(y, x)) continue;
      insert(colourAt(curRow(y) + 3 * x) + 1, 1);
      if (2 * distinct > slots) {
        std::vector<std::uint32_t> k(std::move(keys_)), v(std::move(values_));
        slots *= 2;
        keys_.assign(slots, 0);
        values_.assign(slots, 0);
        distinct = 0;
        for (std::size_t i = 0; i < k.size(); ++i)
          if (k[i] != 0) insert(k[i], v[i]);
      }
    }

  const std::size_t room = transparent ? 255 : 256;
  palette_.clear();
  const bool exact = distinct <= room;
  if (exact) {
    for (std::size_t i = 0; i < slots; ++i)
      if (keys_[i] != 0) {
        values_[i] = static_cast<std::uint32_t>(palette_.size());
        palette_.push_back(keys_[i] - 1);
      }
  } else {
    // The most frequent colours as they are, then the mean colours of the
    // fullest 4-4-4 bit cells of the others.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byCount;  // count, slot
    byCount.reserve(distinct);
    for (std::size_t i = 0; i < slots; ++i)
      if (keys_[i] != 0) byCount.emplace_back(values_[i], static_cast<std::uint32_t>(i));
    const std::size_t kept = std::min(kExactKept, byCount.size());
    std::partial_sort(byCount.begin(), byCount.begin() + kept, byCount.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t j = 0; j < kept; ++j) palette_.push_back(keys_[byCount[j].second] - 1);
    std::vector<std::uint64_t> cellSum(4096 * 4, 0);
    for (std::size_t j = kept; j < byCount.size(); ++j) {
      const std::uint32_t c = keys_[byCount[j].second] - 1, n = byCount[j].first;
      const std::size_t cell = (c >> 12 & 0xF00) | (c >> 8 & 0xF0) | (c >> 4 & 0xF);
      cellSum[4 * cell] += std::uint64_t{n} * (c >> 16);
      cellSum[4 * cell + 1] += std::uint64_t{n} * (c >> 8 & 255);
      cellSum[4 * cell + 2] += std::uint64_t{n} * (c & 255);
      cellSum[4 * cell + 3] += n;
    }
    std::vector<std::uint32_t> cells;
    for (std::uint32_t cell = 0; cell < 4096; ++cell)
      if (cellSum[4 * cell + 3] != 0) cells.push_back(cell);
    const std::size_t fill = std::min(room - kept, cells.size());
    std::partial_sort(cells.begin(), cells.begin() + fill, cells.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return cellSum[4 * a + 3] > cellSum[4 * b + 3]; });
    for (std::size_t j = 0; j < fill; ++j) {
      const std::uint64_t* s = &cellSum[4 * cells[j]];
      palette_.push_back(static_cast<std::uint32_t>((s[0] / s[3]) << 16 | (s[1] / s[3]) << 8 | (s[2] / s[3])));
    }
    // Every colour to its nearest entry; colours of one 5-5-5 cell share
    // the answer found for the first of them.
    nearestCache_.assign(32768, 0xFFFF);
    for (std::size_t j = 0; j < byCount.size(); ++j) {
      const std::uint32_t slot = byCount[j].second, c = keys_[slot] - 1;
      if (j < kept) {
        values_[slot] = static_cast<std::uint32_t>(j);
        continue;
      }
      const std::size_t cell = (c >> 9 & 0x7C00) | (c >> 6 & 0x3E0) | (c >> 3 & 0x1F);
      if (nearestCache_[cell] == 0xFFFF) {
        int best = 0, bestDistance = distance(c, palette_[0]);
        for (std::size_t p = 1; p < palette_.size(); ++p) {
          const int d = distance(c, palette_[p]);
          if (d < bestDistance) best = static_cast<int>(p), bestDistance = d;
        }
        nearestCache_[cell] = static_cast<std::uint16_t>(best);
      }
      values_[slot] = nearestCache_[cell];
    }
  }
  transparentIndex = static_cast<int>(palette_.size());
  if (transparent) palette_.push_back(0);
  if (palette_.empty()) palette_.push_back(0);

  std::uint8_t* out = indices_.data();
  for (std::int32_t y = r.y; y < r.y + r.h; ++y)
    for (std::int32_t x = r.x; x < r.x + r.w; ++x)
      *out++ = unchanged(y, x) ? static_cast<std::uint8_t>(transparentIndex)
                               : static_cast<std::uint8_t>(values_[find(colourAt(curRow(y) + 3 * x) + 1)]);
  return exact;
}

void GifEncoder::compress(int minCodeSize) {
  // Codes as the decoder will read them: it adds each entry one code late,
  // so the width grows once the entry just made needs the wider code, and
  // a clear code follows the 4096th entry.
  out_.push_back(static_cast<std::uint8_t>(minCodeSize));
  const int clear = 1 << minCodeSize, end = clear + 1;
  lzwKeys_.assign(kLzwSlots, -1);
  lzwCodes_.resize(kLzwSlots);
  BitOut bits(out_);
  int width = minCodeSize + 1, next = end + 1;
  bits.put(clear, width);
  auto slotOf = [&](std::int32_t key) {
    std::size_t i = (std::uint32_t(key) * 2654435761u >> 19) & (kLzwSlots - 1);
    while (lzwKeys_[i] != -1 && lzwKeys_[i] != key) i = (i + 1) & (kLzwSlots - 1);
    return i;
  };
  auto grow = [&]() {
    if (next >= (1 << width) && width < 12) ++width;
    ++next;
  };
  int code = indices_[0];
  for (std::size_t i = 1; i < indices_.size(); ++i) {
    const std::uint8_t k = indices_[i];
    const std::int32_t key = code << 8 | k;
    const std::size_t s = slotOf(key);
    if (lzwKeys_[s] == key) {
      code = lzwCodes_[s];
      continue;
    }
    bits.put(code, width);
    lzwKeys_[s] = key;
    lzwCodes_[s] = static_cast<std::uint16_t>(next);
    grow();
    if (next == kMaxCodes) {
      bits.put(clear, width);
      lzwKeys_.assign(kLzwSlots, -1);
      width = minCodeSize + 1;
      next = end + 1;
    }
    code = k;
  }
  bits.put(code, width);
  // The decoder makes an entry on reading that last code, which may widen
  // the end code.
  if (next < kMaxCodes) grow();
  bits.put(end, width);
  bits.finish();
}

}  // namespace ks
