// User input as a test gives it, so one behavioural test drives either
// backend: the headless one calls the handlers, the Win32 one sends the
// messages a real user's action produces.
#pragma once

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
};

}  // namespace ks
