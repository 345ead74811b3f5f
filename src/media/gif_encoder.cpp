#include "media/gif_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ks {
namespace {

// Marks pixels_ for pixels equal to the previous picture's.
constexpr std::uint32_t kUnchanged = 1u << 24;
// No pixel has it: the mark of none.
constexpr std::uint32_t kNoPixel = 1u << 25;
// The bands of rows on which both ways of coding unchanged pixels are tried.
constexpr std::int32_t kSampleBands = 4;

std::uint32_t colourAt(const std::uint8_t* p) {
  return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

int codeSize(std::size_t colours) {
  int bits = 2;
  while ((std::size_t{1} << bits) < colours) ++bits;
  return bits;
}

}  // namespace

GifEncoder::GifEncoder(std::int32_t width, std::int32_t height, GifOptions options)
    : width_(width),
      height_(height),
      options_(options),
      stride_(dibStride(width)),
      quantiser_(options.quantiser, options.refinePasses, options.fineMapping) {
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
  }
  const std::size_t changed = readRect(r);
  lastRect_ = r;
  // The control block's transparent index: the entry after the colours
  // (when not transparent too).
  std::size_t transparentIndex = 0;
  bool exact = false, mapped = false;
  if (havePrevious_ && changed < pixels_.size()) {
    switch (options_.transparency) {
      case GifTransparency::Shorter:
        // Where all the rectangle's colours fit the table with room for the
        // transparent index, both ways are tried. Else the majority
        // decides: unchanged pixels as one index make long runs where they
        // are most of the rectangle, and only break the picture's own runs
        // where they are few.
        counter_.count(pixels_, kNoPixel, 255);
        if (counter_.fits(255)) {
          transparentIndex = makeTable(kNoPixel, 255);
          exact = mapped = true;
          transparent = transparencyShortens(r);
          if (transparent) transparentIndex = palette_.size() - 1;
        } else {
          transparent = 2 * changed < pixels_.size();
        }
        break;
      case GifTransparency::Majority: transparent = 2 * changed < pixels_.size(); break;
      case GifTransparency::Always: transparent = true; break;
      case GifTransparency::Never: break;
    }
  }
  if (!mapped) {
    const std::uint32_t skip = transparent ? kUnchanged : kNoPixel;
    const std::size_t room = transparent ? 255 : 256;
    counter_.count(pixels_, skip);
    exact = counter_.fits(room);
    transparentIndex = makeTable(skip, room);
  }

  std::size_t tableBits = 1;
  while ((std::size_t{1} << tableBits) < palette_.size()) ++tableBits;
  palette_.resize(std::size_t{1} << tableBits, 0);

  out_.clear();
  // Graphic control: leave in place, the transparent index, the delay at 4.
  for (const std::uint8_t b : {0x21, 0xF9, 0x04, 1 << 2 | (transparent ? 1 : 0), 0, 0,
                               static_cast<int>(transparentIndex & 255), 0})
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
  lzw_.append(indices_, std::max<int>(2, static_cast<int>(tableBits)), out_);
  return {out_, exact};
}

