#include "media/zmbv_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/pixels.h"

namespace ks {
namespace {

constexpr std::uint8_t kKeyFlag = 1;
constexpr std::uint8_t kXorFlag = 1;
constexpr std::size_t kKeyHeaderBytes = 7, kInterHeaderBytes = 1;
constexpr std::uint8_t kZlibCompressed = 1;
constexpr std::uint8_t kFormat32Bit = 8;
constexpr int kBitsOfFormat[] = {0, 1, 2, 4, 8, 15, 16, 24, 32};

std::size_t vectorBytes(std::size_t blocks) { return (2 * blocks + 3) & ~std::size_t{3}; }

}  // namespace

struct ZmbvDecoder::Stream {
  z_stream z{};
  bool ready = false;
  ~Stream() {
    if (ready) inflateEnd(&z);
  }
};

ZmbvDecoder::ZmbvDecoder(std::int32_t width, std::int32_t height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), zlib_(std::make_unique<Stream>()) {
  const std::size_t pixels = std::size_t(width_) * std::size_t(height_);
  prev_.assign(4 * pixels, 0);
  cur_.assign(4 * pixels, 0);
  dib_.assign(std::size_t{dibStride(width_)} * std::size_t(height_), 0);
}

ZmbvDecoder::~ZmbvDecoder() = default;
ZmbvDecoder::ZmbvDecoder(ZmbvDecoder&&) noexcept = default;
ZmbvDecoder& ZmbvDecoder::operator=(ZmbvDecoder&&) noexcept = default;

void ZmbvDecoder::reset() {
  haveKey_ = false;
  std::fill(prev_.begin(), prev_.end(), 0);
  std::fill(dib_.begin(), dib_.end(), 0);
  dibStale_ = false;
}

ReadStatus ZmbvDecoder::decode(std::span<const std::uint8_t> chunk) {
  if (chunk.empty()) return kReadOk;
  ReadStatus s = (chunk[0] & kKeyFlag) ? decodeKey(chunk) : decodeInter(chunk);
  if (!s) {
    haveKey_ = false;  // the zlib stream and the picture are no longer known
    return s;
  }
  std::swap(prev_, cur_);
  dibStale_ = true;
  return kReadOk;
}

ReadStatus ZmbvDecoder::decodeKey(std::span<const std::uint8_t> chunk) {
  if (chunk.size() < kKeyHeaderBytes) return damaged("a ZMBV key frame is shorter than its header");
  if (chunk[1] != 0 || chunk[2] != 1)
    return ReadFailure{"ZMBV version " + std::to_string(chunk[1]) + "." + std::to_string(chunk[2]) +
                       " is not one kestrascope reads"};
  if (chunk[3] != kZlibCompressed) return ReadFailure{"ZMBV frames stored without zlib are not ones kestrascope reads"};
  if (chunk[4] != kFormat32Bit) {
    if (chunk[4] >= std::size(kBitsOfFormat) || chunk[4] == 0)
      return damaged("a ZMBV key frame names pixel format " + std::to_string(chunk[4]));
    return ReadFailure{"ZMBV pictures of " + std::to_string(kBitsOfFormat[chunk[4]]) +
                       " bits a pixel are not ones kestrascope reads"};
  }
  if (chunk[5] == 0 || chunk[6] == 0) return damaged("a ZMBV key frame has blocks without pixels");
  blockWidth_ = chunk[5];
  blockHeight_ = chunk[6];
  const std::size_t blocks = std::size_t((width_ + blockWidth_ - 1) / blockWidth_) *
                             std::size_t((height_ + blockHeight_ - 1) / blockHeight_);
  // One byte over the largest frame tells a frame that inflates to too much.
  payload_.resize(vectorBytes(blocks) + cur_.size() + 1);

  z_stream& z = zlib_->z;
  if (!zlib_->ready) {
    if (inflateInit(&z) != Z_OK) return ReadFailure{"zlib could not start (out of memory?)"};
    zlib_->ready = true;
  } else if (inflateReset(&z) != Z_OK) {
    return ReadFailure{"zlib could not start again"};
  }
  std::size_t produced = 0;
  if (ReadStatus s = inflatePayload(chunk.subspan(kKeyHeaderBytes), produced); !s) return s;
  if (produced != cur_.size())
    return damaged("a ZMBV key frame holds " + std::to_string(produced) + " bytes of pixels where " +
                   std::to_string(cur_.size()) + " are needed");
  std::memcpy(cur_.data(), payload_.data(), cur_.size());
  haveKey_ = true;
  return kReadOk;
}

ReadStatus ZmbvDecoder::inflatePayload(std::span<const std::uint8_t> data, std::size_t& produced) {
  z_stream& z = zlib_->z;
  z.next_in = const_cast<Bytef*>(data.data());  // zlib's interface is not const; it only reads
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = payload_.data();
  z.avail_out = static_cast<uInt>(payload_.size());
  const int rc = inflate(&z, Z_SYNC_FLUSH);
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
    return damaged(std::string("a ZMBV frame does not inflate") + (z.msg ? std::string(" (zlib: ") + z.msg + ")" : ""));
  if (z.avail_in != 0) return damaged("a ZMBV frame inflates to more bytes than a picture holds");
  produced = payload_.size() - z.avail_out;
  return kReadOk;
}

// Where a block's source lies: inside the picture for a copy; a block told
// by its difference may hang over the edge, whose pixels count as black.
bool ZmbvDecoder::sourceFits(const Block& b) const {
  const std::int32_t sx = b.x + b.dx, sy = b.y + b.dy;
  if (!b.residue) return sx >= 0 && sy >= 0 && sx + b.w <= width_ && sy + b.h <= height_;
  return sx < width_ && sy < height_ && sx + b.w > 0 && sy + b.h > 0;
}

ReadStatus ZmbvDecoder::applyBlock(const Block& b, const std::uint8_t*& residue, const std::uint8_t* end) {
  if (!sourceFits(b)) return damaged("a ZMBV block vector points outside the picture");
  const std::size_t rowBytes = 4 * std::size_t(b.w);
  if (b.residue && std::size_t(end - residue) < rowBytes * std::size_t(b.h))
    return damaged("a ZMBV inter frame holds fewer bytes than its blocks need");
  const std::int32_t sx = b.x + b.dx;
  const std::int32_t first = std::clamp(-sx, 0, b.w), last = std::clamp(width_ - sx, first, b.w);
  for (std::int32_t i = 0; i < b.h; ++i) {
    std::uint8_t* out = cur_.data() + 4 * (std::size_t(b.y + i) * std::size_t(width_) + std::size_t(b.x));
    const std::int32_t sy = b.y + i + b.dy;
    std::memset(out, 0, rowBytes);
    if (sy >= 0 && sy < height_) {
      const std::uint8_t* src = prev_.data() + 4 * (std::size_t(sy) * std::size_t(width_) + std::size_t(sx + first));
      std::memcpy(out + 4 * first, src, 4 * std::size_t(last - first));
    }
    if (!b.residue) continue;
    for (std::size_t k = 0; k < rowBytes; ++k) out[k] ^= residue[k];
    residue += rowBytes;
  }
  return kReadOk;
}

ReadStatus ZmbvDecoder::decodeInter(std::span<const std::uint8_t> chunk) {
  if (!haveKey_) return damaged("a ZMBV inter frame comes before any key frame");
  std::size_t produced = 0;
  if (ReadStatus s = inflatePayload(chunk.subspan(kInterHeaderBytes), produced); !s) return s;
  const std::int32_t blocksX = (width_ + blockWidth_ - 1) / blockWidth_;
  const std::int32_t blocksY = (height_ + blockHeight_ - 1) / blockHeight_;
  const std::size_t info = vectorBytes(std::size_t(blocksX) * std::size_t(blocksY));
  if (produced < info) return damaged("a ZMBV inter frame holds fewer bytes than its blocks need");
  const std::uint8_t* vectors = payload_.data();
  const std::uint8_t* residue = payload_.data() + info;
  const std::uint8_t* end = payload_.data() + produced;
  for (std::int32_t r = 0; r < blocksY; ++r) {
    for (std::int32_t c = 0; c < blocksX; ++c) {
      const std::uint8_t* v = vectors + 2 * (std::size_t(r) * std::size_t(blocksX) + std::size_t(c));
      Block b;
      b.x = c * blockWidth_;
      b.y = r * blockHeight_;
      b.w = std::min<std::int32_t>(blockWidth_, width_ - b.x);
      b.h = std::min<std::int32_t>(blockHeight_, height_ - b.y);
      // Each vector part is a signed byte, twice the offset; bit 0 of dx flags a difference.
      b.dx = static_cast<std::int8_t>(v[0]) >> 1;
      b.dy = static_cast<std::int8_t>(v[1]) >> 1;
      b.residue = (v[0] & kXorFlag) != 0;
      if (ReadStatus s = applyBlock(b, residue, end); !s) return s;
    }
  }
  if (residue != end) return damaged("a ZMBV inter frame holds more bytes than its blocks need");
  return kReadOk;
}

const std::vector<std::uint8_t>& ZmbvDecoder::picture() const {
  if (dibStale_) writeDib();
  return dib_;
}

void ZmbvDecoder::writeDib() const {
  const std::uint32_t stride = dibStride(width_);
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* in = prev_.data() + 4 * std::size_t(y) * std::size_t(width_);
    std::uint8_t* out = dib_.data() + std::size_t{stride} * std::size_t(height_ - 1 - y);
    for (std::int32_t x = 0; x < width_; ++x, in += 4, out += 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
  }
  dibStale_ = false;
}

}  // namespace ks
