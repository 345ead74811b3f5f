// Pictures as H.264 encoders take them: planar 4:2:0 YCbCr (I420) with the
// BT.709 matrix at limited range (Y 16-235, Cb and Cr 16-240), which is
// what a movie tagged BT.709 tells its players to undo.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ks::pixels {

// The size of the I420 picture for a width x height one: each side padded
// to even (4:2:0 needs it), and the bytes of its three planes.
struct Yuv420Size {
  std::int32_t width = 0, height = 0;
  std::size_t bytes() const {
    const auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    return w * h + 2 * (w / 2) * (h / 2);
  }
};
constexpr Yuv420Size yuv420Size(std::int32_t width, std::int32_t height) {
  return {(width + 1) & ~1, (height + 1) & ~1};
}

// Converts a 24-bit bottom-up picture (rows of dibStride(width) bytes,
// blue, green, red) into `out`, yuv420Size(width, height).bytes() long: the
// Y plane top row first, then Cb, then Cr. Each chroma sample is the mean of
// its 2 x 2 pixels; an odd last column or row repeats into the padding, so
// no pixel is lost and none is made up.
void toYuv420(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::uint8_t* out);
// The same, with the processor's vector instructions where it has them, or
// (`vectors` false) the plain code, which must give the same bytes.
void toYuv420(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::uint8_t* out, bool vectors);

}  // namespace ks::pixels
