// The program's pictures, drawn in code: the sources are the functions
// themselves, so changing a picture is an ordinary code change.
#pragma once

#include "platform/controls.h"

namespace ks::pictures {

// 16 x 16: a yellow question mark on light grey, for the About button.
Picture questionMark();
// 2 x 29: a black vertical line, the bar's left edge.
Picture barLeftEdge();
// 8 x 2: black, stretched along the bar's bottom edge.
Picture barBottomEdge();
// 27 x 30: the corner grip: red, black bottom and right edges two pixels
// wide, three nested white right angles pointing to the lower right corner.
Picture cornerGrip();
// 550 x 192: the About box's background.
Picture aboutBackground();

}  // namespace ks::pictures
