// The keyboard focus of a window's controls: the navigator decides where it
// goes (Tab, Enter, Esc, hand-off, arrival), this applies that with the
// system's focus.
#pragma once

#include <memory>
#include <vector>

#include "platform/navigator.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_native.h"

namespace ks::win32 {

class WindowFocus {
 public:
  // The window's controls, in creation order; they outlive this.
  explicit WindowFocus(const std::vector<std::unique_ptr<ControlNode>>& controls) : controls_(controls) {}
  WindowFocus(const WindowFocus&) = delete;
  WindowFocus& operator=(const WindowFocus&) = delete;

  // A control of the window, in creation order.
  void add(ControlNode& control) { navigator_.add(control); }
  // The control of the window that has the system's focus, or nullptr.
  ControlNode* focused() const { return nodeWithHandle(controls_, GetFocus()); }
  // The window is being deactivated: remembers the focused control, which
  // gets the focus back when the window does (arrived).
  void deactivating() { navigator_.setFocus(focused()); }
  // The window got the focus (activation, restoring): hands it on to the
  // control that had it, else to the first one in tab order.
  void arrived();
  // The focused control of `window` is about to be disabled or hidden.
  void leaving(HWND window, const ControlNode& control);
  // An option button was selected: the others of its group let go.
  void optionSelected(const ControlNode& option);
  // Keys the window handles before the focused control sees them (Tab,
  // Enter, Esc); true when the key was used.
  bool translateKey(const MSG& message);
  // The focused control is a drop-down list that is open: it takes its own
  // keys.
  bool listDropped() const;
  // The window and its controls' child windows are gone.
  void forget() { navigator_.setFocus(nullptr); }

 private:
  void focus(ControlNode& control);
  void moveFocus(bool backward);

  const std::vector<std::unique_ptr<ControlNode>>& controls_;
  // Tab order, focus hand-off, default and cancel buttons, option groups;
  // remembers the control that had the focus when the window was last
  // deactivated.
  Navigator navigator_;
  bool keepFocus_ = false;  // the window itself takes the focus
};

}  // namespace ks::win32
