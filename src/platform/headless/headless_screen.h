// An in-memory screen that tests paint, with a pointer and a cursor, and the
// grabber that reads it exactly as the GDI one reads the real screen.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/pixels.h"
#include "platform/screen_grabber.h"
#include "platform/window_system.h"

namespace ks {

struct HeadlessScreenDesign {
  // The virtual screen's top-left corner: negative with a monitor on the
  // left of or above the primary one.
  std::int32_t left = 0, top = 0;
  std::int32_t width = 1024, height = 768;
  int bitsPerPixel = 32;  // 32 (B, G, R, unused) or 24
};

class HeadlessScreen {
 public:
  explicit HeadlessScreen(HeadlessScreenDesign design = {});

  std::int32_t left() const { return design_.left; }
  std::int32_t top() const { return design_.top; }
  std::int32_t width() const { return design_.width; }
  std::int32_t height() const { return design_.height; }

  // Painting, in screen coordinates; what falls off the screen is dropped.
  void fill(Rgb colour);
  void fillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, Rgb colour);
  void setPixel(std::int32_t x, std::int32_t y, Rgb colour);
  Rgb pixel(std::int32_t x, std::int32_t y) const;

  void setPointer(std::int32_t x, std::int32_t y) { pointer_ = {x, y}; }
  PixelPoint pointer() const { return pointer_; }
  // The cursor the pointer shows; an empty image draws nothing.
  void setCursor(pixels::CursorImage cursor) { cursor_ = std::move(cursor); }
  const pixels::CursorImage& cursor() const { return cursor_; }
  void setCursorVisible(bool visible) { cursorVisible_ = visible; }
  bool cursorVisible() const { return cursorVisible_; }

  pixels::ScreenView view() const;

 private:
  HeadlessScreenDesign design_;
  std::uint32_t stride_;
  std::vector<std::uint8_t> bits_;
  PixelPoint pointer_;
  pixels::CursorImage cursor_;
  bool cursorVisible_ = true;
};

// The grabber reads `screen` at every grab; the screen must outlive it.
std::unique_ptr<ScreenGrabber> makeHeadlessGrabber(HeadlessScreen& screen);

}  // namespace ks
