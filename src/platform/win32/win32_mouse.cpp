// Mouse input: routed to the windowless control under the pointer or to the
// window, with capture while a button is held.
#include "platform/win32/win32_window.h"

namespace ks::win32 {
namespace {

int buttonOfMessage(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return kLeftButton;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return kRightButton;
    default:
      return kMiddleButton;
  }
}

int heldButtons(WPARAM keys) {
  return ((keys & MK_LBUTTON) ? kLeftButton : 0) | ((keys & MK_RBUTTON) ? kRightButton : 0) |
         ((keys & MK_MBUTTON) ? kMiddleButton : 0);
}

}  // namespace

ControlNode* Win32Window::hitTest(POINT point) const {
  for (auto item = paintOrder_.rbegin(); item != paintOrder_.rend(); ++item) {
    ControlNode* node = item->control;
    if (!node || !node->wantsMouse() || !node->control().visible() || !node->control().enabled()) continue;
    const RECT r = node->pixelRect();
    if (PtInRect(&r, point)) return node;
  }
  return nullptr;
}

void Win32Window::mouseInput(HWND hwnd, UINT message, WPARAM keys, LPARAM position) {
  // Signed: while the mouse is captured the pointer may be left of or above
  // the client area.
  const POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
  const bool up = message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP;
  if (!down && !up && heldButtons(keys) == 0) pressed_.reset();
  // Whoever got the press gets everything until the last button is up.
  ControlNode* target = pressed_ ? *pressed_ : hitTest(point);
  int button = heldButtons(keys);
  if (down) {
    // Captured, a drag that leaves the window keeps reporting to it.
    SetCapture(hwnd);
    pressed_ = target;
    button = buttonOfMessage(message);
  } else if (up) {
    button = buttonOfMessage(message);
    if (heldButtons(keys) == 0) {
      pressed_.reset();
      if (GetCapture() == hwnd) ReleaseCapture();
    }
  }
  if (target) {
    target->mouse(message, button, point);
    return;
  }
  const MouseEvent e = mouseEvent(button, position);
  if (down) fire(events.onMouseDown, e);
  else if (up) fire(events.onMouseUp, e);
  else fire(events.onMouseMove, e);
}

MouseEvent Win32Window::mouseEvent(int button, LPARAM position) const {
  // Signed: while the mouse is captured the pointer may be left of or above
  // the client area.
  const auto x = static_cast<short>(LOWORD(position));
  const auto y = static_cast<short>(HIWORD(position));
  return MouseEvent{button, toTwipsX(x), toTwipsY(y)};
}

}  // namespace ks::win32
