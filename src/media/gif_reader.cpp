#include "media/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ks {
namespace {

constexpr std::uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B;
constexpr std::uint8_t kControlLabel = 0xF9, kApplicationLabel = 0xFF;
constexpr int kMaxCodes = 4096;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::string damagedText(const std::string& what) { return "the file is damaged: " + what; }
// Users count frames from 1.
std::string frameName(std::size_t n) { return "frame " + std::to_string(n + 1); }

std::vector<std::uint32_t> readPalette(const std::uint8_t* p, std::size_t entries) {
  std::vector<std::uint32_t> palette(entries);
  for (std::size_t i = 0; i < entries; ++i, p += 3)
    palette[i] = std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
  return palette;
}

bool samePixels(const pixels::Bgra* a, const pixels::Bgra* b, std::size_t n) {
  return std::memcmp(a, b, n * sizeof(pixels::Bgra)) == 0;
}

}  // namespace

bool MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
  return true;
}

bool GifReader::fail(std::string message) {
  error_ = std::move(message);
  return false;
}

bool GifReader::open(ByteSource& source) {
  *this = GifReader();
  const std::uint64_t size = source.size();
  if (size > kMaxGifBytes)
    return fail("the file is " + std::to_string(size >> 20) + " MiB; GIF files up to 2048 MiB can be opened");
  bytes_.resize(static_cast<std::size_t>(size));
  if (!source.read(0, bytes_)) return fail("the file could not be read");
  return parseBlocks();
}

