// Keyboard navigation: the navigator decides, the window applies it with the
// system's focus.
#include "platform/win32/win32_window.h"

namespace ks::win32 {

namespace {

ControlNode* nodeOfNavigable(Navigable* navigable) { return static_cast<ControlNode*>(navigable); }

}  // namespace

void Win32Window::optionSelected(const ControlNode& option) {
  for (Navigable* mate : navigator_.groupMates(option)) nodeOfNavigable(mate)->deselect();
}

void Win32Window::focusLeaving(const ControlNode& control) {
  if (ControlNode* next = nodeOfNavigable(navigator_.handOff(control))) {
    focus(*next);
    return;
  }
  if (!hwnd_) return;
  // The window keeps it: no control to hand it on to.
  keepFocus_ = true;
  SetFocus(hwnd_.get());
  keepFocus_ = false;
}

void Win32Window::focus(ControlNode& control) {
  SetFocus(control.handle());
  // Tabbing into a text box selects its text, so typing replaces it.
  if (control.kind() == ControlKind::TextBox && GetFocus() == control.handle())
    SendMessageW(control.handle(), EM_SETSEL, 0, -1);
}

void Win32Window::moveFocus(bool backward) {
  navigator_.setFocus(nodeWithHandle(GetFocus()));
  if (ControlNode* next = nodeOfNavigable(navigator_.tab(backward))) focus(*next);
}

// The window got the focus (activation, restoring): hand it on to the
// control that had it, else to the first one in tab order.
void Win32Window::focusArrived() {
  if (keepFocus_) return;
  if (ControlNode* target = nodeOfNavigable(navigator_.arrival())) focus(*target);
}

bool Win32Window::translateKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !hwnd_) return false;
  ControlNode* focused = nodeWithHandle(GetFocus());
  // An open drop-down list takes its own keys.
  if (focused && focused->kind() == ControlKind::ComboBox &&
      SendMessageW(focused->handle(), CB_GETDROPPEDSTATE, 0, 0))
    return false;
  switch (message.wParam) {
    case VK_TAB:
      if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
      moveFocus(GetKeyState(VK_SHIFT) < 0);
      return true;
    case VK_RETURN:
    case VK_ESCAPE: {
      navigator_.setFocus(focused);
      ControlNode* target =
          nodeOfNavigable(message.wParam == VK_RETURN ? navigator_.enterTarget() : navigator_.escapeTarget());
      if (!target) return false;
      target->press();  // may unload this window
      return true;
    }
    default:
      return false;
  }
}

}  // namespace ks::win32
