// Mouse input of a window: routed to the windowless control under the
// pointer or to the window, with capture while a button is held.
#pragma once

#include <optional>
#include <vector>

#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_native.h"

namespace ks::win32 {

// A mouse message that the window itself takes.
struct WindowMouse {
  enum class Action { Down, Up, Move } action = Action::Move;
  int button = 0;  // what MouseEvent::button holds
};

class MouseRouting {
 public:
  // A windowless control of the window, in creation order: later ones lie
  // above earlier ones. It outlives this.
  void add(ControlNode& control) { windowless_.push_back(&control); }
  // A mouse message of `window` at a client point: whoever got the press
  // gets everything until the last button is up, else the windowless
  // control under the pointer. Delivers it to that control; when the
  // window itself is the target, returns what it takes.
  std::optional<WindowMouse> route(HWND window, UINT message, WPARAM keys, POINT point);
  // WM_CAPTURECHANGED: another window took the capture from `window`.
  void captureChanged(HWND window, HWND capture) {
    if (capture != window) pressed_.reset();
  }

 private:
  // The windowless control at a client point that takes the mouse, or
  // nullptr for the window itself.
  ControlNode* hitTest(POINT point) const;

  std::vector<ControlNode*> windowless_;
  // Who got the mouse button that is held (nullptr: the window itself);
  // empty while no button is held.
  std::optional<ControlNode*> pressed_;
};

}  // namespace ks::win32
