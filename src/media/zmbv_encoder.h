// Lossless ZMBV (Zip Motion Blocks Video) encoder for screen pictures.
//
// A frame is cut into blocks. A key frame holds every pixel; an inter frame
// holds per block a motion vector into the previous frame and, when the block
// is not an exact copy from there, the XOR of its pixels with that source.
// One zlib stream runs from a key frame to the next, flushed at every frame.
// Frames are stored in the 32-bit format (blue, green, red, 0), top row first.
//
// One encoder per movie; it keeps no global state, so each may run on a
// thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/pixels.h"           // dibStride
#include "media/avi_format.h"     // BitmapInfoHeader, fourCC, makeFrameFormat
#include "media/frame_encoder.h"

namespace ks {

inline constexpr std::uint32_t kZmbvFourCC = fourCC('Z', 'M', 'B', 'V');

// The AVI stream format of a w x h ZMBV movie: the 24-bit picture it decodes
// to, compressed. The stream header takes 'ZMBV' as its handler from it.
constexpr BitmapInfoHeader zmbvFrameFormat(std::int32_t width, std::int32_t height) {
  BitmapInfoHeader h = makeFrameFormat(width, height);
  h.biCompression = kZmbvFourCC;
  return h;
}

struct ZmbvOptions {
  // Frames from one key frame to the next: at most 2 seconds of movie.
  std::uint32_t keyInterval = 60;
  // Measured with encoder_bench --sweep on its three 1080p clips: 16x16
  // blocks make the smallest inter frames of the editor and the scroll (8x8
  // spends more on block vectors and up to a third more time, 32x32 stores
  // more around edits and scroll edges: 6% and 70% more bytes).
  std::uint8_t blockWidth = 16, blockHeight = 16;
  // zlib levels, measured the same way. Key frames are rare: level 6 makes
  // still pages half the size of level 1's for twice the time, level 9 only
  // 3% smaller for three times more. Inter frames of screen content are
  // small payloads: level 6 takes a third to a half off level 1's bytes for
  // under a millisecond, level 9 another 3-5% for up to 3x the time. A
  // payload over 1 MiB gets level 1 to keep the frame's time bounded.
  int keyLevel = 6;
  int interLevel = 6;
  // XOR residue of camera-like pictures is noise that LZ77 matches do not
  // shrink: run-length coding (Z_RLE) makes it 9% smaller than level 1 and
  // twice as fast. An inter frame is coded so when the last one deflated to
  // more than this share of its payload; text and edits stay far below it.
  double noisyShare = 0.4;
};

using ZmbvChunk = EncodedFrame;

class ZmbvEncoder final : public FrameEncoder {
 public:
  // Pictures are w x h; width and height 1 to 32767.
  ZmbvEncoder(std::int32_t width, std::int32_t height, ZmbvOptions options = {});
  ~ZmbvEncoder() override;
  ZmbvEncoder(const ZmbvEncoder&) = delete;
  ZmbvEncoder& operator=(const ZmbvEncoder&) = delete;

  // Encodes the next picture: rows of dibStride(width) bytes, blue, green,
  // red per pixel, the bottom row first (as the grabber delivers it). The
  // chunk stays valid until the next call; it is empty when zlib failed.
  // Every chunk made must reach the movie, in order, for the next inter
  // frame to decode: a caller repeats a refused write until it goes through,
  // and calls restart() after a chunk it could not use.
  ZmbvChunk encode(const std::uint8_t* bits) override;

  // Makes the next picture a key frame, which depends on nothing before it.
  void restart() override { framesToKey_ = 0; }

 private:
  struct Vector {
    std::int8_t dx = 0, dy = 0;
    friend bool operator==(Vector, Vector) = default;
  };
  enum class BlockKind : std::uint8_t { Same, Copied, Residue };
  struct Span {
    std::int32_t first = 0, last = -1;  // differing pixel columns of a row
    bool empty() const { return last < first; }
  };

  const std::uint8_t* curRow(std::int32_t y) const;
  const std::uint8_t* prevRow(std::int32_t y) const;
  bool encodeKey();
  bool encodeInter();
  struct Choice {
    Vector vector;
    bool copied = false;  // the source matches the block whole
  };
  Choice chooseSource(std::size_t b, std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh,
                      std::size_t& searches);
  std::uint8_t* putResidue(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh, Vector v,
                           std::uint8_t* residue) const;
  Vector commonestCopyVector() const;
  void findChangedRows();
  bool blockChanged(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh) const;
  bool matches(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh, Vector v) const;
  std::int32_t samePixels(std::int32_t bx, std::int32_t by, std::int32_t bw, std::int32_t bh, Vector v) const;
  bool deflateInto(int level, int strategy, std::size_t headerBytes);
  // Keeps the picture being encoded as the one the next frame is told from.
  void keepPicture(bool whole);

  std::int32_t width_, height_;
  std::uint32_t stride_;
  ZmbvOptions options_;
  std::int32_t blocksX_, blocksY_;

  struct Stream;
  std::unique_ptr<Stream> zlib_;
  bool zlibReady_ = false;
  int streamLevel_ = -1, streamStrategy_ = 0;
  bool noisy_ = false;  // the last inter frame's residue
  std::uint32_t framesToKey_ = 0;

  const std::uint8_t* cur_ = nullptr;  // the picture being encoded
  std::vector<std::uint8_t> prev_;     // the previous picture, as given
  std::vector<Span> rowSpans_;         // per top-down row, against prev_
  std::vector<Vector> vectors_, prevVectors_;
  std::vector<BlockKind> kinds_, prevKinds_;
  std::vector<Vector> found_;  // vectors the search found in this frame
  Vector lastFrameVector_;     // the commonest copy vector of the last frame
  std::vector<std::uint8_t> payload_;  // what is deflated
  std::vector<std::uint8_t> out_;      // the chunk
  std::size_t outSize_ = 0;
};

}  // namespace ks
