#include "platform/headless/headless_input_simulator.h"
#include "support/test_platform.h"

namespace ks::test {

TestPlatform makeTestPlatform() {
  auto windows = std::make_unique<HeadlessWindowSystem>();
  auto input = std::make_unique<HeadlessInputSimulator>(*windows);
  return {std::move(windows), std::move(input)};
}

bool isHeadless() { return true; }

}  // namespace ks::test
