#include "base/click_marks.h"

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

pixels::Bgra colourOf(MouseButton button) {
  switch (button) {
    case MouseButton::Right: return kRightClickColour;
    case MouseButton::Middle: return kMiddleClickColour;
    case MouseButton::Left: break;
  }
  return kLeftClickColour;
}

// Whether `at` lies in the picture of `width` x `height` pixels whose
// top-left is at `origin`, and where: the differences in unsigned 64 bits,
// which hold any non-negative difference of two 64-bit numbers exactly.
bool inPicture(PixelPoint at, PixelPoint origin, std::int32_t width, std::int32_t height,
               PixelPoint& local) {
  if (at.x < origin.x || at.y < origin.y) return false;
  const std::uint64_t x = static_cast<std::uint64_t>(at.x) - static_cast<std::uint64_t>(origin.x);
  const std::uint64_t y = static_cast<std::uint64_t>(at.y) - static_cast<std::uint64_t>(origin.y);
  if (width <= 0 || height <= 0 || x >= static_cast<std::uint64_t>(width) ||
      y >= static_cast<std::uint64_t>(height)) {
    return false;
  }
  local = {static_cast<std::int64_t>(x), static_cast<std::int64_t>(y)};
  return true;
}

}  // namespace

ClickMarks::ClickMarks(int dpi) {
  const double scale = (dpi >= 1 ? dpi : 96) / 96.0;
  radius_ = roundToInt32(16 * scale);
  lineWidth_ = std::max(roundToInt32(3 * scale), 1);
}

void ClickMarks::add(const ButtonEvent& event) {
  if (!std::isfinite(event.time)) return;
  if (event.down) {
    if (rings_.size() >= kMaxRings) rings_.erase(rings_.begin());
    rings_.push_back({event});
    return;
  }
  const auto held = std::find_if(rings_.rbegin(), rings_.rend(), [&](const Ring& ring) {
    return ring.press.button == event.button && !ring.released;
  });
  if (held == rings_.rend()) return;
  held->released = true;
  held->releaseTime = std::max(event.time, held->press.time);
}

double ClickMarks::strength(const Ring& ring, double frameTime) {
  if (!ring.released) return 1;
  const double fullUntil = std::max(ring.firstFrame + kShownSeconds, ring.releaseTime);
  if (frameTime <= fullUntil) return 1;
  const double left = 1 - (frameTime - fullUntil) / kFadeSeconds;
  // Below half a step of 255 the ring draws nothing: it is gone.
  return left < 0.5 / 255 ? 0 : left;
}

void ClickMarks::draw(const pixels::DibView& dib, PixelPoint origin, double frameTime) {
  for (auto it = rings_.begin(); it != rings_.end();) {
    Ring& ring = *it;
    // NaN compares false: such a frame shows nothing and starts no ring.
    if (!(frameTime >= ring.press.time)) {
      ++it;
      continue;
    }
    if (!ring.shown) {
      ring.shown = true;
      ring.firstFrame = frameTime;
    }
    const double s = strength(ring, frameTime);
    if (s <= 0) {
      it = rings_.erase(it);
      continue;
    }
    PixelPoint centre;
    if (inPicture(ring.press.at, origin, dib.width, dib.height, centre)) {
      pixels::drawRing(dib, centre, radius_, lineWidth_, colourOf(ring.press.button), s);
    }
    ++it;
  }
}

}  // namespace ks
