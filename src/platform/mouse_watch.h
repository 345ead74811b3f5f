// Presses and releases of the mouse buttons anywhere on the screen, as a
// recording that marks clicks needs them.
#pragma once

#include <functional>

#include "base/click_marks.h"
#include "base/geometry.h"

namespace ks {

class MouseWatch {
 public:
  // `at` in screen pixels. Called on a thread of the watch's own, and must
  // return at once: the user's input waits for it.
  using Handler = std::function<void(PixelPoint at, MouseButton button, bool down)>;

  virtual ~MouseWatch() = default;
  // Starts reporting to `handler`; false when the watch cannot run, or runs
  // already.
  [[nodiscard]] virtual bool start(Handler handler) = 0;
  // Stops reporting; once it returns, the handler is not called again.
  // Does nothing when not started.
  virtual void stop() = 0;
};

}  // namespace ks
