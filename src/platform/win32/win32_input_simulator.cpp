// A user's input as the messages Windows would deliver for it. The messages
// are sent straight to the window, so what the system does for a real user
// (dropping input to a disabled window) is done here.
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_native.h"
#include "platform/win32/win32_window_system.h"

namespace ks {
namespace {

WPARAM keyFlags(int buttons) {
  return ((buttons & kLeftButton) ? MK_LBUTTON : 0) | ((buttons & kRightButton) ? MK_RBUTTON : 0) |
         ((buttons & kMiddleButton) ? MK_MBUTTON : 0);
}

class Win32InputSimulator final : public InputSimulator {
 public:
  explicit Win32InputSimulator(WindowSystem& windows) : windows_(windows) {}

  void dragWindowTo(Window& window, float left, float top) override {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    // Moving is not an event of the program's own.
    SetWindowPos(hwnd, nullptr, pixelsX(left), pixelsY(top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void activate(Window& window) override {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    if (!SetForegroundWindow(hwnd) || GetActiveWindow() != hwnd) SetActiveWindow(hwnd);
    windows_.doEvents();
  }

  void mouseDown(Window& window, const MouseEvent& e) override {
    const UINT message = (e.button & kLeftButton)    ? WM_LBUTTONDOWN
                         : (e.button & kRightButton) ? WM_RBUTTONDOWN
                                                     : WM_MBUTTONDOWN;
    sendMouse(window, message, keyFlags(e.button), e);
  }

  void mouseMove(Window& window, const MouseEvent& e) override {
    sendMouse(window, WM_MOUSEMOVE, keyFlags(e.button), e);
  }

  void mouseUp(Window& window, const MouseEvent& e) override {
    const UINT message = (e.button & kLeftButton)    ? WM_LBUTTONUP
                         : (e.button & kRightButton) ? WM_RBUTTONUP
                                                     : WM_MBUTTONUP;
    // The released button is no longer held.
    sendMouse(window, message, 0, e);
  }

  void requestClose(Window& window) override {
    if (HWND hwnd = takesInput(window)) SendMessageW(hwnd, WM_CLOSE, 0, 0);
  }

  void minimize(Window& window) override { showAs(window, SW_MINIMIZE); }
  void restore(Window& window) override { showAs(window, SW_RESTORE); }

 private:
  static HWND takesInput(const Window& window) {
    HWND hwnd = nativeHandle(window);
    return hwnd && IsWindowEnabled(hwnd) ? hwnd : nullptr;
  }

  int pixelsX(float twips) const { return win32::toPixels(twips, windows_.twipsPerPixelX()); }
  int pixelsY(float twips) const { return win32::toPixels(twips, windows_.twipsPerPixelY()); }

  void sendMouse(Window& window, UINT message, WPARAM keys, const MouseEvent& e) {
    HWND hwnd = takesInput(window);
    if (!hwnd) return;
    const auto x = static_cast<WORD>(static_cast<short>(pixelsX(e.x)));
    const auto y = static_cast<WORD>(static_cast<short>(pixelsY(e.y)));
    SendMessageW(hwnd, message, keys, MAKELPARAM(x, y));
  }

  void showAs(Window& window, int command) {
    // From the taskbar or the title bar: works on a disabled window too.
    if (HWND hwnd = nativeHandle(window)) ShowWindow(hwnd, command);
    windows_.doEvents();
  }

  WindowSystem& windows_;
};

}  // namespace

std::unique_ptr<InputSimulator> makeWin32InputSimulator(WindowSystem& windows) {
  return std::make_unique<Win32InputSimulator>(windows);
}

}  // namespace ks
