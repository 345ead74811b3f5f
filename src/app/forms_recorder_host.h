// The recording session's host in the program: the window system's events
// and waits.
#pragma once

#include "recorder/recorder_host.h"

namespace ks {

class App;

class FormsRecorderHost final : public RecorderHost {
 public:
  explicit FormsRecorderHost(App& app) : app_(app) {}

  void doEvents() override;
  void waitUntil(double dueTime) override;
  void setPreciseWaits(bool on) override;
  bool ended() const override;

 private:
  App& app_;
};

}  // namespace ks
