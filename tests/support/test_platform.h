// The platform a behavioural test runs against: headless natively, Win32
// when cross-built and run under Wine. The same assertions hold on both.
#pragma once

#include <memory>

#include "platform/input_simulator.h"
#include "platform/window_system.h"

namespace ks::test {

struct TestPlatform {
  std::unique_ptr<WindowSystem> windows;
  std::unique_ptr<InputSimulator> input;
};

TestPlatform makeTestPlatform();

// True when the backend is the in-memory one (some checks need exact,
// backend-chosen metrics).
bool isHeadless();

}  // namespace ks::test
