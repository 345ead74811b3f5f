// Controls of Win32 windows. Buttons, lists, option buttons and text boxes
// are child windows of the system's control classes. Labels and images are
// windowless: their window paints them (in creation order, with its lines)
// and routes the mouse to them, so they can be transparent over whatever
// lies beneath, a picture included.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/navigator.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_native.h"

namespace ks::win32 {

COLORREF colorRef(Rgb color);

class ControlNode;

// What a control needs from the window it sits on.
class ControlHost {
 public:
  virtual HWND hostHandle() const = 0;
  virtual HINSTANCE instance() const = 0;
  virtual float twipsPerPixelX() const = 0;
  virtual float twipsPerPixelY() const = 0;
  // The program has ended: no handler may run any more.
  virtual bool handlersStopped() const = 0;
  // The control's own font or, when it has none, the window's; the window
  // owns it.
  virtual HFONT font(const std::optional<Font>& font) = 0;
  virtual HBRUSH backgroundBrush() const = 0;
  // Repaints part of the client area at once, or marks it for the next
  // paint.
  virtual void repaint(const RECT& area, bool now) = 0;
  // An option button was selected: the others of its group let go.
  virtual void optionSelected(const ControlNode& option) = 0;
  // The focused control is about to be disabled or hidden.
  virtual void focusLeaving(const ControlNode& control) = 0;

 protected:
  ~ControlHost() = default;
};

enum class ControlKind { Button, Label, Image, ListBox, ComboBox, OptionButton, TextBox, Slider, ProgressBar };

// The window's, the navigator's and the input simulator's view of a control.
class ControlNode : public Navigable {
 public:
  virtual ~ControlNode() = default;
  virtual ControlKind kind() const = 0;
  virtual Control& control() = 0;
  virtual const Control& control() const = 0;
  virtual HWND parentHandle() const = 0;
  // The child window; nullptr for windowless controls and once the window
  // has been destroyed.
  virtual HWND handle() const = 0;
  // Where the control is, in client pixels of its window.
  virtual RECT pixelRect() const = 0;
  int tabPosition() const override { return control().tabIndex(); }
  // Enabled, visible and able to hold the keyboard focus: Tab stops here.
  bool takesFocus() const override { return false; }
  bool isButton() const override { return kind() == ControlKind::Button; }
  bool isOption() const override { return kind() == ControlKind::OptionButton; }
  // The window has been destroyed and its child windows with it.
  virtual void forgetHandle() {}
  // A WM_COMMAND notification from the child window.
  virtual void command(WORD /*code*/) {}
  // A WM_HSCROLL notification from the child window.
  virtual void scrolled() {}
  // WM_CTLCOLORSTATIC: the background brush, or nullptr for the system's.
  virtual HBRUSH ctlColor(HDC /*dc*/) { return nullptr; }
  // WM_DRAWITEM for an owner-drawn child window; false when not drawn.
  virtual bool drawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  // Windowless controls paint themselves in client coordinates.
  virtual void paint(HDC /*dc*/) {}
  // Windowless controls that take mouse input get it here; button is what
  // MouseEvent::button holds, point is in client pixels.
  virtual bool wantsMouse() const { return false; }
  virtual void mouse(UINT /*message*/, int /*button*/, POINT /*point*/) {}
  // Buttons: Enter or Esc pressed it.
  virtual void press() {}
  // Option buttons: deselecting without an event.
  virtual void deselect() {}
};

// The control behind a Control of this backend, or nullptr.
ControlNode* nodeOf(Control& control);
// The control among `nodes` whose child window is hwnd, or nullptr.
ControlNode* nodeWithHandle(const std::vector<std::unique_ptr<ControlNode>>& nodes, HWND hwnd);

std::unique_ptr<ControlNode> createButton(ControlHost& host, int id, const ButtonDesign& design);
std::unique_ptr<ControlNode> createLabel(ControlHost& host, const LabelDesign& design);
std::unique_ptr<ControlNode> createImage(ControlHost& host, const ImageDesign& design);
std::unique_ptr<ControlNode> createListBox(ControlHost& host, int id, const ListDesign& design);
std::unique_ptr<ControlNode> createComboBox(ControlHost& host, int id, const ListDesign& design);
std::unique_ptr<ControlNode> createOptionButton(ControlHost& host, int id, const OptionButtonDesign& design);
std::unique_ptr<ControlNode> createTextBox(ControlHost& host, int id, const TextBoxDesign& design);
std::unique_ptr<ControlNode> createSlider(ControlHost& host, int id, const SliderDesign& design);
std::unique_ptr<ControlNode> createProgressBar(ControlHost& host, int id, const ProgressDesign& design);

// A font at the given vertical DPI.
UniqueFont createFont(const Font& font, UINT dpiY);

}  // namespace ks::win32
