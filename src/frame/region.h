// The capture region: the rectangle inside the inner edges of the four frame
// windows.
#pragma once

#include <cstdint>

namespace ks {

class App;

// Region edges in twips, screen coordinates.
struct RegionTwips {
  double left = 0, top = 0, right = 0, bottom = 0;
};

struct PixelRect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Pixel rectangle of a region: position rounded first, then the size from
// the rounded position, so an edge never drifts by the rounding of another.
PixelRect regionPixels(const RegionTwips& region, double twipsPerPixelX, double twipsPerPixelY);

// The region as the four windows stand now.
RegionTwips regionTwips(App& app);
PixelRect regionPixels(App& app);

}  // namespace ks
