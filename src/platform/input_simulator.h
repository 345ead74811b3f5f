// User input as a test gives it, so one behavioural test drives either
// backend: the headless one calls the handlers, the Win32 one sends the
// messages a real user's action produces.
#pragma once

#include <string>

#include "platform/controls.h"
#include "platform/window_system.h"

namespace ks {

class InputSimulator {
 public:
  virtual ~InputSimulator() = default;
  // The user drags a captioned window so its outer top-left lands here (twips).
  virtual void dragWindowTo(Window& window, float left, float top) = 0;
  // The user makes the window the active one (clicking it, Alt+Tab).
  virtual void activate(Window& window) = 0;
  // Mouse events on the window's client area; x and y in twips, client-relative.
  virtual void mouseDown(Window& window, const MouseEvent& e) = 0;
  virtual void mouseMove(Window& window, const MouseEvent& e) = 0;
  virtual void mouseUp(Window& window, const MouseEvent& e) = 0;
  // The user asks the window to close (title-bar close button, Alt+F4).
  virtual void requestClose(Window& window) = 0;
  // The user minimises or restores the window from its title bar or taskbar.
  virtual void minimize(Window& window) = 0;
  virtual void restore(Window& window) = 0;

  // Controls. Input to a disabled control or window is dropped, as a real
  // system drops it.
  // A click on a button, label or option button (Space/Enter on a focused
  // button does the same).
  virtual void click(Control& control) = 0;
  // The user picks the item of a list box or drop-down list.
  virtual void selectItem(ItemList& list, int index) = 0;
  virtual void doubleClickItem(ItemList& list, int index) = 0;
  // The user replaces the text box's text by typing.
  virtual void typeText(TextBox& box, const std::string& text) = 0;
  // Mouse on an image; x and y in twips relative to the image.
  virtual void mouseDown(Image& image, const MouseEvent& e) = 0;
  virtual void mouseMove(Image& image, const MouseEvent& e) = 0;
  virtual void mouseUp(Image& image, const MouseEvent& e) = 0;
  // Tab (or Shift+Tab) in the active window: moves the keyboard focus.
  virtual void pressTab(Window& window, bool shift) = 0;
  // Enter and Escape in the active window: the focused or default button,
  // and the cancel button.
  virtual void pressEnter(Window& window) = 0;
  virtual void pressEscape(Window& window) = 0;
  // A key pressed and released in the active window with the modifiers
  // held: the window's KeyDown sees it first, then as above or the focused
  // control.
  virtual void pressKey(Window& window, const KeyEvent& key) = 0;
  // The user opens the window's system menu and chooses the item with this
  // id (in a submenu too); a greyed item does nothing.
  virtual void chooseSystemMenuItem(Window& window, int id) = 0;
  // The user presses a global key combination, wherever the focus is.
  virtual void pressHotkey(const Hotkey& hotkey) = 0;

  // The system: it announces to every top-level window that a drive arrived
  // (a stick plugged in, a disc inserted) or went.
  virtual void announceDrivesChanged() = 0;
};

}  // namespace ks