bool GifEncoder::transparencyShortens(const Rect& r) {
  // The transparent way needs only the changed pixels' colours: their
  // entries renumbered in order of use, the transparent index after them.
  std::array<int, 256> renumbered;
  renumbered.fill(-1);
  int used = 0;
  for (std::size_t i = 0; i < pixels_.size(); ++i)
    if (!(pixels_[i] & kUnchanged) && renumbered[indices_[i]] < 0) renumbered[indices_[i]] = used++;
  auto transparentWay = [&](std::size_t i) {
    return static_cast<std::uint8_t>(pixels_[i] & kUnchanged ? used : renumbered[indices_[i]]);
  };
  // Both ways coded (counted, not written) on bands of rows, a quarter of
  // the rectangle in all (all of it when it is short); the colour tables'
  // sizes count too.
  const std::size_t n = palette_.size(), t = std::size_t(used) + 1;
  const std::int32_t bands = r.h < kSampleBands * 8 ? 1 : kSampleBands,
                     bandRows = bands == 1 ? r.h : r.h / (4 * kSampleBands);
  std::size_t opaque = 0, transparent = 0;
  for (std::int32_t b = 0; b < bands; ++b) {
    const std::size_t at = std::size_t(b) * std::size_t(r.h / bands) * r.w, count = std::size_t(bandRows) * r.w;
    opaque += lzw_.countBits({indices_.data() + at, count}, codeSize(n));
    bandIndices_.resize(count);
    for (std::size_t i = 0; i < count; ++i) bandIndices_[i] = transparentWay(at + i);
    transparent += lzw_.countBits(bandIndices_, codeSize(t));
  }
  const double scale = double(r.h) / (double(bands) * bandRows);
  if (transparent * scale + 24.0 * (std::size_t{1} << codeSize(t)) >=
      opaque * scale + 24.0 * (std::size_t{1} << codeSize(n)))
    return false;
  for (std::size_t i = 0; i < indices_.size(); ++i) indices_[i] = transparentWay(i);
  std::array<std::uint32_t, 256> table{};
  for (std::size_t e = 0; e < n; ++e)
    if (renumbered[e] >= 0) table[static_cast<std::size_t>(renumbered[e])] = palette_[e];
  palette_.assign(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(t));
  return true;
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

std::size_t GifEncoder::readRect(const Rect& r) {
  pixels_.resize(std::size_t(r.w) * r.h);
  std::uint32_t* out = pixels_.data();
  std::size_t changed = 0;
  for (std::int32_t y = r.y; y < r.y + r.h; ++y) {
    const std::uint8_t* c = curRow(y) + 3 * r.x;
    const std::uint8_t* p = prevRow(y) + 3 * r.x;
    if (!havePrevious_) {
      for (std::int32_t x = 0; x < r.w; ++x, c += 3) *out++ = colourAt(c);
      continue;
    }
    for (std::int32_t x = 0; x < r.w; ++x, c += 3, p += 3) {
      const std::uint32_t colour = colourAt(c);
      const bool same = colour == colourAt(p);
      changed += !same;
      *out++ = colour | (same ? kUnchanged : 0);
    }
  }
  return havePrevious_ ? changed : pixels_.size();
}

std::size_t GifEncoder::makeTable(std::uint32_t skip, std::size_t room) {
  palette_.clear();
  std::size_t colours = 0;
  if (counter_.fits(room)) {
    // The counted colours, in the counter's order.
    const std::span<const GifColourCounter::Slot> slots = counter_.slots();
    slotEntry_.resize(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i)
      if (slots[i].key != 0) {
        slotEntry_[i] = static_cast<std::uint32_t>(palette_.size());
        palette_.push_back(slots[i].key - 1);
      }
    colours = palette_.size();
    mapPixels(skip, static_cast<std::uint8_t>(colours),
              [&](std::uint32_t c) { return static_cast<std::uint8_t>(slotEntry_[counter_.slotOf(c)]); });
  } else {
    const std::span<const std::uint32_t> table = quantiser_.makeTable(pixels_, skip, counter_, room);
    palette_.assign(table.begin(), table.end());
    colours = palette_.size();
    mapPixels(skip, static_cast<std::uint8_t>(colours), [&](std::uint32_t c) { return quantiser_.entryOf(c); });
  }
  if (skip != kNoPixel) palette_.push_back(0);
  if (palette_.empty()) palette_.push_back(0);
  return colours;
}

template <class EntryOf>
void GifEncoder::mapPixels(std::uint32_t skip, std::uint8_t marked, EntryOf entryOf) {
  indices_.resize(pixels_.size());
  std::uint8_t* out = indices_.data();
  std::uint32_t last = kNoPixel;
  std::uint8_t lastIndex = 0;
  for (const std::uint32_t pixel : pixels_) {
    if (pixel & skip) {
      *out++ = marked;
      continue;
    }
    if (pixel != last) {
      lastIndex = entryOf(pixel & kGifColourMask);
      last = pixel;
    }
    *out++ = lastIndex;
  }
}

}  // namespace ks
