#include "media/gif_quantiser.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace ks {
namespace {

constexpr std::size_t kCells = 32768;  // 5-5-5
constexpr std::size_t kFineCells = std::size_t{1} << 18;  // 6-6-6
constexpr std::uint16_t kUnknown = 0xFFFF;  // in the nearest-entry cache
// Colours that cover at least 1/kDominant of the pixels are kept exactly,
// at most kMaxKept.
constexpr std::size_t kDominant = 512, kMaxKept = 64;

std::size_t cell555(std::uint32_t c) { return (c >> 9 & 0x7C00) | (c >> 6 & 0x3E0) | (c >> 3 & 0x1F); }
std::size_t cell666(std::uint32_t c) { return (c >> 6 & 0x3F000) | (c >> 4 & 0xFC0) | (c >> 2 & 0x3F); }

// The table entry nearest (in squared RGB distance, which is what PSNR
// counts) to colour c. `byGreen` holds the entries as green, red, blue and
// index bytes from the top, sorted: the search goes out from c's green both
// ways and stops where green alone is farther than the best found, which
// starts as `hint` (a table entry).
int nearest(const std::vector<std::uint32_t>& byGreen, const std::vector<std::uint32_t>& table, std::uint32_t c,
            int hint) {
  const int r = int(c >> 16), g = int(c >> 8 & 255), b = int(c & 255);
  const auto start = std::lower_bound(byGreen.begin(), byGreen.end(), std::uint32_t(g) << 24) - byGreen.begin();
  const std::uint32_t e = table[static_cast<std::size_t>(hint)];
  const int hr = int(e >> 16) - r, hg = int(e >> 8 & 255) - g, hb = int(e & 255) - b;
  int best = hint, bestDistance = hr * hr + hg * hg + hb * hb + 1;
  auto consider = [&](std::uint32_t e) {
    const int dg = int(e >> 24) - g;
    if (dg * dg >= bestDistance) return false;
    const int dr = int(e >> 16 & 255) - r, db = int(e >> 8 & 255) - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) bestDistance = d, best = int(e & 255);
    return true;
  };
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(byGreen.size());
  for (std::ptrdiff_t up = start, down = start - 1; up < n || down >= 0;) {
    if (up < n && !consider(byGreen[static_cast<std::size_t>(up++)])) up = n;
    if (down >= 0 && !consider(byGreen[static_cast<std::size_t>(down--)])) down = -1;
  }
  return best;
}

void sortByGreen(const std::vector<std::uint32_t>& table, std::vector<std::uint32_t>& byGreen) {
  byGreen.clear();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint32_t c = table[i];
    byGreen.push_back((c >> 8 & 255) << 24 | (c >> 16 & 255) << 16 | (c & 255) << 8 | std::uint32_t(i));
  }
  std::sort(byGreen.begin(), byGreen.end());
}

std::uint32_t packed(double r, double g, double b) {
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

}  // namespace

GifColourQuantiser::GifColourQuantiser(GifQuantiser method, int refinePasses, bool fineMapping)
    : method_(method),
      refinePasses_(refinePasses),
      fineMapping_(fineMapping),
      sums_(4 * kCells, 0),
      touched_(kCells / 64, 0),
      keptCell_(kCells, 0),
      cellEntry_(kCells, 0),
      nearest_(fineMapping ? kFineCells : 0, kUnknown) {}

