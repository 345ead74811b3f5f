// The screen grabber: one rectangle of the screen, with the mouse cursor drawn
// in, as the 24-bit bottom-up picture that the movie writer stores as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "base/geometry.h"
#include "base/pixels.h"

namespace ks {

// The capture buffer as the writer reads it: rows of `stride` bytes, blue,
// green, red per pixel, the first row in memory is the picture's bottom row,
// padding bytes zero. Valid until the next grab or freeCapture().
struct CapturedPicture {
  std::int32_t width = 0, height = 0;
  std::uint32_t stride = 0;
  const std::uint8_t* bits = nullptr;
};

class ScreenGrabber {
 public:
  virtual ~ScreenGrabber() = default;

  // Grabs w x h pixels whose top-left corner is at (x, y) in screen pixels
  // (negative on a monitor left of or above the primary one), with the
  // cursor drawn with its hotspot at the pointer. Parts outside the screen
  // are black. False leaves the previous picture as it was.
  [[nodiscard]] virtual bool grabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) = 0;
  // Gets ready to grab this rectangle again and again at full speed: a
  // grabber that measures how best to copy a region does it here, so the
  // measuring does not slow a recording's first frames. The buffer then
  // holds a picture of the rectangle when the grabs succeeded.
  virtual void prepare(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) {
    (void)w, (void)h, (void)x, (void)y;
  }
  // Empty when no buffer is held.
  virtual CapturedPicture picture() const = 0;
  virtual void freeCapture() = 0;
  // Capture buffers held: none before a grab and after freeCapture(); they
  // are kept, and reused, while the region keeps its size.
  virtual int buffersHeld() const = 0;

  // Draws into a grabbed picture after the screen copy and before the
  // cursor; `origin` is the screen position of the picture's top-left pixel.
  using Overlay = std::function<void(const pixels::DibView& dib, PixelPoint origin)>;
  // What the next grabs draw besides the screen: the cursor or not, and an
  // overlay or none. Until changed, grabs draw the cursor and no overlay.
  virtual void setMarks(bool cursor, Overlay overlay) {
    cursor_ = cursor;
    overlay_ = std::move(overlay);
  }

 protected:
  bool drawsCursor() const { return cursor_; }
  bool hasOverlay() const { return static_cast<bool>(overlay_); }
  void drawOverlay(const pixels::DibView& dib, PixelPoint origin) const {
    if (overlay_) overlay_(dib, origin);
  }

 private:
  bool cursor_ = true;
  Overlay overlay_;
};

}  // namespace ks
