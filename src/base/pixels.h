// Pixel work on 24-bit bottom-up pictures held in plain buffers: what the
// screen grabbers share and what can be checked without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"

namespace ks {

// Bytes per row of a 24-bit picture: rows are padded to whole 32-bit words.
constexpr std::uint32_t dibStride(std::int32_t width) {
  return (3u * static_cast<std::uint32_t>(width) + 3u) & ~3u;
}

}  // namespace ks

namespace ks::pixels {

// Bytes of pixel data of a width x height 24-bit picture; nothing when a
// side is not positive or the picture would not fit a DIB section (2 GiB).
std::optional<std::uint32_t> dibImageSize(std::int32_t width, std::int32_t height);

// Where the cursor image's top-left corner goes in a picture whose top-left
// is at `origin` on the screen: the hotspot lands on the pointer.
constexpr PixelPoint cursorDrawPoint(PixelPoint pointer, PixelPoint hotspot, PixelPoint origin) {
  return {pointer.x - hotspot.x - origin.x, pointer.y - hotspot.y - origin.y};
}

// A 24-bit bottom-up picture being written. Coordinates given to the
// functions below count rows from the top, as on the screen.
struct DibView {
  std::uint8_t* bits = nullptr;
  std::int32_t width = 0, height = 0;
  std::uint32_t stride = 0;
  std::uint8_t* row(std::int64_t y) const {
    return bits + static_cast<std::size_t>(height - 1 - y) * stride;
  }
};

// A screen in memory: top-down rows, blue, green, red and, at 32 bits per
// pixel, one unused byte.
struct ScreenView {
  const std::uint8_t* bits = nullptr;
  std::int32_t width = 0, height = 0;
  std::uint32_t stride = 0;
  int bytesPerPixel = 4;  // 3 or 4
};

// Sets every pixel outside `keep` to black, and the row padding to zero:
// the parts of the picture that a copy of `keep` will not write.
void blackOutside(const DibView& dib, const PixelRect& keep);

// Copies `size` (width and height) pixels from the screen at (srcX, srcY) to
// the picture at (dstX, dstY). Both rectangles lie inside their images.
void copyFromScreen(const DibView& dib, std::int64_t dstX, std::int64_t dstY,
                    const ScreenView& screen, std::int64_t srcX, std::int64_t srcY,
                    std::int64_t width, std::int64_t height);

struct Bgra {
  std::uint8_t b = 0, g = 0, r = 0, a = 0;
};

// A cursor picture: top-down, straight (not premultiplied) alpha.
struct CursorImage {
  std::int32_t width = 0, height = 0;
  std::int32_t hotspotX = 0, hotspotY = 0;
  std::vector<Bgra> pixels;  // width * height
};

// Blends the cursor over the picture with its top-left corner at `at`,
// clipped to the picture; channels round to nearest. Below a `strength` of 1
// each pixel's alpha is scaled by it first (to nearest), so that a picture
// fades as a whole.
void blendCursor(const DibView& dib, const CursorImage& cursor, PixelPoint at, double strength = 1);

// Blends a ring of `colour` over the picture: a circle of `radius` pixels
// around the centre of pixel `centre`, its line `width` pixels wide with
// anti-aliased edges (a pixel's coverage falls off over one pixel with its
// distance from the line). The alpha is colour.a times coverage times
// `strength` (0 to 1); channels round to nearest, as blendCursor's. Only the
// pixels of the ring's box that lie in the picture are read and written,
// wherever the centre is; a negative radius or no width draws nothing.
void drawRing(const DibView& dib, PixelPoint centre, std::int32_t radius, std::int32_t width,
              Bgra colour, double strength);

// Pictures the window system draws: 32 bits a pixel (blue, green, red,
// alpha), top row first, alpha not premultiplied.

// `count` pixels with each colour channel times its alpha (to nearest), the
// alpha kept: premultiplied, as an alpha blend takes them.
void premultiplied(const std::uint8_t* bgra, std::size_t count, std::uint8_t* out);

// `count` pixels laid over the colour `under` (its alpha unused), each
// channel to nearest as blendCursor's, and opaque.
void overColour(const std::uint8_t* bgra, std::size_t count, Bgra under, std::uint8_t* out);

// A width x height picture embossed, the way a disabled control greys its
// text: a pixel that differs from the picture's background (a transparent
// pixel, or the colour of its top-left one) is `shadow`; one that does not,
// below and to the right of one that does, `light`; the rest `face`. Opaque.
void embossed(const std::uint8_t* bgra, std::int32_t width, std::int32_t height, Bgra face, Bgra shadow, Bgra light,
              std::uint8_t* out);

// A width x height 24-bit bottom-up picture as outWidth x outHeight 32-bit
// pixels (blue, green, red, 255), the top row first, into `bgra`: each pixel
// the mean of the pixels it covers, so that a 1080p frame shown small stays
// readable; a picture made larger repeats its pixels.
void scaledToBgra(const std::uint8_t* dib, std::int32_t width, std::int32_t height, std::int32_t outWidth,
                  std::int32_t outHeight, std::uint8_t* bgra);

}  // namespace ks::pixels
