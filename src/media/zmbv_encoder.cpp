#include "media/zmbv_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace ks {
namespace {

constexpr std::uint8_t kKeyFlag = 1;
constexpr std::uint8_t kVersionMajor = 0, kVersionMinor = 1;
constexpr std::uint8_t kZlibCompressed = 1;
constexpr std::uint8_t kFormat32Bit = 8;
constexpr std::size_t kKeyHeaderBytes = 7, kInterHeaderBytes = 1;
constexpr std::uint8_t kXorFlag = 1;
// Vectors as the format's description bounds them; the search tries the
// lines through the block (scrolling and sideways moves), not the square.
constexpr int kSearchRange = 16;
constexpr std::size_t kFoundVectors = 4;
// Past this many bytes an inter frame is deflated at level 1.
constexpr std::size_t kLargeInter = std::size_t{1} << 20;

std::uint64_t load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// The first and last differing byte of two rows known to differ.
std::size_t firstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::size_t i = 0;
  while (i + 8 <= n && load64(a + i) == load64(b + i)) i += 8;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

std::size_t lastDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::size_t i = n;
  while (i >= 8 && load64(a + i - 8) == load64(b + i - 8)) i -= 8;
  while (i > 0 && a[i - 1] == b[i - 1]) --i;
  return i - 1;
}

// 24-bit pixels to the stored 32-bit ones, XORed with `src` where it is given.
// The last pixel is read byte by byte: a 4-byte load there could leave the
// picture.
void toStored(const std::uint8_t* c, std::int32_t n, std::uint8_t* out) {
  std::int32_t x = 0;
  for (; x + 1 < n; ++x) store32(out + 4 * x, load32(c + 3 * x) & 0x00FFFFFFu);
  for (; x < n; ++x) {
    out[4 * x] = c[3 * x], out[4 * x + 1] = c[3 * x + 1], out[4 * x + 2] = c[3 * x + 2];
    out[4 * x + 3] = 0;
  }
}

void xorStored(const std::uint8_t* c, const std::uint8_t* p, std::int32_t n, std::uint8_t* out) {
  std::int32_t x = 0;
  for (; x + 1 < n; ++x) store32(out + 4 * x, (load32(c + 3 * x) ^ load32(p + 3 * x)) & 0x00FFFFFFu);
  for (; x < n; ++x) {
    out[4 * x] = c[3 * x] ^ p[3 * x];
    out[4 * x + 1] = c[3 * x + 1] ^ p[3 * x + 1];
    out[4 * x + 2] = c[3 * x + 2] ^ p[3 * x + 2];
    out[4 * x + 3] = 0;
  }
}

}  // namespace

struct ZmbvEncoder::Stream {
  z_stream z{};
};

ZmbvEncoder::ZmbvEncoder(std::int32_t width, std::int32_t height, ZmbvOptions options)
    : width_(std::clamp<std::int32_t>(width, 1, 32767)),
      height_(std::clamp<std::int32_t>(height, 1, 32767)),
      stride_(dibStride(width_)),
      options_(options),
      zlib_(std::make_unique<Stream>()) {
  options_.blockWidth = std::max<std::uint8_t>(options_.blockWidth, 1);
  options_.blockHeight = std::max<std::uint8_t>(options_.blockHeight, 1);
  options_.keyInterval = std::max<std::uint32_t>(options_.keyInterval, 1);
  blocksX_ = (width_ + options_.blockWidth - 1) / options_.blockWidth;
  blocksY_ = (height_ + options_.blockHeight - 1) / options_.blockHeight;
  const std::size_t blocks = std::size_t(blocksX_) * blocksY_;
  const std::size_t pixels = std::size_t(width_) * height_;
  prev_.assign(std::size_t{stride_} * height_, 0);
  rowSpans_.resize(static_cast<std::size_t>(height_));
  vectors_.resize(blocks);
  prevVectors_.resize(blocks);
  kinds_.resize(blocks);
  prevKinds_.resize(blocks);
  payload_.resize(((2 * blocks + 3) & ~std::size_t{3}) + 4 * pixels);
  zlibReady_ = deflateInit(&zlib_->z, options_.keyLevel) == Z_OK;
  streamLevel_ = options_.keyLevel;
  if (zlibReady_) {
    out_.resize(kKeyHeaderBytes + deflateBound(&zlib_->z, static_cast<uLong>(payload_.size())) + 64);
  }
}

ZmbvEncoder::~ZmbvEncoder() {
  if (zlibReady_) deflateEnd(&zlib_->z);
}

