// The window system: the window class and its procedure, the windows it
// creates, the hidden owner, and which top-level windows are the program's.
#include "platform/win32/win32_window.h"

#include <cstdint>
#include <string>

// After <windows.h>, which it needs.
#include <commctrl.h>

namespace ks::win32 {

Win32WindowSystem::Win32WindowSystem(const Win32Options& options) : options_(options) {
  win32::becomeDpiAware();
  metrics_ = win32::screenMetrics();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  // A class per window system, so several can live in one process (tests).
  const std::wstring name = L"kestrascope.Window." + std::to_wstring(reinterpret_cast<std::uintptr_t>(this));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name.c_str();
  class_ = WindowClass(instance_, RegisterClassExW(&wc));
}

Win32WindowSystem::~Win32WindowSystem() {
  setPreciseWaits(false);
  while (!hotkeys_.empty()) unregisterHotkey(hotkeys_.front().first);
  if (owner_) RemovePropW(owner_.get(), kSystemProperty);
  // A quit message left behind would end the next loop on this thread.
  if (quitQueued_) {
    MSG message;
    PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
}

std::unique_ptr<Window> Win32WindowSystem::createWindow(const WindowDesign& design) {
  return std::make_unique<Win32Window>(*this, design);
}

// The hidden owner also receives the global key combinations: a window of
// our own, so that a combination pressed while a message box runs its own
// loop still reaches our window procedure (and is ignored there) instead of
// being lost as a thread message.
HWND Win32WindowSystem::hiddenOwner() {
  if (!owner_ && class_.atom()) {
    owner_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, className(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance_, nullptr));
    if (owner_) SetPropW(owner_.get(), kSystemProperty, this);
  }
  return owner_.get();
}

PixelRect Win32WindowSystem::workArea(const Window& window) const {
  const auto* w = dynamic_cast<const Win32Window*>(&window);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = MonitorFromWindow(w ? w->handle() : nullptr, MONITOR_DEFAULTTOPRIMARY);
  if (!monitor || !GetMonitorInfoW(monitor, &info)) return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const RECT& r = info.rcWork;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<HWND> Win32WindowSystem::ourTopLevelWindows() const {
  struct Search {
    ATOM atom;
    HWND exclude;
    std::vector<HWND> found;
  } search{class_.atom(), owner_.get(), {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (hwnd != s.exclude && static_cast<ATOM>(GetClassLongPtrW(hwnd, GCW_ATOM)) == s.atom)
          s.found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Win32WindowSystem::disableOurWindowsBut(HWND keep) const {
  std::vector<HWND> disabled;
  for (HWND other : ourTopLevelWindows()) {
    if (other == keep || !IsWindowEnabled(other)) continue;
    EnableWindow(other, FALSE);
    disabled.push_back(other);
  }
  return disabled;
}

void Win32WindowSystem::enableAgain(const std::vector<HWND>& windows) {
  for (HWND hwnd : windows)
    if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
}

Win32Window* Win32WindowSystem::windowOf(HWND hwnd) const {
  HWND root = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  if (!root || static_cast<ATOM>(GetClassLongPtrW(root, GCW_ATOM)) != class_.atom()) return nullptr;
  return reinterpret_cast<Win32Window*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

namespace {

// Global key combinations arrive at the hidden owner, which leads to its
// system; false for any other window.
bool hotkeyMessage(HWND hwnd, WPARAM id) {
  auto* system = static_cast<Win32WindowSystem*>(GetPropW(hwnd, kSystemProperty));
  if (!system) return false;
  try {
    system->hotkeyPressed(static_cast<int>(id));
  } catch (...) {
    // As for every event: dropped, and the program goes on.
  }
  return true;
}

// Arrives before WM_NCCREATE. The program sizes its windows itself, down to
// a caption strip a few pixels high; the default minimum tracking size
// would enlarge a captioned window. The default maximum (about the screen's
// size) would stop a frame around a whole screen: frmtop is then wider than
// the screen by the side windows.
void unlimitTracking(LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  info->ptMinTrackSize = POINT{1, 1};
  info->ptMaxTrackSize = POINT{32767, 32767};
}

// WM_NCCREATE attaches the handle to the window object being created.
void attachCreated(HWND hwnd, LPARAM lParam) {
  auto* window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
  if (!window) return;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  window->attach(hwnd);
}

}  // namespace

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HOTKEY && hotkeyMessage(hwnd, wParam)) return 0;
  if (message == WM_NCCREATE) attachCreated(hwnd, lParam);
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_GETMINMAXINFO) {
    unlimitTracking(lParam);
    if (window) window->limitTracking(*reinterpret_cast<MINMAXINFO*>(lParam));
    return 0;
  }
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    LRESULT result = 0;
    if (window->handleMessage(hwnd, message, wParam, lParam, result)) return result;
  } catch (...) {
    // An exception must not unwind through user32's frames; the event is
    // dropped and the program goes on.
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ks::win32

namespace ks {

std::unique_ptr<WindowSystem> makeWin32WindowSystem(const Win32Options& options) {
  return std::make_unique<win32::Win32WindowSystem>(options);
}

HWND nativeHandle(const Window& window) {
  const auto* win32Window = dynamic_cast<const win32::Win32Window*>(&window);
  return win32Window ? win32Window->handle() : nullptr;
}

}  // namespace ks
