#include <algorithm>

#include "platform/headless/headless_input_simulator.h"
#include "support/test_platform.h"

namespace ks::test {

TestPlatform makeTestPlatform(float twipsPerPixel) {
  HeadlessOptions options;
  if (twipsPerPixel > 0) options.twipsPerPixelX = options.twipsPerPixelY = twipsPerPixel;
  auto windows = std::make_unique<HeadlessWindowSystem>(options);
  auto input = std::make_unique<HeadlessInputSimulator>(*windows);
  return {std::move(windows), std::move(input)};
}

bool isHeadless() { return true; }

std::vector<Window*> topmostOrder(WindowSystem& system, std::initializer_list<Window*> windows) {
  std::vector<Window*> order = static_cast<HeadlessWindowSystem&>(system).topmostOrder();
  std::erase_if(order, [&](Window* w) { return std::find(windows.begin(), windows.end(), w) == windows.end(); });
  return order;
}

}  // namespace ks::test
