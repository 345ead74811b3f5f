// The captions a recording draws over its pictures: the strokes the key
// watch reports, stamped on arrival with the recording's clock, become
// captions in the frames grabbed after them.
#pragma once

#include <utility>

#include "platform/clock.h"
#include "recorder/hand_off.h"
#include "recorder/key_captions.h"

namespace ks {

class KeyOverlay {
 public:
  KeyOverlay(const Clock& clock, KeyCaptions captions) : clock_(clock), captions_(std::move(captions)) {}

  // From the key watch's thread: returns at once.
  void key(const KeyStroke& stroke);
  // From the grabbing thread, into each picture grabbed.
  void draw(const pixels::DibView& dib);

 private:
  const Clock& clock_;
  HandOff<TimedStroke> strokes_;
  KeyCaptions captions_;
};

}  // namespace ks
