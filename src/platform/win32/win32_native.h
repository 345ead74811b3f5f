// Native access to the Win32 window system, for Win32-only code such as the
// screen grabber.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/window_system.h"

namespace ks {

// The window's handle; nullptr when it is not a Win32 window or it has been
// destroyed (closed).
HWND nativeHandle(const Window& window);

}  // namespace ks
