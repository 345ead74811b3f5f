// The marks a recording draws over its pictures: the presses the mouse
// watch reports, stamped on arrival with the recording's clock, become
// rings in the frames grabbed after them.
#pragma once

#include "base/click_marks.h"
#include "platform/clock.h"
#include "recorder/hand_off.h"

namespace ks {

class ClickOverlay {
 public:
  ClickOverlay(const Clock& clock, int dpi) : clock_(clock), marks_(dpi) {}

  // From the mouse watch's thread: returns at once.
  void mouse(PixelPoint at, MouseButton button, bool down);
  // From the grabbing thread, into each picture grabbed: the rings of the
  // presses so far as they show now.
  void draw(const pixels::DibView& dib, PixelPoint origin);

 private:
  const Clock& clock_;
  HandOff<ButtonEvent> events_;
  ClickMarks marks_;
};

}  // namespace ks
