// The Windows program: the real platform wired to the forms.
#include <windows.h>

#include "app/app.h"
#include "frame/modgobal.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ks::Win32Platform real;
  ks::App app(real.platform());
  ks::Main(app);
  return real.windows().run();
}