const std::uint8_t* ZmbvEncoder::curRow(std::int32_t y) const {
  return cur_ + std::size_t{stride_} * static_cast<std::uint32_t>(height_ - 1 - y);
}

const std::uint8_t* ZmbvEncoder::prevRow(std::int32_t y) const {
  return prev_.data() + std::size_t{stride_} * static_cast<std::uint32_t>(height_ - 1 - y);
}

ZmbvChunk ZmbvEncoder::encode(const std::uint8_t* bits) {
  if (!zlibReady_ || bits == nullptr) return {};
  cur_ = bits;
  const bool key = framesToKey_ == 0;
  const bool ok = key ? encodeKey() : encodeInter();
  cur_ = nullptr;
  if (!ok) {
    framesToKey_ = 0;
    return {};
  }
  framesToKey_ = key ? options_.keyInterval - 1 : framesToKey_ - 1;
  return ZmbvChunk{std::span<const std::uint8_t>(out_.data(), outSize_), key};
}

bool ZmbvEncoder::deflateInto(int level, int strategy, std::size_t headerBytes) {
  z_stream& z = zlib_->z;
  z.next_out = out_.data() + headerBytes;
  z.avail_out = static_cast<uInt>(out_.size() - headerBytes);
  if (level != streamLevel_ || strategy != streamStrategy_) {
    // The last frame was flushed: the new settings start a new deflate block.
    if (deflateParams(&z, level, strategy) != Z_OK) return false;
    streamLevel_ = level;
    streamStrategy_ = strategy;
  }
  for (;;) {
    const int rc = deflate(&z, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    if (z.avail_out != 0) break;
    // Incompressible data can outgrow the bound by the flush markers.
    const std::size_t used = out_.size();
    out_.resize(used + used / 2 + 1024);
    z.next_out = out_.data() + used;
    z.avail_out = static_cast<uInt>(out_.size() - used);
  }
  if (z.avail_in != 0) return false;
  outSize_ = static_cast<std::size_t>(z.next_out - out_.data());
  return true;
}

bool ZmbvEncoder::encodeKey() {
  if (deflateReset(&zlib_->z) != Z_OK) return false;
  std::uint8_t* out = payload_.data();
  const std::size_t rowBytes = 4 * std::size_t(width_);
  for (std::int32_t y = 0; y < height_; ++y) toStored(curRow(y), width_, out + rowBytes * y);
  out_[0] = kKeyFlag;
  out_[1] = kVersionMajor;
  out_[2] = kVersionMinor;
  out_[3] = kZlibCompressed;
  out_[4] = kFormat32Bit;
  out_[5] = options_.blockWidth;
  out_[6] = options_.blockHeight;
  zlib_->z.next_in = payload_.data();
  zlib_->z.avail_in = static_cast<uInt>(rowBytes * height_);
  if (!deflateInto(options_.keyLevel, Z_DEFAULT_STRATEGY, kKeyHeaderBytes)) return false;
  keepPicture(true);
  std::fill(prevVectors_.begin(), prevVectors_.end(), Vector{});
  std::fill(prevKinds_.begin(), prevKinds_.end(), BlockKind::Same);
  lastFrameVector_ = Vector{};
  noisy_ = false;
  return true;
}

void ZmbvEncoder::findChangedRows() {
  const std::size_t n = 3 * std::size_t(width_);
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* c = curRow(y);
    const std::uint8_t* p = prevRow(y);
    Span& s = rowSpans_[static_cast<std::size_t>(y)];
    if (std::memcmp(c, p, n) == 0) {
      s = Span{};
      continue;
    }
    s.first = static_cast<std::int32_t>(firstDifference(c, p, n) / 3);
    s.last = static_cast<std::int32_t>(lastDifference(c, p, n) / 3);
  }
}

bool ZmbvEncoder::blockChanged(std::int32_t bx, std::int32_t by, std::int32_t bw,
                               std::int32_t bh) const {
  for (std::int32_t y = by; y < by + bh; ++y) {
    const Span s = rowSpans_[static_cast<std::size_t>(y)];
    if (s.empty() || s.last < bx || s.first >= bx + bw) continue;
    if (std::memcmp(curRow(y) + 3 * bx, prevRow(y) + 3 * bx, 3 * std::size_t(bw)) != 0) return true;
  }
  return false;
}

