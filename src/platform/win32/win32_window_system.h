// The Win32 window system: real top-level windows on the user32/gdi32 API.
// This header stays free of <windows.h>; code that needs the native handle
// includes win32_native.h.
#pragma once

#include <memory>
#include <string>

#include "platform/input_simulator.h"
#include "platform/window_system.h"

namespace ks {

struct Win32Options {
  // Ending the program ends the process. Tests turn this off: ending then
  // marks the system ended and makes the event loops return.
  bool exitProcessOnEnd = true;
  // Caption of message boxes.
  std::wstring appTitle = L"kestrascope";
};

// Makes the process per-monitor DPI aware (when the system allows it) and
// registers the window class. Windows it creates must not outlive it.
std::unique_ptr<WindowSystem> makeWin32WindowSystem(const Win32Options& options = {});

// Sends the messages a user's input produces to windows of a Win32 window
// system. Input to a disabled window is dropped, as the system drops it.
std::unique_ptr<InputSimulator> makeWin32InputSimulator(WindowSystem& windows);

}  // namespace ks
