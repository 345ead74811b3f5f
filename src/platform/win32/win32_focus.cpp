// Keyboard navigation: the navigator decides, the window's focus applies it
// with the system's focus.
#include "platform/win32/win32_focus.h"

namespace ks::win32 {

namespace {

ControlNode* nodeOfNavigable(Navigable* navigable) { return static_cast<ControlNode*>(navigable); }

}  // namespace

void WindowFocus::optionSelected(const ControlNode& option) {
  for (Navigable* mate : navigator_.groupMates(option)) nodeOfNavigable(mate)->deselect();
}

void WindowFocus::leaving(HWND window, const ControlNode& control) {
  if (ControlNode* next = nodeOfNavigable(navigator_.handOff(control))) {
    focus(*next);
    return;
  }
  if (!window) return;
  // The window keeps it: no control to hand it on to.
  keepFocus_ = true;
  SetFocus(window);
  keepFocus_ = false;
}

void WindowFocus::focus(ControlNode& control) {
  SetFocus(control.handle());
  // Tabbing into a text box selects its text, so typing replaces it.
  if (control.kind() == ControlKind::TextBox && GetFocus() == control.handle())
    SendMessageW(control.handle(), EM_SETSEL, 0, -1);
}

void WindowFocus::moveFocus(bool backward) {
  navigator_.setFocus(focused());
  if (ControlNode* next = nodeOfNavigable(navigator_.tab(backward))) focus(*next);
}

void WindowFocus::arrived() {
  if (keepFocus_) return;
  if (ControlNode* target = nodeOfNavigable(navigator_.arrival())) focus(*target);
}

bool WindowFocus::listDropped() const {
  ControlNode* focused = this->focused();
  return focused && focused->kind() == ControlKind::ComboBox && SendMessageW(focused->handle(), CB_GETDROPPEDSTATE, 0, 0);
}

bool WindowFocus::translateKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || listDropped()) return false;
  ControlNode* focused = this->focused();
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
