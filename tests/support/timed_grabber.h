// A grabber over the in-memory screen that paints the time (in milliseconds
// since the fake clock's origin) into the screen before each grab, and makes
// each grab cost time: the recorded frames tell when they were grabbed.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/headless/fake_clock.h"
#include "platform/headless/headless_screen.h"
#include "platform/screen_grabber.h"

namespace ks::test {

class TimedGrabber final : public ScreenGrabber {
 public:
  TimedGrabber(HeadlessScreen& screen, FakeClock& clock)
      : screen_(screen), clock_(clock), inner_(makeHeadlessGrabber(screen)) {}
  bool grabRect(std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y) override {
    ++grabs;
    if (failFrom > 0 && grabs >= failFrom && (failTo == 0 || grabs <= failTo)) return false;
    const auto ms = static_cast<std::uint32_t>(std::lround((clock_.now() - 1000.0) * 1000));
    screen_.fill(Rgb{static_cast<std::uint8_t>(ms >> 16), static_cast<std::uint8_t>(ms >> 8),
                     static_cast<std::uint8_t>(ms)});
    if (widthStep > 0) w -= w % widthStep;
    const bool ok = inner_->grabRect(w, h, x, y);
    clock_.advance(cost);
    if (timePassed) timePassed();
    return ok;
  }
  CapturedPicture picture() const override { return inner_->picture(); }
  void freeCapture() override { inner_->freeCapture(); }
  int buffersHeld() const override { return inner_->buffersHeld(); }
  void setMarks(bool cursor, Overlay overlay) override { inner_->setMarks(cursor, std::move(overlay)); }

  double cost = 0;
  int grabs = 0;
  std::function<void()> timePassed;
  int failFrom = 0;  // the grab from which grabs fail; 0 never
  int failTo = 0;    // the last grab that fails; 0 every one from failFrom
  // Pictures are as wide as the region rounded down to this many pixels
  // (as some capture methods round); 0 exactly as wide.
  std::int32_t widthStep = 0;

 private:
  HeadlessScreen& screen_;
  FakeClock& clock_;
  std::unique_ptr<ScreenGrabber> inner_;
};

// The time painted into frame k of a movie, in milliseconds after the
// clock's origin.
inline std::uint32_t paintedTime(const std::uint8_t* firstPixel) {
  return (std::uint32_t{firstPixel[2]} << 16) | (std::uint32_t{firstPixel[1]} << 8) | firstPixel[0];
}

}  // namespace ks::test
