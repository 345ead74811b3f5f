#include "recorder/click_overlay.h"

namespace ks {

void ClickOverlay::mouse(PixelPoint at, MouseButton button, bool down) {
  // A hook that keeps reporting while no picture is grabbed must not grow
  // the queue without bound; the rings hold no more presses than this.
  events_.push({clock_.now(), at, button, down}, 4 * ClickMarks::kMaxRings,
               [](std::vector<ButtonEvent>& pending) { pending.erase(pending.begin()); });
}

void ClickOverlay::draw(const pixels::DibView& dib, PixelPoint origin) {
  const double now = clock_.now();
  for (const ButtonEvent& event : events_.take()) marks_.add(event);
  marks_.draw(dib, origin, now);
}

}  // namespace ks