void GifColourQuantiser::planSplit(std::vector<Cell>& cells, Box& box, GifQuantiser method) {
  double sq[3] = {0, 0, 0}, lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (std::size_t i = box.begin; i < box.end; ++i) {
    const Cell& c = cells[i];
    box.w += c.w;
    for (int k = 0; k < 3; ++k) {
      box.sum[k] += c.w * c.c[k], sq[k] += c.w * c.c[k] * c.c[k];
      lo[k] = std::min(lo[k], c.c[k]), hi[k] = std::max(hi[k], c.c[k]);
    }
  }
  if (box.end - box.begin < 2) return;
  int axis = 0;
  double spread[3];
  for (int k = 0; k < 3; ++k)
    spread[k] = method == GifQuantiser::MedianCut ? hi[k] - lo[k] : sq[k] - box.sum[k] * box.sum[k] / box.w;
  for (int k = 1; k < 3; ++k)
    if (spread[k] > spread[axis]) axis = k;
  if (spread[axis] <= 0) return;
  std::sort(cells.begin() + static_cast<std::ptrdiff_t>(box.begin), cells.begin() + static_cast<std::ptrdiff_t>(box.end),
            [axis](const Cell& a, const Cell& b) { return a.c[axis] < b.c[axis]; });
  double w = 0, s[3] = {0, 0, 0}, bestGain = -1;
  const double whole = (box.sum[0] * box.sum[0] + box.sum[1] * box.sum[1] + box.sum[2] * box.sum[2]) / box.w;
  for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
    const Cell& c = cells[i];
    w += c.w;
    for (int k = 0; k < 3; ++k) s[k] += c.w * c.c[k];
    if (method == GifQuantiser::MedianCut) {
      if (2 * w >= box.w || i + 2 == box.end) {
        box.split = i + 1;
        box.priority = box.w;
        return;
      }
      continue;
    }
    // The squared error the split takes away: |L|^2/wL + |R|^2/wR - |T|^2/w.
    const double r[3] = {box.sum[0] - s[0], box.sum[1] - s[1], box.sum[2] - s[2]};
    const double gain = (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) / w +
                        (r[0] * r[0] + r[1] * r[1] + r[2] * r[2]) / (box.w - w) - whole;
    if (gain > bestGain) bestGain = gain, box.split = i + 1;
  }
  box.priority = bestGain;
}

std::span<const std::uint32_t> GifColourQuantiser::makeTable(std::span<const std::uint32_t> pixels,
                                                             std::uint32_t skip, const GifColourCounter& counted,
                                                             std::size_t room) {
  // What the last table marked goes back to unmarked.
  for (std::size_t j = 0; j < kept_; ++j) keptCell_[cell555(table_[j])] = 0;
  for (const std::uint32_t cell : nearestSet_) nearest_[cell] = kUnknown;
  nearestSet_.clear();
  table_.clear();

  const std::size_t total = countCells(pixels, skip);
  kept_ = keepDominant(counted, total, room);
  takeCells();
  splitBoxes(room - kept_);
  refine(kept_);
  sortByGreen(table_, byGreen_);
  for (std::size_t j = 0; j < kept_; ++j) keptCell_[cell555(table_[j])] = 1;
  return table_;
}

std::size_t GifColourQuantiser::countCells(std::span<const std::uint32_t> pixels, std::uint32_t skip) {
  std::size_t total = 0;
  for (const std::uint32_t pixel : pixels) {
    if (pixel & skip) continue;
    const std::uint32_t c = pixel & kGifColourMask;
    const std::size_t cell = cell555(c);
    std::uint64_t* s = &sums_[4 * cell];
    s[0] += 1, s[1] += c >> 16, s[2] += c >> 8 & 255, s[3] += c & 255;
    touched_[cell / 64] |= std::uint64_t{1} << (cell % 64);
    ++total;
  }
  return total;
}