bool GifReader::parseBlocks() {
  const std::uint8_t* b = bytes_.data();
  const std::size_t n = bytes_.size();
  if (n < 6 || std::memcmp(b, "GIF", 3) != 0 || (std::memcmp(b + 3, "87a", 3) != 0 && std::memcmp(b + 3, "89a", 3) != 0))
    return fail("not a GIF file");
  if (n < 13) return fail(damagedText("it ends inside its header"));
  width_ = le16(b + 6), height_ = le16(b + 8);
  if (width_ == 0 || height_ == 0) return fail(damagedText("its picture has no size"));
  const std::string size = std::to_string(width_) + "x" + std::to_string(height_);
  if (width_ > kMaxGifSide || height_ > kMaxGifSide)
    return fail("the picture is " + size + " pixels; GIFs up to 16384 pixels a side can be opened");
  background_ = b[11];
  std::size_t at = 13;
  if (b[10] & 0x80) {
    const std::size_t entries = std::size_t{2} << (b[10] & 7);
    if (n - at < 3 * entries) return fail(damagedText("it ends inside its colour table"));
    globalPalette_ = readPalette(b + at, entries);
    at += 3 * entries;
  }
  headerEnd_ = loopBegin_ = loopEnd_ = at;

  // Skips data sub-blocks up to and past their terminator; false when the
  // file ends first.
  auto skipSubBlocks = [&](std::size_t& p) {
    while (p < n) {
      const std::size_t length = b[p++];
      if (length == 0) return true;
      if (n - p < length) break;
      p += length;
    }
    p = n;
    return false;
  };
  GifFrameInfo frame;
  // Where the blocks of the frame being read begin; kNone before its first.
  constexpr std::size_t kNone = SIZE_MAX;
  std::size_t begin = kNone;
  while (true) {
    if (at >= n) {
      cutOff_ = true;
      break;
    }
    const std::size_t blockAt = at;
    const std::string where = " (byte " + std::to_string(blockAt) + ")";
    if (b[at] == kTrailer) break;
    if (begin == kNone) begin = at;
    if (b[at] == kExtension) {
      if (n - at < 3) {
        cutOff_ = true;
        break;
      }
      const std::uint8_t label = b[at + 1];
      at += 2;
      if (label == kControlLabel) {
        if (b[at] != 4)
          return fail(damagedText("a frame's control block is " + std::to_string(b[at]) + " bytes long, not 4" + where));
        if (n - at < 6) {
          cutOff_ = true;
          break;
        }
        if (b[at + 5] != 0) return fail(damagedText("a frame's control block has no terminator" + where));
        frame.disposal = static_cast<GifDisposal>(b[at + 1] >> 2 & 7);
        frame.delay = le16(b + at + 2);
        frame.transparentIndex = b[at + 1] & 1 ? b[at + 4] : -1;
        at += 6;
        continue;
      }
      const bool loop = label == kApplicationLabel && n - at >= 12 && b[at] == 11 &&
                        (std::memcmp(b + at + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(b + at + 1, "ANIMEXTS1.0", 11) == 0);
      if (loop && n - at >= 16 && b[at + 12] == 3 && b[at + 13] == 1) loopCount_ = le16(b + at + 14);
      if (!skipSubBlocks(at)) {
        cutOff_ = true;
        break;
      }
      // Kept apart from the first frame, so a trimmed copy keeps it once.
      if (loop && frames_.empty() && begin == blockAt) {
        loopBegin_ = blockAt, loopEnd_ = at;
        begin = kNone;
      }
      continue;
    }
    if (b[at] != kImage) return fail(damagedText("it has an unknown block" + where));
    const std::size_t index = frames_.size();
    if (n - at < 10) {
      cutOff_ = true;
      break;
    }
    frame.left = le16(b + at + 1), frame.top = le16(b + at + 3);
    frame.width = le16(b + at + 5), frame.height = le16(b + at + 7);
    frame.interlaced = b[at + 9] & 0x40;
    const std::uint8_t packed = b[at + 9];
    at += 10;
    if (frame.width == 0 || frame.height == 0) return fail(damagedText(frameName(index) + " has no size"));
    if (frame.left + frame.width > width_ || frame.top + frame.height > height_)
      return fail(damagedText(frameName(index) + " (" + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                          " at " + std::to_string(frame.left) + "," + std::to_string(frame.top) +
                          ") lies outside the " + size + " picture"));
    if (packed & 0x80) {
      const std::size_t entries = std::size_t{2} << (packed & 7);
      if (n - at < 3 * entries) {
        cutOff_ = true;
        break;
      }
      frame.localPalette = readPalette(b + at, entries);
      at += 3 * entries;
    } else if (globalPalette_.empty()) {
      return fail(damagedText(frameName(index) + " has no colour table"));
    }
    if (at >= n) {
      cutOff_ = true;
      break;
    }
    if (b[at] < 2 || b[at] > 8)
      return fail(damagedText(frameName(index) + " has an LZW code size of " + std::to_string(b[at]) + ", not 2 to 8"));
    frame.dataAt = at++;
    if (!skipSubBlocks(at)) {
      cutOff_ = true;
      break;
    }
    frame.begin = begin, frame.end = at;
    frames_.push_back(std::move(frame));
    frame = {};
    begin = kNone;
  }
  if (frames_.empty()) return fail(cutOff_ ? damagedText("it ends before its first whole frame") : "the file has no frames");
  keys_.resize(frames_.size() / kKeyInterval + 1);
  return true;
}

bool GifReader::drawFrame(std::size_t n) {
  const GifFrameInfo& f = frames_[n];
  const std::uint8_t* b = bytes_.data();
  const int minSize = b[f.dataAt], clear = 1 << minSize, end = clear + 1;
  const std::size_t total = std::size_t(f.width) * f.height;
  indices_.resize(total);
  prefix_.resize(kMaxCodes);
  suffix_.resize(kMaxCodes);
  stack_.resize(kMaxCodes + 1);
  for (int i = 0; i < clear; ++i) suffix_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  int width = minSize + 1, next = end + 1, prev = -1;
  std::uint8_t prevFirst = 0;
  std::size_t out = 0, p = f.dataAt + 1, blockLeft = 0;
  std::uint32_t acc = 0;
  int bits = 0;
  // The blocks were found whole when the file was opened, so they are read
  // without bounds checks of their own.
  while (true) {
    while (bits < width && (blockLeft > 0 || b[p] != 0)) {
      if (blockLeft == 0) blockLeft = b[p++];
      acc |= std::uint32_t{b[p++]} << bits;
      bits += 8;
      --blockLeft;
    }
    if (bits < width) break;  // no end code: tolerated when the pixels are all there
    const int code = static_cast<int>(acc & ((1u << width) - 1));
    acc >>= width, bits -= width;
    if (code == clear) {
      width = minSize + 1, next = end + 1, prev = -1;
      continue;
    }
    if (code == end) break;
    if (code > next || (code == next && prev < 0))
      return fail(damagedText(frameName(n) + "'s image data has a code out of range"));
    std::size_t sp = 0;
    int c = code;
    if (code == next) {
      stack_[sp++] = prevFirst;
      c = prev;
    }
    while (c > end) {
      stack_[sp++] = suffix_[static_cast<std::size_t>(c)];
      c = prefix_[static_cast<std::size_t>(c)];
    }
    const std::uint8_t first = static_cast<std::uint8_t>(c);
    stack_[sp++] = first;
    if (total - out < sp) return fail(damagedText(frameName(n) + "'s image data runs past its pixels"));
    while (sp > 0) indices_[out++] = stack_[--sp];
    // A full table takes no more entries until a clear code.
    if (prev >= 0 && next < kMaxCodes) {
      prefix_[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(prev);
      suffix_[static_cast<std::size_t>(next)] = first;
      if (++next == (1 << width) && width < 12) ++width;
    }
    prev = code, prevFirst = first;
  }
  if (out < total)
    return fail(damagedText(frameName(n) + "'s image data ends after " + std::to_string(out) + " of its " +
                        std::to_string(total) + " pixels"));

  const std::vector<std::uint32_t>& palette = f.localPalette.empty() ? globalPalette_ : f.localPalette;
  for (const std::uint8_t i : indices_)
    if (i >= palette.size() && i != f.transparentIndex)
      return fail(damagedText(frameName(n) + " uses colour " + std::to_string(i) + " of a table of " +
                          std::to_string(palette.size())));
  for (std::int32_t row = 0; row < f.height; ++row) {
    std::int32_t y = row;
    if (f.interlaced) {
      // Rows come in four passes: every 8th from 0, every 8th from 4, every
      // 4th from 2, every 2nd from 1.
      const std::int32_t h = f.height, p1 = (h + 7) / 8, p2 = (h + 3) / 8, p3 = (h + 1) / 4;
      y = row < p1 ? 8 * row : row < p1 + p2 ? 8 * (row - p1) + 4 : row < p1 + p2 + p3 ? 4 * (row - p1 - p2) + 2
                                                                                        : 2 * (row - p1 - p2 - p3) + 1;
    }
    const std::uint8_t* in = indices_.data() + std::size_t(row) * f.width;
    pixels::Bgra* to = canvas_.data() + std::size_t(f.top + y) * width_ + f.left;
    for (std::int32_t x = 0; x < f.width; ++x) {
      if (in[x] == f.transparentIndex) continue;
      const std::uint32_t c = palette[in[x]];
      to[x] = {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16), 255};
    }
  }
  return true;
}

void GifReader::disposeCurrent() {
  const GifFrameInfo& f = frames_[*current_];
  for (std::int32_t y = f.top; y < f.top + f.height; ++y) {
    pixels::Bgra* shown = canvas_.data() + std::size_t(y) * width_ + f.left;
    pixels::Bgra* base = base_.data() + std::size_t(y) * width_ + f.left;
    switch (f.disposal) {
      case GifDisposal::Background:
        std::fill_n(shown, f.width, pixels::Bgra{});
        std::fill_n(base, f.width, pixels::Bgra{});
        break;
      case GifDisposal::Previous: std::copy_n(base, f.width, shown); break;
      default: std::copy_n(shown, f.width, base); break;  // 4 to 7 are undefined: kept, as by most viewers
    }
  }
}

bool GifReader::leavesCanvas() const {
  if (!current_) return false;
  const GifFrameInfo& f = frames_[*current_];
  if (f.disposal != GifDisposal::Background && f.disposal != GifDisposal::Previous) return true;
  const std::vector<pixels::Bgra> clear(static_cast<std::size_t>(f.width));
  for (std::int32_t y = f.top; y < f.top + f.height; ++y) {
    const std::size_t at = std::size_t(y) * width_ + f.left;
    const pixels::Bgra* after = f.disposal == GifDisposal::Background ? clear.data() : base_.data() + at;
    if (!samePixels(canvas_.data() + at, after, clear.size())) return false;
  }
  return true;
}

void GifReader::saveKey(std::size_t n) {
  if (n % keyInterval_ != 0 || keys_[n / keyInterval_]) return;
  const std::size_t bytes = base_.size() * sizeof(pixels::Bgra);
  std::size_t saved = 0;
  for (const auto& k : keys_) saved += k ? bytes : 0;
  if (saved + bytes > kKeyBudget) {
    // Twice as far apart: every other key goes.
    keyInterval_ *= 2;
    for (std::size_t k = 0; k < keys_.size(); ++k) keys_[k] = 2 * k < keys_.size() ? std::move(keys_[2 * k]) : std::nullopt;
    if (n % keyInterval_ != 0) return;
  }
  keys_[n / keyInterval_] = base_;
}

const GifCanvas* GifReader::decode(std::size_t n) {
  if (n >= frames_.size()) {
    fail("the file has no " + frameName(n));
    return nullptr;
  }
  if (current_ && *current_ == n) return &canvas_;
  std::size_t k = n / keyInterval_;
  while (k > 0 && !keys_[k]) --k;
  const std::size_t key = k * keyInterval_;
  if (!current_ || *current_ > n || *current_ < key) {
    base_ = k > 0 ? *keys_[k] : GifCanvas(std::size_t(width_) * height_);
    canvas_ = base_;
    current_ = key;
    if (!drawFrame(key)) {
      current_.reset();
      return nullptr;
    }
  }
  while (*current_ < n) {
    disposeCurrent();
    saveKey(++*current_);
    if (!drawFrame(*current_)) {
      current_.reset();
      return nullptr;
    }
  }
  return &canvas_;
}

std::vector<std::uint8_t> toDib(const GifCanvas& canvas, std::int32_t width, std::int32_t height,
                                std::uint32_t background) {
  const std::uint32_t stride = dibStride(width);
  std::vector<std::uint8_t> dib(std::size_t{stride} * height, 0);
  const pixels::Bgra fill{static_cast<std::uint8_t>(background), static_cast<std::uint8_t>(background >> 8),
                          static_cast<std::uint8_t>(background >> 16), 255};
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* row = dib.data() + std::size_t{stride} * (height - 1 - y);
    for (std::int32_t x = 0; x < width; ++x) {
      const pixels::Bgra& p = canvas[std::size_t(y) * width + x].a ? canvas[std::size_t(y) * width + x] : fill;
      row[3 * x] = p.b, row[3 * x + 1] = p.g, row[3 * x + 2] = p.r;
    }
  }
  return dib;
}

bool readGifFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) {
    error = "the file could not be opened";
    return false;
  }
  if (size > kMaxGifBytes) {
    error = "the file is " + std::to_string(size >> 20) + " MiB; GIF files up to 2048 MiB can be opened";
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    error = "the file could not be read";
    return false;
  }
  return true;
}

}  // namespace ks