bool ZmbvEncoder::matches(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh,
                          Vector v) const {
  const std::int32_t sx = bx + v.dx, sy = by + v.dy;
  if (sx < 0 || sy < 0 || sx + bw > width_ || sy + bh > height_) return false;
  for (std::int32_t i = 0; i < bh; ++i)
    if (std::memcmp(curRow(by + i) + 3 * bx, prevRow(sy + i) + 3 * sx, 3 * std::size_t(bw)) != 0) return false;
  return true;
}

// Pixels of the block equal to their source; sources off the picture count
// as different.
std::int32_t ZmbvEncoder::samePixels(std::int32_t bx, std::int32_t by, std::int32_t bw,
                                     std::int32_t bh, Vector v) const {
  const std::int32_t sx = bx + v.dx;
  const std::int32_t x0 = std::max(0, -sx), x1 = std::min(bw, width_ - sx);
  std::int32_t same = 0;
  if (x1 <= x0) return same;
  for (std::int32_t i = 0; i < bh; ++i) {
    const std::int32_t sy = by + i + v.dy;
    if (sy < 0 || sy >= height_) continue;
    const std::uint8_t* c = curRow(by + i) + 3 * (bx + x0);
    const std::uint8_t* p = prevRow(sy) + 3 * (sx + x0);
    for (std::int32_t x = 0; x < x1 - x0; ++x)
      same += c[3 * x] == p[3 * x] && c[3 * x + 1] == p[3 * x + 1] && c[3 * x + 2] == p[3 * x + 2];
  }
  return same;
}

// The source a changed block is told from: a copy vector that matches it
// whole (tried among the neighbours', last frame's and this frame's found
// vectors, then searched for while `searches` last), else the candidate that
// leaves the most zero pixels to XOR.
ZmbvEncoder::Choice ZmbvEncoder::chooseSource(std::size_t b, std::int32_t bx, std::int32_t by, std::int32_t bw,
                                              std::int32_t bh, std::size_t& searches) {
  const std::int32_t c = bx / options_.blockWidth, r = by / options_.blockHeight;
  // Vectors that moved neighbouring content, or this block last frame.
  std::array<Vector, 8> tries{};
  std::size_t n = 0;
  auto offer = [&](Vector v) {
    if (v == Vector{}) return;
    for (std::size_t i = 0; i < n; ++i)
      if (tries[i] == v) return;
    if (n < tries.size()) tries[n++] = v;
  };
  if (c > 0) offer(vectors_[b - 1]);
  if (r > 0) offer(vectors_[b - blocksX_]);
  offer(prevVectors_[b]);
  for (const Vector v : found_) offer(v);
  offer(lastFrameVector_);
  for (std::size_t i = 0; i < n; ++i)
    if (matches(bx, by, bw, bh, tries[i])) return {tries[i], true};
  if (searches > 0 && prevKinds_[b] != BlockKind::Residue) {
    --searches;
    for (int d = 1; d <= kSearchRange; ++d) {
      const Vector line[4] = {{0, static_cast<std::int8_t>(d)}, {0, static_cast<std::int8_t>(-d)},
                              {static_cast<std::int8_t>(d), 0}, {static_cast<std::int8_t>(-d), 0}};
      for (const Vector v : line)
        if (matches(bx, by, bw, bh, v)) {
          if (found_.size() == kFoundVectors) found_.erase(found_.begin());
          found_.push_back(v);
          return {v, true};
        }
    }
  }
  Vector chosen{};
  if (n > 0) {
    std::int32_t best = samePixels(bx, by, bw, bh, Vector{});
    for (std::size_t i = 0; i < n && i < 3; ++i) {
      const std::int32_t same = samePixels(bx, by, bw, bh, tries[i]);
      if (same > best) best = same, chosen = tries[i];
    }
  }
  return {chosen, false};
}

// The block's pixels XORed with their source, stored row by row; pixels
// whose source lies off the picture are stored as they are.
std::uint8_t* ZmbvEncoder::putResidue(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh, Vector v,
                                      std::uint8_t* residue) const {
  const std::int32_t sx = bx + v.dx;
  const std::int32_t a = std::clamp(-sx, 0, bw), e = std::clamp(width_ - sx, a, bw);
  for (std::int32_t i = 0; i < bh; ++i) {
    const std::uint8_t* cur = curRow(by + i) + 3 * bx;
    std::uint8_t* out = residue + 4 * std::size_t(bw) * i;
    const std::int32_t sy = by + i + v.dy;
    if (sy < 0 || sy >= height_) {
      toStored(cur, bw, out);
      continue;
    }
    toStored(cur, a, out);
    xorStored(cur + 3 * a, prevRow(sy) + 3 * (sx + a), e - a, out + 4 * a);
    toStored(cur + 3 * e, bw - e, out + 4 * e);
  }
  return residue + 4 * std::size_t(bw) * bh;
}

