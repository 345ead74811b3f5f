#include "recorder/key_overlay.h"

#include <algorithm>

namespace ks {

namespace {

// A watch that keeps reporting while no picture is grabbed (a long pause)
// must not grow the queue without bound.
constexpr std::size_t kMostPending = 256;

// The keys still down at the end of `strokes`, with the times they went
// down: what the captions must not lose (a Ctrl lost while held would make
// captions of typing). The rest happened long before the next picture.
void keepKeysDown(std::vector<TimedStroke>& strokes) {
  std::vector<TimedStroke> down;
  for (const TimedStroke& s : strokes) {
    const auto same = std::find_if(down.begin(), down.end(), [&](const TimedStroke& d) { return d.stroke.key == s.stroke.key; });
    if (s.stroke.down && same == down.end()) down.push_back(s);
    if (!s.stroke.down && same != down.end()) down.erase(same);
  }
  strokes.swap(down);
}

}  // namespace

void KeyOverlay::key(const KeyStroke& stroke) { strokes_.push({clock_.now(), stroke}, kMostPending, keepKeysDown); }

void KeyOverlay::draw(const pixels::DibView& dib) {
  const double now = clock_.now();
  for (const TimedStroke& stroke : strokes_.take()) captions_.add(stroke);
  captions_.draw(dib, now);
}

}  // namespace ks
