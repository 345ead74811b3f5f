// The screen grabber on GDI: BitBlt from the screen into a DIB section that
// is the capture buffer, then DrawIconEx of the cursor.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/screen_grabber.h"

namespace ks {

struct GdiGrabberOptions {
  // Rows per BitBlt; 0 lets the first grabs of each region size time the
  // candidates and keep the fastest.
  std::int32_t bandRows = 0;
};

class GdiGrabber : public ScreenGrabber {
 public:
  // Rows per BitBlt in use for the current region size; 0 while still timing.
  virtual std::int32_t bandRows() const = 0;
};

std::unique_ptr<ScreenGrabber> makeGdiGrabber();
std::unique_ptr<GdiGrabber> makeGdiGrabber(const GdiGrabberOptions& options);

}  // namespace ks
