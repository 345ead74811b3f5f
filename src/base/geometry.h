// Pixel rectangles, the capture region's twips-to-pixels rule, and the
// rounding every twips conversion uses.
#pragma once

#include <cstdint>

namespace ks {

// Nearest integer, ties to even, saturated to the type's range; NaN gives 0.
std::int32_t roundToInt32(double value);
std::int16_t roundToInt16(double value);

// A rectangle of pixels. Edges are computed in 64 bits, so a rectangle far
// off the screen cannot overflow the arithmetic.
struct PixelRect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  std::int64_t right() const { return std::int64_t{x} + width; }
  std::int64_t bottom() const { return std::int64_t{y} + height; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelPoint {
  std::int64_t x = 0, y = 0;
};

// The common part of two rectangles; empty (zero size) when they do not meet.
PixelRect intersect(const PixelRect& a, const PixelRect& b);

// The part of `region` (screen coordinates) that lies on `screen`, relative
// to the region's top-left corner: what a copy from the screen can fill.
PixelRect onScreenPart(const PixelRect& region, const PixelRect& screen);

// Region edges in twips, screen coordinates.
struct RegionTwips {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// Pixel rectangle of a region: position rounded first, then the size from
// the rounded position, so an edge never drifts by the rounding of another.
PixelRect regionPixels(const RegionTwips& region, double twipsPerPixelX, double twipsPerPixelY);

}  // namespace ks
