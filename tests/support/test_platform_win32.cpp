// The behavioural tests against real Win32 windows (run under Wine).
#include "platform/win32/win32_window_system.h"
#include "support/test_platform.h"

namespace ks::test {

TestPlatform makeTestPlatform() {
  Win32Options options;
  options.exitProcessOnEnd = false;  // ending records ended() instead
  TestPlatform platform;
  platform.windows = makeWin32WindowSystem(options);
  platform.input = makeWin32InputSimulator(*platform.windows);
  return platform;
}

bool isHeadless() { return false; }

}  // namespace ks::test