std::size_t GifColourQuantiser::keepDominant(const GifColourCounter& counted, std::size_t total, std::size_t room) {
  const std::span<const GifColourCounter::Slot> slots = counted.slots();
  dominant_.clear();
  for (std::size_t i = 0; i < slots.size(); ++i)
    if (slots[i].key != 0 && std::size_t{slots[i].count} * kDominant >= total)
      dominant_.emplace_back(slots[i].count, static_cast<std::uint32_t>(i));
  const std::size_t kept = std::min({dominant_.size(), kMaxKept, room});
  std::partial_sort(dominant_.begin(), dominant_.begin() + static_cast<std::ptrdiff_t>(kept), dominant_.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  keptColours_.clear();
  for (std::size_t j = 0; j < kept; ++j) {
    const std::uint32_t c = slots[dominant_[j].second].key - 1, n = dominant_[j].first;
    std::uint64_t* s = &sums_[4 * cell555(c)];
    s[0] -= n, s[1] -= std::uint64_t{n} * (c >> 16), s[2] -= std::uint64_t{n} * (c >> 8 & 255),
        s[3] -= std::uint64_t{n} * (c & 255);
    keptColours_.push_back(c << 8 | static_cast<std::uint32_t>(table_.size()));
    table_.push_back(c);
  }
  std::sort(keptColours_.begin(), keptColours_.end());
  return kept;
}

void GifColourQuantiser::takeCells() {
  cells_.clear();
  for (std::size_t word = 0; word < touched_.size(); ++word) {
    for (std::uint64_t bits = touched_[word]; bits != 0; bits &= bits - 1) {
      const std::size_t cell = 64 * word + static_cast<std::size_t>(std::countr_zero(bits));
      std::uint64_t* s = &sums_[4 * cell];
      if (s[0] != 0) {
        const double w = static_cast<double>(s[0]);
        cells_.push_back({w, {double(s[1]) / w, double(s[2]) / w, double(s[3]) / w}, static_cast<std::uint32_t>(cell)});
      }
      std::fill_n(s, 4, 0);
    }
    touched_[word] = 0;
  }
}

void GifColourQuantiser::splitBoxes(std::size_t most) {
  boxes_.clear();
  if (!cells_.empty() && most > 0) {
    boxes_.push_back({0, cells_.size()});
    planSplit(cells_, boxes_[0], method_);
  }
  while (boxes_.size() < most) {
    std::size_t pick = 0;
    for (std::size_t b = 1; b < boxes_.size(); ++b)
      if (boxes_[b].priority > boxes_[pick].priority) pick = b;
    if (boxes_.empty() || boxes_[pick].priority < 0) break;
    Box left{boxes_[pick].begin, boxes_[pick].split}, right{boxes_[pick].split, boxes_[pick].end};
    planSplit(cells_, left, method_);
    planSplit(cells_, right, method_);
    boxes_[pick] = left;
    boxes_.push_back(right);
  }
  // Each box's mean an entry; each cell's entry is where the nearest-entry
  // search starts.
  for (const Box& b : boxes_) {
    for (std::size_t i = b.begin; i < b.end; ++i) cellEntry_[cells_[i].key] = static_cast<std::uint8_t>(table_.size());
    table_.push_back(packed(b.sum[0] / b.w, b.sum[1] / b.w, b.sum[2] / b.w));
  }
}

void GifColourQuantiser::refine(std::size_t kept) {
  // k-means: each cell to its nearest entry, each box's entry to the mean
  // of its cells (the kept colours stay).
  for (int pass = 0; pass < refinePasses_; ++pass) {
    sortByGreen(table_, byGreen_);
    entrySums_.assign(4 * table_.size(), 0);
    for (const Cell& c : cells_) {
      const int e = nearest(byGreen_, table_, packed(c.c[0], c.c[1], c.c[2]), cellEntry_[c.key]);
      cellEntry_[c.key] = static_cast<std::uint8_t>(e);
      double* s = &entrySums_[4 * static_cast<std::size_t>(e)];
      s[0] += c.w, s[1] += c.w * c.c[0], s[2] += c.w * c.c[1], s[3] += c.w * c.c[2];
    }
    for (std::size_t e = kept; e < table_.size(); ++e) {
      const double* s = &entrySums_[4 * e];
      if (s[0] > 0) table_[e] = packed(s[1] / s[0], s[2] / s[0], s[3] / s[0]);
    }
  }
}

std::uint8_t GifColourQuantiser::entryOf(std::uint32_t colour) {
  // Colours of one 5-5-5 cell share its entry (with fineMapping, those of
  // one 6-6-6 cell the entry nearest its middle), but for the colours kept
  // as they are.
  const std::size_t cell = cell555(colour);
  if (keptCell_[cell]) {
    const auto at = std::lower_bound(keptColours_.begin(), keptColours_.end(), colour << 8);
    if (at != keptColours_.end() && *at >> 8 == colour) return static_cast<std::uint8_t>(*at);
  }
  if (!fineMapping_) return cellEntry_[cell];
  const std::size_t fine = cell666(colour);
  std::uint16_t& n = nearest_[fine];
  if (n == kUnknown) {
    n = static_cast<std::uint16_t>(nearest(byGreen_, table_, (colour & 0xFCFCFC) | 0x020202, cellEntry_[cell]));
    nearestSet_.push_back(static_cast<std::uint32_t>(fine));
  }
  return static_cast<std::uint8_t>(n);
}

}  // namespace ks
