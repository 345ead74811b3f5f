// A monotonic clock in seconds with sub-second resolution. The recording
// schedule and the calibration take one, so tests can drive time.
#pragma once

#include <chrono>

namespace ks {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() const = 0;  // seconds from an arbitrary origin
};

class SteadyClock final : public Clock {
 public:
  double now() const override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
};

}  // namespace ks
