#include "base/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ks {

namespace {

template <class Int>
Int roundTo(double value) {
  constexpr double lo = std::numeric_limits<Int>::min();
  constexpr double hi = std::numeric_limits<Int>::max();
  if (std::isnan(value)) return 0;
  const double r = std::nearbyint(value);
  if (r <= lo) return std::numeric_limits<Int>::min();
  if (r >= hi) return std::numeric_limits<Int>::max();
  return static_cast<Int>(r);
}

}  // namespace

std::int32_t roundToInt32(double value) { return roundTo<std::int32_t>(value); }
std::int16_t roundToInt16(double value) { return roundTo<std::int16_t>(value); }

PixelRect intersect(const PixelRect& a, const PixelRect& b) {
  const std::int32_t left = std::max(a.x, b.x);
  const std::int32_t top = std::max(a.y, b.y);
  const std::int64_t right = std::min(a.right(), b.right());
  const std::int64_t bottom = std::min(a.bottom(), b.bottom());
  if (right <= left || bottom <= top) return {left, top, 0, 0};
  return {left, top, static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top)};
}

PixelRect onScreenPart(const PixelRect& region, const PixelRect& screen) {
  PixelRect part = intersect(region, screen);
  part.x = static_cast<std::int32_t>(std::int64_t{part.x} - region.x);
  part.y = static_cast<std::int32_t>(std::int64_t{part.y} - region.y);
  return part;
}

PixelRect regionPixels(const RegionTwips& r, double px, double py) {
  PixelRect p;
  p.x = roundToInt32(r.left / px);
  p.y = roundToInt32(r.top / py);
  p.width = roundToInt32(r.right / px - p.x);
  p.height = roundToInt32(r.bottom / py - p.y);
  return p;
}

}  // namespace ks
