#include "media/gif_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace ks {
namespace {

constexpr std::uint32_t kColourMask = 0xFFFFFF, kUnchanged = 1u << 24, kNoColour = 1u << 25;
constexpr std::uint32_t kNotKept = ~0u;
constexpr std::uint16_t kUnknown = 0xFFFF;  // in the nearest-entry cache
// Colours counted exactly; past that the frame is quantised from 5-5-5 cells.
constexpr std::size_t kMaxExact = 4096;
// Of a quantised table: colours that cover at least 1/kDominant of the
// pixels (flat screen colours, text) are kept exactly, at most kMaxKept.
constexpr std::size_t kDominant = 512, kMaxKept = 64;
// The bands of rows on which both ways of coding unchanged pixels are tried.
constexpr std::int32_t kSampleBands = 4;

std::size_t cell555(std::uint32_t c) { return (c >> 9 & 0x7C00) | (c >> 6 & 0x3E0) | (c >> 3 & 0x1F); }
std::size_t cell666(std::uint32_t c) { return (c >> 6 & 0x3F000) | (c >> 4 & 0xFC0) | (c >> 2 & 0x3F); }

std::uint32_t colourAt(const std::uint8_t* p) {
  return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

std::uint32_t hashColour(std::uint32_t c) { return (c * 2654435761u) >> 8; }

// The table entry nearest (in squared RGB distance, which is what PSNR
// counts) to colour c. `byGreen` holds the entries as green, red, blue and
// index bytes from the top, sorted: the search goes out from c's green both
// ways and stops where green alone is farther than the best found, which
// starts as `hint` (a table entry) when given.
int nearest(const std::vector<std::uint32_t>& byGreen, const std::vector<std::uint32_t>& palette, std::uint32_t c,
            int hint = -1) {
  const int r = int(c >> 16), g = int(c >> 8 & 255), b = int(c & 255);
  const auto start = std::lower_bound(byGreen.begin(), byGreen.end(), std::uint32_t(g) << 24) - byGreen.begin();
  int best = 0, bestDistance = 1 << 30;
  if (hint >= 0) {
    const std::uint32_t e = palette[static_cast<std::size_t>(hint)];
    const int dr = int(e >> 16) - r, dg = int(e >> 8 & 255) - g, db = int(e & 255) - b;
    best = hint, bestDistance = dr * dr + dg * dg + db * db + 1;
  }
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

void sortByGreen(const std::vector<std::uint32_t>& palette, std::vector<std::uint32_t>& byGreen) {
  byGreen.clear();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t c = palette[i];
    byGreen.push_back((c >> 8 & 255) << 24 | (c >> 16 & 255) << 16 | (c & 255) << 8 | std::uint32_t(i));
  }
  std::sort(byGreen.begin(), byGreen.end());
}

// A 5-5-5 cell of the colours to be quantised: its pixels and their mean.
struct Cell {
  double w, c[3];
  std::uint32_t key;  // the 5-5-5 cell
};

// Cells [begin, end) of the quantiser's list, and how it would split them.
struct Box {
  std::size_t begin, end;
  double w = 0, sum[3] = {0, 0, 0};
  double priority = -1;  // which box splits next; < 0: cannot split
  std::size_t split = 0;
};

// Sorts the box's cells along the channel it splits on and finds the split.
void planSplit(std::vector<Cell>& cells, Box& box, GifQuantiser q) {
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
    spread[k] = q == GifQuantiser::MedianCut ? hi[k] - lo[k] : sq[k] - box.sum[k] * box.sum[k] / box.w;
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
    if (q == GifQuantiser::MedianCut) {
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

std::uint32_t packed(double r, double g, double b) {
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

GifEncoder::GifEncoder(std::int32_t width, std::int32_t height, GifOptions options)
    : width_(width), height_(height), options_(options), stride_(dibStride(width)) {
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
  int transparentIndex = 0;
  bool exact = false, mapped = false;
  if (havePrevious_ && changed < colours_.size()) {
    switch (options_.transparency) {
      case GifTransparency::Shorter:
        // Where all the rectangle's colours fit the table with room for the
        // transparent index, both ways are tried. Else the majority
        // decides: unchanged pixels as one index make long runs where they
        // are most of the rectangle, and only break the picture's own runs
        // where they are few.
        mapped = mapColours(false, 255, true, transparentIndex);
        if (mapped) {
          exact = true;
          transparent = transparencyShortens(r);
          if (transparent) transparentIndex = static_cast<int>(palette_.size()) - 1;
        } else {
          transparent = 2 * changed < colours_.size();
        }
        break;
      case GifTransparency::Majority: transparent = 2 * changed < colours_.size(); break;
      case GifTransparency::Always: transparent = true; break;
      case GifTransparency::Never: break;
    }
  }
  if (!mapped) exact = mapColours(transparent, transparent ? 255 : 256, false, transparentIndex);

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
  lzw_.append(indices_, std::max<int>(2, static_cast<int>(tableBits)), out_);
  return {out_, exact};
}

namespace {
int codeSize(std::size_t colours) {
  int bits = 2;
  while ((std::size_t{1} << bits) < colours) ++bits;
  return bits;
}
}  // namespace

bool GifEncoder::transparencyShortens(const Rect& r) {
  // The transparent way needs only the changed pixels' colours: their
  // entries renumbered in order of use, the transparent index after them.
  std::array<int, 256> renumbered;
  renumbered.fill(-1);
  int used = 0;
  for (std::size_t i = 0; i < colours_.size(); ++i)
    if (!(colours_[i] & kUnchanged) && renumbered[indices_[i]] < 0) renumbered[indices_[i]] = used++;
  auto transparentWay = [&](std::size_t at, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = at; i < at + count; ++i)
      *out++ = static_cast<std::uint8_t>(colours_[i] & kUnchanged ? used : renumbered[indices_[i]]);
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
    sample_.resize(count);
    transparentWay(at, count, sample_.data());
    transparent += lzw_.countBits({sample_.data(), count}, codeSize(t));
  }
  const double scale = double(r.h) / (double(bands) * bandRows);
  if (transparent * scale + 24.0 * (std::size_t{1} << codeSize(t)) >=
      opaque * scale + 24.0 * (std::size_t{1} << codeSize(n)))
    return false;
  sample_.resize(indices_.size());
  transparentWay(0, indices_.size(), sample_.data());
  std::vector<std::uint32_t> table(t, 0);
  for (std::size_t e = 0; e < n; ++e)
    if (renumbered[e] >= 0) table[static_cast<std::size_t>(renumbered[e])] = palette_[e];
  palette_.swap(table);
  indices_.swap(sample_);
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
  colours_.resize(std::size_t(r.w) * r.h);
  std::uint32_t* out = colours_.data();
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
  return havePrevious_ ? changed : colours_.size();
}

bool GifEncoder::mapColours(bool transparent, std::size_t room, bool exactOnly, int& transparentIndex) {
  // Counts the colours of the pixels to be coded in an open-addressed table
  // (colour + 1 as the key, 0 free), kept at most half full. Past
  // kMaxExact colours the table takes no new ones (it goes on counting
  // those it has) and the pixels are counted in 5-5-5 cells for the
  // quantiser.
  const std::uint32_t skip = transparent ? kUnchanged : kNoColour;
  std::size_t slots = 1024, distinct = 0;
  keys_.assign(slots, 0);
  values_.assign(slots, 0);
  auto slotOf = [&](std::uint32_t key) {
    std::size_t i = hashColour(key) & (slots - 1);
    while (keys_[i] != 0 && keys_[i] != key) i = (i + 1) & (slots - 1);
    return i;
  };
  auto insert = [&](std::uint32_t key, std::uint32_t count) {
    const std::size_t i = slotOf(key);
    if (keys_[i] == 0) keys_[i] = key, ++distinct;
    values_[i] += count;
  };
  bool overflow = false;
  std::uint32_t last = kNoColour;
  std::size_t lastSlot = 0;
  for (const std::uint32_t pixel : colours_) {
    if (pixel & skip) continue;
    const std::uint32_t c = pixel & kColourMask;
    if (c == last) {
      ++values_[lastSlot];
      continue;
    }
    const std::size_t i = slotOf(c + 1);
    if (keys_[i] == 0) {
      if (overflow) {
        last = kNoColour;
        continue;
      }
      keys_[i] = c + 1, ++distinct;
      if (exactOnly && distinct > room) return false;  // not to be exact: stop counting
      if (2 * distinct > slots) {
        if (distinct > kMaxExact) {
          // Never reached again this frame: the table is full enough.
          overflow = true;
          last = kNoColour;
          continue;
        }
        std::vector<std::uint32_t> k(std::move(keys_)), v(std::move(values_));
        slots *= 2;
        keys_.assign(slots, 0);
        values_.assign(slots, 0);
        distinct = 0;
        for (std::size_t j = 0; j < k.size(); ++j)
          if (k[j] != 0) insert(k[j], v[j]);
        const std::size_t at = slotOf(c + 1);
        ++values_[at];
        last = c, lastSlot = at;
        continue;
      }
    }
    ++values_[i];
    last = c, lastSlot = i;
  }

  palette_.clear();
  const bool exact = !overflow && distinct <= room;
  if (exactOnly && !exact) return false;
  if (exact) {
    for (std::size_t i = 0; i < slots; ++i)
      if (keys_[i] != 0) {
        values_[i] = static_cast<std::uint32_t>(palette_.size());
        palette_.push_back(keys_[i] - 1);
      }
  } else {
    cellSums_.assign(4 * 32768, 0);
    for (const std::uint32_t pixel : colours_) {
      if (pixel & skip) continue;
      const std::uint32_t c = pixel & kColourMask;
      std::uint64_t* s = &cellSums_[4 * cell555(c)];
      s[0] += 1, s[1] += c >> 16, s[2] += c >> 8 & 255, s[3] += c & 255;
    }
    quantise(room);
  }
  transparentIndex = static_cast<int>(palette_.size());
  if (transparent) palette_.push_back(0);
  if (palette_.empty()) palette_.push_back(0);

  indices_.resize(colours_.size());
  std::uint8_t* out = indices_.data();
  last = kNoColour;
  std::uint8_t lastIndex = 0;
  for (const std::uint32_t c : colours_) {
    if (c & skip) {
      *out++ = static_cast<std::uint8_t>(transparentIndex);
      continue;
    }
    if (c != last) {
      const std::uint32_t colour = c & kColourMask;
      if (exact) {
        lastIndex = static_cast<std::uint8_t>(values_[slotOf(colour + 1)]);
      } else {
        // Colours of one 5-5-5 cell share its entry (with fineMapping,
        // those of one 6-6-6 cell the entry nearest its middle), but for
        // the colours kept as they are.
        const std::size_t cell = cell555(colour);
        std::size_t slot = 0;
        if (keptCell_[cell] && (slot = slotOf(colour + 1), keys_[slot] != 0 && values_[slot] != kNotKept)) {
          lastIndex = static_cast<std::uint8_t>(values_[slot]);
        } else if (!options_.fineMapping) {
          lastIndex = cellEntry_[cell];
        } else {
          std::uint16_t& n = nearestCache_[cell666(colour)];
          if (n == kUnknown)
            n = static_cast<std::uint16_t>(nearest(byGreen_, palette_, (colour & 0xFCFCFC) | 0x020202, cellEntry_[cell]));
          lastIndex = static_cast<std::uint8_t>(n);
        }
      }
      last = c;
    }
    *out++ = lastIndex;
  }
  return exact;
}

void GifEncoder::quantise(std::size_t room) {
  // The dominant colours as they are, out of the cells.
  std::size_t total = 0;
  for (std::size_t i = 0; i < cellSums_.size(); i += 4) total += cellSums_[i];
  std::vector<std::pair<std::uint32_t, std::uint32_t>> dominant;  // count, slot
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] != 0 && std::size_t{values_[i]} * kDominant >= total)
      dominant.emplace_back(values_[i], static_cast<std::uint32_t>(i));
    values_[i] = kNotKept;
  }
  const std::size_t kept = std::min({dominant.size(), kMaxKept, room});
  std::partial_sort(dominant.begin(), dominant.begin() + static_cast<std::ptrdiff_t>(kept), dominant.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  for (std::size_t j = 0; j < kept; ++j) {
    const std::uint32_t c = keys_[dominant[j].second] - 1, n = dominant[j].first;
    std::uint64_t* s = &cellSums_[4 * cell555(c)];
    s[0] -= n, s[1] -= std::uint64_t{n} * (c >> 16), s[2] -= std::uint64_t{n} * (c >> 8 & 255),
        s[3] -= std::uint64_t{n} * (c & 255);
    values_[dominant[j].second] = static_cast<std::uint32_t>(palette_.size());
    palette_.push_back(c);
  }

  // The other colours: the cells split into boxes, each box's mean an entry.
  std::vector<Cell> cells;
  for (std::size_t i = 0; i < cellSums_.size(); i += 4) {
    const std::uint64_t* s = &cellSums_[i];
    if (s[0] == 0) continue;
    const double w = static_cast<double>(s[0]);
    cells.push_back({w, {double(s[1]) / w, double(s[2]) / w, double(s[3]) / w}, static_cast<std::uint32_t>(i / 4)});
  }
  std::vector<Box> boxes;
  if (!cells.empty() && room > kept) {
    boxes.push_back({0, cells.size()});
    planSplit(cells, boxes[0], options_.quantiser);
  }
  while (boxes.size() < room - kept) {
    std::size_t pick = 0;
    for (std::size_t b = 1; b < boxes.size(); ++b)
      if (boxes[b].priority > boxes[pick].priority) pick = b;
    if (boxes.empty() || boxes[pick].priority < 0) break;
    Box left{boxes[pick].begin, boxes[pick].split}, right{boxes[pick].split, boxes[pick].end};
    planSplit(cells, left, options_.quantiser);
    planSplit(cells, right, options_.quantiser);
    boxes[pick] = left;
    boxes.push_back(right);
  }
  // Each 5-5-5 cell's entry: where the nearest-entry search starts.
  cellEntry_.assign(32768, 0);
  for (const Box& b : boxes) {
    for (std::size_t i = b.begin; i < b.end; ++i) cellEntry_[cells[i].key] = static_cast<std::uint8_t>(palette_.size());
    palette_.push_back(packed(b.sum[0] / b.w, b.sum[1] / b.w, b.sum[2] / b.w));
  }

  // k-means: each cell to its nearest entry, each box's entry to the mean
  // of its cells (the dominant colours stay).
  for (int pass = 0; pass < options_.refinePasses; ++pass) {
    sortByGreen(palette_, byGreen_);
    std::vector<double> sums(4 * palette_.size(), 0);
    for (const Cell& c : cells) {
      const int e = nearest(byGreen_, palette_, packed(c.c[0], c.c[1], c.c[2]), cellEntry_[c.key]);
      cellEntry_[c.key] = static_cast<std::uint8_t>(e);
      double* s = &sums[4 * static_cast<std::size_t>(e)];
      s[0] += c.w, s[1] += c.w * c.c[0], s[2] += c.w * c.c[1], s[3] += c.w * c.c[2];
    }
    for (std::size_t e = kept; e < palette_.size(); ++e) {
      const double* s = &sums[4 * e];
      if (s[0] > 0) palette_[e] = packed(s[1] / s[0], s[2] / s[0], s[3] / s[0]);
    }
  }
  sortByGreen(palette_, byGreen_);
  if (options_.fineMapping) nearestCache_.assign(std::size_t{1} << 18, kUnknown);
  keptCell_.assign(32768, 0);
  for (std::size_t j = 0; j < kept; ++j) keptCell_[cell555(palette_[j])] = 1;
}

}  // namespace ks
