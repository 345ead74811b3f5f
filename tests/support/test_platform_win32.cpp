// The behavioural tests against real Win32 windows (run under Wine).
#include <algorithm>

#include "platform/win32/win32_native.h"
#include "platform/win32/win32_window_system.h"
#include "support/test_platform.h"

namespace ks::test {

TestPlatform makeTestPlatform(float) {
  Win32Options options;
  options.exitProcessOnEnd = false;  // ending records ended() instead
  TestPlatform platform;
  platform.windows = makeWin32WindowSystem(options);
  platform.input = makeWin32InputSimulator(*platform.windows);
  return platform;
}

bool isHeadless() { return false; }

std::vector<Window*> topmostOrder(WindowSystem&, std::initializer_list<Window*> windows) {
  // The z-order from the top; the topmost band comes first.
  std::vector<Window*> order;
  for (HWND h = GetTopWindow(nullptr); h && (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
       h = GetWindow(h, GW_HWNDNEXT)) {
    for (Window* w : windows)
      if (nativeHandle(*w) == h) order.insert(order.begin(), w);
  }
  return order;
}

}  // namespace ks::test
