// Rings drawn into the recorded pictures where mouse buttons were pressed:
// the presses come from the mouse hook, the pictures from the grabber, which
// draws the rings after the screen copy and before the cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "base/pixels.h"

namespace ks {

enum class MouseButton : std::uint8_t { Left, Right, Middle };

// One press or release as the mouse hook saw it: time in seconds on the
// recording's clock (the clock of the frame times), place in screen pixels.
struct ButtonEvent {
  double time = 0;
  PixelPoint at;
  MouseButton button = MouseButton::Left;
  bool down = true;
};

// Each button's ring colour: saturated, mid-bright colours that stand out
// on white and on dark backgrounds alike.
inline constexpr pixels::Bgra kLeftClickColour{0, 176, 255, 255};    // amber
inline constexpr pixels::Bgra kRightClickColour{255, 128, 32, 255};  // blue
inline constexpr pixels::Bgra kMiddleClickColour{64, 200, 0, 255};   // green

// The rings of the presses a recording has seen. A ring shows from the first
// frame grabbed at or after its press, even when press and release both fall
// between two frames. It stays at full strength until kShownSeconds after
// that first frame or until its button is released, whichever is later, then
// fades out linearly over kFadeSeconds and is forgotten. Not thread-safe: the
// grabber's thread adds the events and draws.
class ClickMarks {
 public:
  static constexpr double kShownSeconds = 0.3, kFadeSeconds = 0.4;
  // The most rings held; a further press drops the oldest, so a stream of
  // presses without releases cannot grow without bound.
  static constexpr std::size_t kMaxRings = 64;

  // Radius 16 pixels and line 3 pixels wide at 96 DPI, scaled to `dpi` and
  // rounded (the line at least 1 pixel); a dpi below 1 counts as 96.
  explicit ClickMarks(int dpi = 96);

  // Events come in time order. A press starts a ring; a release ends the
  // latest held press of its button and is ignored when there is none.
  // Events at a time that is not a finite number are ignored.
  void add(const ButtonEvent& event);

  // Draws the rings the frame grabbed at `frameTime` shows into `dib`, whose
  // top-left pixel is at `origin` on the screen; newer rings over older. A
  // press outside the picture draws nothing; a ring near an edge is clipped.
  // Forgets the rings that have faded out.
  void draw(const pixels::DibView& dib, PixelPoint origin, double frameTime);

  // Rings not yet forgotten.
  std::size_t held() const { return rings_.size(); }

 private:
  struct Ring {
    ButtonEvent press;
    bool released = false;
    double releaseTime = 0;
    bool shown = false;
    double firstFrame = 0;  // when shown
  };
  static double strength(const Ring& ring, double frameTime);

  std::int32_t radius_, lineWidth_;
  std::vector<Ring> rings_;
};

}  // namespace ks
