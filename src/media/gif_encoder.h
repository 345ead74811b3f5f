// Animated-GIF frames of screen pictures.
//
// Each picture is told from the one before: an identical picture makes no
// frame; otherwise the frame covers the rectangle around the changed pixels,
// left in place over the previous ones. Each frame has its own colour table:
// exact when the colours it needs fit in 256. Unchanged pixels of the
// rectangle become one transparent index when LZW codes four bands of its
// rows (a quarter of it) shorter so, tables counted; frames over 255 colours
// take it when unchanged pixels are the majority.
//
// Frames over 256 colours are quantised (GifColourQuantiser). Choosing
// transparency by trial rather than by majority makes the Scroll clip 27%
// smaller, Editor and Interface about 0.5%, Video the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/pixels.h"  // dibStride
#include "media/gif_colours.h"
#include "media/gif_lzw.h"
#include "media/gif_quantiser.h"

namespace ks {

// When unchanged pixels of the rectangle become one transparent index.
enum class GifTransparency {
  Majority,  // when they are at least half of it
  Always,
  Never,
  // When LZW codes the frame shorter so (frames of at most 255 colours;
  // others by the majority)
  Shorter,
};
// How a frame with more than 256 colours gets its table, and when it has
// transparency; the defaults are the encoder's choice, the others are there
// to be measured against it.
struct GifOptions {
  GifQuantiser quantiser = GifQuantiser::VarianceSplit;
  int refinePasses = 1;  // k-means passes over the table's colours
  // Each colour to the entry nearest the middle of its 6-6-6 cell, rather
  // than to the one nearest the mean of its 5-5-5 cell.
  bool fineMapping = false;
  GifTransparency transparency = GifTransparency::Shorter;
};

struct GifFrame {
  // The graphic control extension, image descriptor, local colour table and
  // image data of one frame; empty when the picture equals the previous one.
  std::span<const std::uint8_t> bytes;
  bool exactColours = true;  // false: the colours were quantised
};

class GifEncoder {
 public:
  // Pictures are w x h; width and height 1 to 32767.
  GifEncoder(std::int32_t width, std::int32_t height, GifOptions options = {});
  GifEncoder(const GifEncoder&) = delete;
  GifEncoder& operator=(const GifEncoder&) = delete;

  // Encodes a picture: rows of dibStride(width) bytes, blue, green, red per
  // pixel, the bottom row first. The frame is told from the last accepted
  // picture (the first frame, and the first after restart(), cover the whole
  // picture without transparency). The bytes stay valid until the next call.
  // May throw std::bad_alloc.
  GifFrame encode(const std::uint8_t* bits);
  // The picture last given to encode() becomes the one the next frame is
  // told from: for a caller whose frame reached the file. `bits` must still
  // be what was encoded.
  void accept();
  // Makes the next frame cover the whole picture.
  void restart() { havePrevious_ = false; }

 private:
  struct Rect {
    std::int32_t x = 0, y = 0, w = 0, h = 0;  // y counts rows from the top
  };
  const std::uint8_t* curRow(std::int32_t y) const { return cur_ + std::size_t{stride_} * (height_ - 1 - y); }
  std::uint8_t* prevRow(std::int32_t y) { return prev_.data() + std::size_t{stride_} * (height_ - 1 - y); }
  bool changedRect(Rect& r);
  // Reads the rectangle into pixels_; how many changed.
  std::size_t readRect(const Rect& r);
  // Fills palette_ and indices_ for the pixels without the `skip` marks,
  // from counter_'s count of just those: exact when they fit `room`
  // colours. Pixels with the marks take the entry after the colours, which
  // is returned (and with marks, added to palette_).
  std::size_t makeTable(std::uint32_t skip, std::size_t room);
  // Each pixel's index: entryOf(colour), or `marked` for pixels with the
  // `skip` marks.
  template <class EntryOf>
  void mapPixels(std::uint32_t skip, std::uint8_t marked, EntryOf entryOf);
  // Whether the unchanged pixels as a transparent index code shorter than
  // as their colours in indices_ (an exact table); if so, makes indices_
  // and palette_ so (the transparent index last).
  bool transparencyShortens(const Rect& r);

  std::int32_t width_, height_;
  GifOptions options_;
  std::uint32_t stride_;
  bool havePrevious_ = false;
  const std::uint8_t* cur_ = nullptr;
  Rect lastRect_;
  std::vector<std::uint8_t> prev_;
  std::vector<std::uint32_t> pixels_;       // of the rectangle, top row first: 0xRRGGBB | kUnchanged
  GifColourCounter counter_;
  GifColourQuantiser quantiser_;
  std::vector<std::uint32_t> slotEntry_;    // exact tables: the entry of the colour in each counter slot
  std::vector<std::uint32_t> palette_;      // 0xRRGGBB
  std::vector<std::uint8_t> indices_;       // pixels_' entries in palette_
  std::vector<std::uint8_t> bandIndices_;   // transparency trial: a band's indices the transparent way
  GifLzwCoder lzw_;
  std::vector<std::uint8_t> out_;
};

}  // namespace ks
