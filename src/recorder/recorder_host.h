// What the recording engine needs from the program around it. The forms own
// the rate list, the frame and the progress label, and run the events; the
// engine asks for them through this, so it runs without any form.
#pragma once

#include <string>

#include "base/geometry.h"
#include "media/movie.h"

namespace ks {

class RecorderHost {
 public:
  virtual ~RecorderHost() = default;

  // The rate list: the selected item's text, the items, and selecting one.
  virtual std::string rateText() const = 0;
  virtual int rateCount() const = 0;
  virtual std::string rateItem(int index) const = 0;
  virtual void selectRate(int index) = 0;

  // How the movie stores its frames, as the user chose.
  virtual MovieFormat movieFormat() const = 0;

  // The capture region as the frame stands now, in screen pixels.
  virtual PixelRect captureRect() const = 0;

  // Shows the progress text; repaintNow shows it at once instead of when
  // the events next run.
  virtual void showProgress(const std::string& text, bool repaintNow) = 0;

  // Runs the handlers of the events that have arrived.
  virtual void doEvents() = 0;
  // Waits until the engine's clock reaches dueTime or an event arrives,
  // whichever is first; runs no handler.
  virtual void waitUntil(double dueTime) = 0;
  // Waits end within about a millisecond of their time while this is on;
  // the engine turns it on for each run.
  virtual void setPreciseWaits(bool on) = 0;
  // True once the program has ended.
  virtual bool ended() const = 0;
};

}  // namespace ks
