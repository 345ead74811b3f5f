#include "platform/win32/win32_dpi.h"

#include <algorithm>
#include <cmath>

#include "platform/win32/win32_handles.h"

namespace ks::win32 {

void becomeDpiAware() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");

  // Windows 10 1703 and later.
  using SetContext = BOOL(WINAPI*)(HANDLE);
  if (auto setContext = loadProc<SetContext>(user32, "SetProcessDpiAwarenessContext")) {
    const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    // Access denied: already set, by a manifest or an earlier call.
    if (setContext(perMonitorV2) || GetLastError() == ERROR_ACCESS_DENIED) return;
  }

  // Windows 8.1.
  UniqueModule shcore(LoadLibraryW(L"shcore.dll"));
  using SetAwareness = HRESULT(WINAPI*)(int);
  if (auto setAwareness = loadProc<SetAwareness>(shcore.get(), "SetProcessDpiAwareness")) {
    constexpr int kPerMonitorAware = 2;
    const HRESULT result = setAwareness(kPerMonitorAware);
    if (SUCCEEDED(result) || result == E_ACCESSDENIED) return;
  }

  // Vista and 7: system DPI aware.
  using SetAware = BOOL(WINAPI*)();
  if (auto setAware = loadProc<SetAware>(user32, "SetProcessDPIAware")) setAware();
}

ScreenMetrics screenMetrics() {
  ScreenMetrics metrics;
  WindowDc screen(nullptr);
  if (screen.get()) {
    const int dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);
    if (dpiX > 0) metrics.dpiX = static_cast<UINT>(dpiX);
    if (dpiY > 0) metrics.dpiY = static_cast<UINT>(dpiY);
  }
  metrics.twipsPerPixelX = 1440.0f / static_cast<float>(metrics.dpiX);
  metrics.twipsPerPixelY = 1440.0f / static_cast<float>(metrics.dpiY);
  return metrics;
}

int toPixels(float twips, float twipsPerPixel) {
  constexpr double kLimit = 1 << 30;
  const double pixels = std::nearbyint(static_cast<double>(twips) / twipsPerPixel);
  if (std::isnan(pixels)) return 0;
  return static_cast<int>(std::clamp(pixels, -kLimit, kLimit));
}

float toTwips(long pixels, float twipsPerPixel) { return static_cast<float>(pixels) * twipsPerPixel; }

void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
  // Windows 10 1607 and later.
  using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  if (auto adjust = loadProc<AdjustForDpi>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")) {
    if (adjust(&rect, style, FALSE, exStyle, dpi)) return;
  }
  AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace ks::win32
