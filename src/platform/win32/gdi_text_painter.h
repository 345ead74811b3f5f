// Caption text on Windows: GDI draws it white on black in the user-interface
// font, anti-aliased in grey (not ClearType, whose colour fringes would show
// on the plate), and the grey is the coverage.
#pragma once

#include <memory>

#include "platform/text_painter.h"

namespace ks {

std::unique_ptr<TextPainter> makeGdiTextPainter();

}  // namespace ks
