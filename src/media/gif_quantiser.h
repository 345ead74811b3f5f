// Colour tables of at most 256 entries for GIF frames of more colours.
//
// Variance split (the default): colours covering at least 1/512 of the
// pixels (flat screen colours, text) are kept exactly; the rest, counted in
// 5-5-5 cells, are split into boxes, each time the box whose best cut lowers
// the squared error most, then one k-means pass; each colour takes the entry
// of its 5-5-5 cell. Measured by encoder_bench --sweep (Video clip, 30
// frames, one run): 1280x720 35.67 dB, 4.29 MB, 37 fps; median cut 34.88 dB
// and 4.60 MB; no k-means pass 35.22 dB; two passes 35.75 dB but slower;
// mapping through 6-6-6 cells 35.90 dB at 27 fps; ffmpeg's
// palettegen/paletteuse two-pass recipe 30.40 dB, 6.17 MB. No dithering: not
// measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "media/gif_colours.h"

namespace ks {

// Which box of colours is split next.
enum class GifQuantiser {
  MedianCut,      // the box with the most pixels split at its median
  VarianceSplit,  // the box whose split lowers the squared error most, split there
};

class GifColourQuantiser {
 public:
  // refinePasses: k-means passes over the table's colours. fineMapping: each
  // colour to the entry nearest the middle of its 6-6-6 cell, rather than to
  // its 5-5-5 cell's entry.
  GifColourQuantiser(GifQuantiser method, int refinePasses, bool fineMapping);

  // A table of 1 to `room` (at most 256) entries, 0xRRGGBB, for the pixels
  // that have none of the `skip` bits; `counted` holds their colours as
  // GifColourCounter::count left them (those past its limit missing). Valid
  // until the next call.
  std::span<const std::uint32_t> makeTable(std::span<const std::uint32_t> pixels, std::uint32_t skip,
                                           const GifColourCounter& counted, std::size_t room);
  // The entry of the last table for a colour of those pixels.
  std::uint8_t entryOf(std::uint32_t colour);

 private:
  // A 5-5-5 cell of the colours to be split: its pixels and their mean.
  struct Cell {
    double w, c[3];
    std::uint32_t key;  // the 5-5-5 cell
  };
  // Cells [begin, end) of the list, and how it would split them.
  struct Box {
    std::size_t begin, end;
    double w = 0, sum[3] = {0, 0, 0};
    double priority = -1;  // which box splits next; < 0: cannot split
    std::size_t split = 0;
  };

  // Sorts the box's cells along the channel it splits on and finds the split.
  static void planSplit(std::vector<Cell>& cells, Box& box, GifQuantiser method);
  // The pixels' 5-5-5 histogram into sums_ and touched_; how many pixels.
  std::size_t countCells(std::span<const std::uint32_t> pixels, std::uint32_t skip);
  // Takes the colours to be kept as they are into the table and out of the
  // histogram; how many.
  std::size_t keepDominant(const GifColourCounter& counted, std::size_t total, std::size_t room);
  // The histogram's cells into cells_, and the histogram cleared.
  void takeCells();
  void splitBoxes(std::size_t boxes);
  void refine(std::size_t kept);

  GifQuantiser method_;
  int refinePasses_;
  bool fineMapping_;
  std::vector<std::uint32_t> table_;      // 0xRRGGBB; the kept colours first
  std::size_t kept_ = 0;                  // of table_
  std::vector<std::uint64_t> sums_;       // 5-5-5 cells: pixels, red, green, blue sums; zero between tables
  std::vector<std::uint64_t> touched_;    // 5-5-5 cells: a bit for each with pixels; zero between tables
  std::vector<std::pair<std::uint32_t, std::uint32_t>> dominant_;  // count, counter slot
  std::vector<std::uint32_t> keptColours_;  // colour << 8 | entry, sorted
  std::vector<std::uint8_t> keptCell_;      // 5-5-5 cells: holds a kept colour
  std::vector<Cell> cells_;
  std::vector<Box> boxes_;
  std::vector<std::uint8_t> cellEntry_;   // 5-5-5 cells: an entry near them
  std::vector<double> entrySums_;         // k-means: each entry's pixels, red, green, blue sums
  std::vector<std::uint32_t> byGreen_;    // table_ sorted for nearest()
  std::vector<std::uint16_t> nearest_;    // 6-6-6 cells: nearest entry (fineMapping)
  std::vector<std::uint32_t> nearestSet_;  // the 6-6-6 cells in nearest_ for this table
};

}  // namespace ks
