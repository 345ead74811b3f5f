// The distinct colours of a GIF frame's pixels and how many pixels have each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace ks {

// Pixels are 0xRRGGBB in the low 24 bits; bits above are the caller's marks.
inline constexpr std::uint32_t kGifColourMask = 0xFFFFFF;

class GifColourCounter {
 public:
  // Counted colours; past it the counter takes no new colours (it goes on
  // counting those it has) and fits() is false.
  static constexpr std::size_t kMaxColours = 4096;
  struct Slot {
    std::uint32_t key = 0;  // colour + 1; 0: free
    std::uint32_t count = 0;
  };

  // Counts the colours of the pixels that have none of the `skip` bits,
  // forgetting those counted before. Stops as soon as more than
  // `stopAbove` colours are seen (the counts then partial, fits() false).
  void count(std::span<const std::uint32_t> pixels, std::uint32_t skip,
             std::size_t stopAbove = std::numeric_limits<std::size_t>::max());
  // Whether every colour was counted and there are at most `n` of them.
  bool fits(std::size_t n) const { return !partial_ && distinct_ <= n; }
  // The open-addressed table (at most half full): its order is the order
  // the colours are numbered in.
  std::span<const Slot> slots() const { return {slots_.data(), size_}; }
  // The slot of a counted colour (of an other one, a free slot).
  std::size_t slotOf(std::uint32_t colour) const;

 private:
  // Makes the table `size` slots, free.
  void reset(std::size_t size);
  void grow();

  std::vector<Slot> slots_;   // the first size_ are the table
  std::vector<Slot> before_;  // while growing: the table as it was
  std::size_t size_ = 0, distinct_ = 0;
  bool partial_ = false;  // some colours not counted
};

}  // namespace ks
