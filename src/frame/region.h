// The capture region: the rectangle inside the inner edges of the four frame
// windows.
#pragma once

#include "base/geometry.h"

namespace ks {

class App;

// The region as the four windows stand now.
RegionTwips regionTwips(App& app);
PixelRect regionPixels(App& app);

}  // namespace ks
