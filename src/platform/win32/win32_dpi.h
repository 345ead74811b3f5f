// DPI awareness, twips per pixel and the twips/pixel conversions of the
// Win32 layer.
#pragma once

#include "platform/win32/win32_native.h"

namespace ks::win32 {

struct ScreenMetrics {
  UINT dpiX = 96;
  UINT dpiY = 96;
  float twipsPerPixelX = 15;
  float twipsPerPixelY = 15;
};

// Per-monitor (v2) DPI awareness where the system has it, else the best
// older form; the newer APIs are looked up at run time so the program still
// starts on Windows 7.
void becomeDpiAware();

// The screen's DPI per axis, read after becomeDpiAware().
ScreenMetrics screenMetrics();

// Whole pixels, to nearest with ties to even, clamped far inside int.
int toPixels(float twips, float twipsPerPixel);
float toTwips(long pixels, float twipsPerPixel);

// Outer rectangle for a client rectangle, with the frame metrics of `dpi`
// when the system can say them.
void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace ks::win32
