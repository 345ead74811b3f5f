// The Windows program: the real window system wired to the forms.
#include <windows.h>

#include "app/app.h"
#include "frame/modgobal.h"
#include "platform/win32/win32_window_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  auto windows = ks::makeWin32WindowSystem(ks::Win32Options{});
  ks::App app(*windows);
  ks::Main(app);
  return windows->run();
}
