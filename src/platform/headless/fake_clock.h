// A clock that tests drive.
#pragma once

#include "platform/clock.h"

namespace ks {

// Time moves only when a test moves it.
class FakeClock final : public Clock {
 public:
  double now() const override { return now_; }
  void advance(double seconds) { now_ += seconds; }
  void set(double seconds) { now_ = seconds; }

 private:
  double now_ = 1000.0;
};

}  // namespace ks
