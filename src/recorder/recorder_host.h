// What a recording needs from the program around it while it runs: the
// events to run, and waiting. The recording loop runs inside an event
// handler, so the program's events run from inside it.
#pragma once

namespace ks {

class RecorderHost {
 public:
  virtual ~RecorderHost() = default;

  // Runs the handlers of the events that have arrived.
  virtual void doEvents() = 0;
  // Waits until the recording's clock reaches dueTime or an event arrives,
  // whichever is first; runs no handler.
  virtual void waitUntil(double dueTime) = 0;
  // Waits end within about a millisecond of their time while this is on;
  // a run turns it on for its duration.
  virtual void setPreciseWaits(bool on) = 0;
  // True once the program has ended.
  virtual bool ended() const = 0;
};

}  // namespace ks
