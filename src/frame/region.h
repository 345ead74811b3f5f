// The capture region: the rectangle inside the inner edges of the four frame
// windows.
#pragma once

#include "base/geometry.h"

namespace ks {

class App;

// The region as the four windows stand now.
RegionTwips regionTwips(App& app);
PixelRect regionPixels(App& app);

// Makes the region exactly width x height pixels at any density, frmtop's
// Left and Top unchanged, laid out as the corner grip lays it out.
void setRegionPixels(App& app, std::int32_t width, std::int32_t height);
// Whether the frame would still lie on the screen part it is on with a
// region of that size.
bool regionPixelsFit(App& app, std::int32_t width, std::int32_t height);

}  // namespace ks
