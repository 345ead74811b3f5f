// Mouse input: routed to the windowless control under the pointer or to the
// window, with capture while a button is held.
#include "platform/win32/win32_mouse_routing.h"

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

ControlNode* MouseRouting::hitTest(POINT point) const {
  for (auto item = windowless_.rbegin(); item != windowless_.rend(); ++item) {
    ControlNode* node = *item;
    if (!node->wantsMouse() || !node->control().visible() || !node->control().enabled()) continue;
    const RECT r = node->pixelRect();
    if (PtInRect(&r, point)) return node;
  }
  return nullptr;
}

std::optional<WindowMouse> MouseRouting::route(HWND window, UINT message, WPARAM keys, POINT point) {
  const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
  const bool up = message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP;
  if (!down && !up && heldButtons(keys) == 0) pressed_.reset();
  // Whoever got the press gets everything until the last button is up.
  ControlNode* target = pressed_ ? *pressed_ : hitTest(point);
  int button = heldButtons(keys);
  if (down) {
    // Captured, a drag that leaves the window keeps reporting to it.
    SetCapture(window);
    pressed_ = target;
    button = buttonOfMessage(message);
  } else if (up) {
    button = buttonOfMessage(message);
    if (heldButtons(keys) == 0) {
      pressed_.reset();
      if (GetCapture() == window) ReleaseCapture();
    }
  }
  if (target) {
    target->mouse(message, button, point);  // may unload the window
    return std::nullopt;
  }
  using Action = WindowMouse::Action;
  return WindowMouse{down ? Action::Down : up ? Action::Up : Action::Move, button};
}

}  // namespace ks::win32