// The commonest copy vector of this frame, which carries a scroll over to
// the next one (among the first eight distinct vectors).
ZmbvEncoder::Vector ZmbvEncoder::commonestCopyVector() const {
  std::array<std::pair<Vector, int>, 8> counts{};
  std::size_t distinct = 0;
  for (std::size_t b = 0; b < vectors_.size(); ++b) {
    if (kinds_[b] != BlockKind::Copied) continue;
    std::size_t i = 0;
    while (i < distinct && counts[i].first != vectors_[b]) ++i;
    if (i == distinct) {
      if (distinct == counts.size()) continue;
      counts[distinct++] = {vectors_[b], 0};
    }
    ++counts[i].second;
  }
  Vector commonest{};
  int most = 0;
  for (std::size_t i = 0; i < distinct; ++i)
    if (counts[i].second > most) most = counts[i].second, commonest = counts[i].first;
  return commonest;
}

bool ZmbvEncoder::encodeInter() {
  findChangedRows();
  const std::int32_t bwFull = options_.blockWidth, bhFull = options_.blockHeight;
  const std::size_t blocks = vectors_.size();
  const std::size_t infoBytes = (2 * blocks + 3) & ~std::size_t{3};
  std::uint8_t* info = payload_.data();
  std::memset(info, 0, infoBytes);
  std::uint8_t* residue = payload_.data() + infoBytes;
  found_.clear();
  std::size_t searches = std::max<std::size_t>(16, blocks / 16);

  for (std::int32_t r = 0; r < blocksY_; ++r) {
    const std::int32_t by = r * bhFull, bh = std::min(bhFull, height_ - by);
    bool bandChanged = false;
    for (std::int32_t y = by; y < by + bh && !bandChanged; ++y) bandChanged = !rowSpans_[static_cast<std::size_t>(y)].empty();
    for (std::int32_t c = 0; c < blocksX_; ++c) {
      const std::size_t b = std::size_t(r) * blocksX_ + c;
      const std::int32_t bx = c * bwFull, bw = std::min(bwFull, width_ - bx);
      if (!bandChanged || !blockChanged(bx, by, bw, bh)) {
        vectors_[b] = Vector{};
        kinds_[b] = BlockKind::Same;
        continue;
      }
      const Choice source = chooseSource(b, bx, by, bw, bh, searches);
      vectors_[b] = source.vector;
      kinds_[b] = source.copied ? BlockKind::Copied : BlockKind::Residue;
      info[2 * b] = static_cast<std::uint8_t>((source.vector.dx * 2) | (source.copied ? 0 : kXorFlag));
      info[2 * b + 1] = static_cast<std::uint8_t>(source.vector.dy * 2);
      if (!source.copied) residue = putResidue(bx, by, bw, bh, source.vector, residue);
    }
  }
  lastFrameVector_ = commonestCopyVector();

  out_[0] = 0;
  const std::size_t payloadBytes = static_cast<std::size_t>(residue - payload_.data());
  zlib_->z.next_in = payload_.data();
  zlib_->z.avail_in = static_cast<uInt>(payloadBytes);
  const bool ok = noisy_ ? deflateInto(options_.interLevel, Z_RLE, kInterHeaderBytes)
                         : deflateInto(payloadBytes > kLargeInter ? 1 : options_.interLevel,
                                       Z_DEFAULT_STRATEGY, kInterHeaderBytes);
  if (!ok) return false;
  noisy_ = double(outSize_ - kInterHeaderBytes) > options_.noisyShare * double(payloadBytes);
  keepPicture(false);
  std::swap(vectors_, prevVectors_);
  std::swap(kinds_, prevKinds_);
  return true;
}

void ZmbvEncoder::keepPicture(bool whole) {
  if (whole) {
    std::memcpy(prev_.data(), cur_, prev_.size());
    return;
  }
  for (std::int32_t y = 0; y < height_; ++y) {
    if (rowSpans_[static_cast<std::size_t>(y)].empty()) continue;
    const std::size_t at = std::size_t{stride_} * static_cast<std::uint32_t>(height_ - 1 - y);
    std::memcpy(prev_.data() + at, cur_ + at, 3 * std::size_t(width_));
  }
}

}  // namespace ks
