// What turns a grabbed picture into the bytes of one movie frame, on the
// movie's encoder thread. One encoder per movie; it may keep the pictures
// before, so chunks must reach the file in the order they were made.
#pragma once

#include <cstdint>
#include <span>

namespace ks {

struct EncodedFrame {
  std::span<const std::uint8_t> bytes;  // empty when the frame could not be made, or unchanged
  bool keyFrame = false;
  // The picture adds nothing to the frame before, which lasts longer: for a
  // format that stores time per frame. `bytes` is then empty.
  bool unchanged = false;
};

class FrameEncoder {
 public:
  virtual ~FrameEncoder() = default;
  // Encodes the next picture: rows of dibStride(width) bytes, blue, green,
  // red per pixel, the bottom row first, as the grabber delivers it. The
  // bytes stay valid until the next call. May throw std::bad_alloc.
  virtual EncodedFrame encode(const std::uint8_t* bits) = 0;
  // Makes the next picture a key frame, which depends on nothing before: for
  // a caller that lost a frame (one that could not be made).
  virtual void restart() = 0;
};

}  // namespace ks
