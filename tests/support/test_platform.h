// The platform a behavioural test runs against: headless natively, Win32
// when cross-built and run under Wine. The same assertions hold on both.
#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/input_simulator.h"
#include "platform/window_system.h"

namespace ks::test {

struct TestPlatform {
  std::unique_ptr<WindowSystem> windows;
  std::unique_ptr<InputSimulator> input;
};

// twipsPerPixel > 0 asks for that screen density; only the headless backend
// can choose it, Win32 has the system's (a test compares and skips).
TestPlatform makeTestPlatform(float twipsPerPixel = 0);

// True when the backend is the in-memory one (some checks need exact,
// backend-chosen metrics).
bool isHeadless();

// Those of `windows` that are in the topmost band, in its order, lowest
// first.
std::vector<Window*> topmostOrder(WindowSystem& system, std::initializer_list<Window*> windows);

}  // namespace ks::test
