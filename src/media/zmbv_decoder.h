// Decoder for ZMBV movies at the depth ZmbvEncoder writes (32-bit pixels,
// zlib, any block size): one zlib stream runs from a key frame through the
// inter frames after it, so frames must come in order from a key frame.
// Every header field, block vector and inflated size is checked; a damaged
// frame gives an error and leaves the decoder waiting for a key frame.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "media/read_result.h"

namespace ks {

class ZmbvDecoder {
 public:
  // Pictures are width x height, each side 1 to kMaxReadSide.
  ZmbvDecoder(std::int32_t width, std::int32_t height);
  ~ZmbvDecoder();
  ZmbvDecoder(ZmbvDecoder&&) noexcept;
  ZmbvDecoder& operator=(ZmbvDecoder&&) noexcept;

  // Decodes the next chunk. An empty chunk repeats the picture before.
  ReadStatus decode(std::span<const std::uint8_t> chunk);
  // Forgets the pictures: the next frame must be a key frame.
  void reset();

  // The picture last decoded, black before the first: 24-bit rows of
  // dibStride(width) bytes, the bottom row first.
  // Made when asked for, so that decoding on from a key frame to the frame
  // wanted converts only that one.
  const std::vector<std::uint8_t>& picture() const;

 private:
  struct Stream;
  struct Block {
    std::int32_t x, y, w, h, dx, dy;
    bool residue;
  };

  ReadStatus decodeKey(std::span<const std::uint8_t> chunk);
  ReadStatus decodeInter(std::span<const std::uint8_t> chunk);
  ReadStatus inflatePayload(std::span<const std::uint8_t> data, std::size_t& produced);
  ReadStatus applyBlock(const Block& b, const std::uint8_t*& residue, const std::uint8_t* end);
  bool sourceFits(const Block& b) const;
  void writeDib() const;

  std::int32_t width_, height_;
  std::unique_ptr<Stream> zlib_;
  bool haveKey_ = false;
  std::uint8_t blockWidth_ = 0, blockHeight_ = 0;
  std::vector<std::uint8_t> prev_, cur_;  // 32-bit pixels, the top row first
  std::vector<std::uint8_t> payload_;    // what a frame inflates to
  mutable std::vector<std::uint8_t> dib_;
  mutable bool dibStale_ = false;
};

}  // namespace ks
