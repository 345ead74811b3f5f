// The screen grabber on GDI: BitBlt from the screen into a DIB section,
// then DrawIconEx of the cursor. Each grab copies into a spare buffer that
// becomes the picture once it is whole.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/screen_grabber.h"
#include "platform/win32/win32_native.h"

namespace ks {

struct GdiGrabberOptions {
  // Rows per BitBlt; 0 lets the first grabs of each region size time the
  // candidates and keep the fastest.
  std::int32_t bandRows = 0;
  // The copy of each band from the screen; a failure here is what a grab
  // meets when the screen cannot be read part-way (a secure desktop).
  using Blit = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, DWORD);
  Blit blit = &BitBlt;
};

class GdiGrabber : public ScreenGrabber {
 public:
  // Rows per BitBlt in use for the current region size; 0 while still timing.
  virtual std::int32_t bandRows() const = 0;
};

std::unique_ptr<ScreenGrabber> makeGdiGrabber();
std::unique_ptr<GdiGrabber> makeGdiGrabber(const GdiGrabberOptions& options);

}  // namespace ks
