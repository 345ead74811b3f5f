#include "media/gif_colours.h"

#include <algorithm>

namespace ks {
namespace {

constexpr std::size_t kFirstSize = 1024;
constexpr std::uint32_t kNone = ~0u;  // no pixel yet: no colour has all bits

std::uint32_t hashColour(std::uint32_t key) { return (key * 2654435761u) >> 8; }

}  // namespace

std::size_t GifColourCounter::slotOf(std::uint32_t colour) const {
  const std::uint32_t key = colour + 1;
  std::size_t i = hashColour(key) & (size_ - 1);
  while (slots_[i].key != 0 && slots_[i].key != key) i = (i + 1) & (size_ - 1);
  return i;
}

void GifColourCounter::reset(std::size_t size) {
  if (slots_.size() < size) slots_.resize(size);
  std::fill_n(slots_.begin(), size, Slot{});
  size_ = size;
  distinct_ = 0;
}

void GifColourCounter::grow() {
  before_.assign(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(size_));
  reset(2 * size_);
  for (const Slot& s : before_)
    if (s.key != 0) {
      Slot& to = slots_[slotOf(s.key - 1)];
      to = s;
      ++distinct_;
    }
}

void GifColourCounter::count(std::span<const std::uint32_t> pixels, std::uint32_t skip, std::size_t stopAbove) {
  reset(kFirstSize);
  partial_ = false;
  // Runs of one colour are common: the last pixel's slot is kept.
  std::uint32_t last = kNone;
  std::size_t lastSlot = 0;
  for (const std::uint32_t pixel : pixels) {
    if (pixel & skip) continue;
    const std::uint32_t c = pixel & kGifColourMask;
    if (c == last) {
      ++slots_[lastSlot].count;
      continue;
    }
    std::size_t i = slotOf(c);
    if (slots_[i].key == 0) {
      if (partial_) {
        last = kNone;
        continue;
      }
      slots_[i].key = c + 1, ++distinct_;
      if (distinct_ > stopAbove) {
        partial_ = true;
        return;
      }
      if (2 * distinct_ > size_) {
        if (distinct_ > kMaxColours) {
          // The new colour keeps its slot, uncounted; no more are taken.
          partial_ = true;
          last = kNone;
          continue;
        }
        grow();
        i = slotOf(c);
      }
    }
    ++slots_[i].count;
    last = c, lastSlot = i;
  }
}

}  // namespace ks
