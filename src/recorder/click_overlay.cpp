#include "recorder/click_overlay.h"

namespace ks {

void ClickOverlay::mouse(PixelPoint at, MouseButton button, bool down) {
  // Stamped under the lock, so that the events queue in time order.
  const std::lock_guard<std::mutex> lock(mutex_);
  // A hook that keeps reporting while no picture is grabbed must not grow
  // the queue without bound; the rings hold no more presses than this.
  if (pending_.size() >= 4 * ClickMarks::kMaxRings) pending_.erase(pending_.begin());
  pending_.push_back({clock_.now(), at, button, down});
}

void ClickOverlay::draw(const pixels::DibView& dib, PixelPoint origin) {
  const double now = clock_.now();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    taken_.swap(pending_);
  }
  for (const ButtonEvent& event : taken_) marks_.add(event);
  taken_.clear();
  marks_.draw(dib, origin, now);
}

}  // namespace ks
