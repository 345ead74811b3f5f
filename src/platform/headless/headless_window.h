// A headless top-level window: whole pixels, synchronous events, its
// controls and its keyboard navigation.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_controls.h"
#include "platform/headless/headless_window_system.h"
#include "platform/handlers.h"
#include "platform/navigator.h"
#include "platform/window_system.h"

namespace ks {

class HeadlessLine;

class HeadlessWindow final : public Window {
 public:
  HeadlessWindow(HeadlessWindowSystem& system, const WindowDesign& design);
  ~HeadlessWindow() override;

  float left() const override { return box_.x * tx(); }
  float top() const override { return box_.y * ty(); }
  float width() const override { return box_.w * tx(); }
  float height() const override { return box_.h * ty(); }
  // While minimised, placing a window changes where it is restored.
  void setLeft(float v) override { moveTo(toPixels(v, tx()), placed().y); }
  void setTop(float v) override { moveTo(placed().x, toPixels(v, ty())); }
  void setWidth(float v) override { resizeTo(toPixels(v, tx()), placed().h); }
  void setHeight(float v) override { resizeTo(placed().w, toPixels(v, ty())); }
  float scaleWidth() const override;
  float scaleHeight() const override;
  int windowState() const override { return state_; }
  void setWindowState(int state) override;
  bool visible() const override { return visible_; }
  void show() override;
  void hide() override;
  bool enabled() const override { return enabled_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  void makeTopmost() override;
  bool topmost() const override { return topmost_; }
  std::string caption() const override { return design_.caption; }
  Line& addLine(const LineDesign& design) override;
  Button& addButton(const ButtonDesign& design) override;
  Label& addLabel(const LabelDesign& design) override;
  Image& addImage(const ImageDesign& design) override;
  ListBox& addListBox(const ListDesign& design) override;
  ComboBox& addComboBox(const ListDesign& design) override;
  OptionButton& addOptionButton(const OptionButtonDesign& design) override;
  TextBox& addTextBox(const TextBoxDesign& design) override;
  Slider& addSlider(const SliderDesign& design) override;
  ProgressBar& addProgressBar(const ProgressDesign& design) override;
  Control* focusedControl() const override;
  void setSystemMenu(const std::vector<MenuItem>& items) override { systemMenu_ = items; }
  void showSystemMenu() override {
    ++menusShown;
    fireUnlessEnded(system_.ended(), events.onSystemMenuOpening);
  }
  int menusShown = 0;  // showSystemMenu() calls
  // Raises the opening, then gives the items as the user sees them.
  const std::vector<MenuItem>& openSystemMenu() {
    fireUnlessEnded(system_.ended(), events.onSystemMenuOpening);
    return systemMenu_;
  }

  // --- used by the controls, the system and the input simulator ---
  HeadlessWindowSystem& system() const { return system_; }
  Navigator& navigator() { return navigator_; }
  ControlState* focus() const { return static_cast<ControlState*>(navigator_.focus()); }
  void setFocusTo(ControlState* c) { navigator_.setFocus(c); }
  // The focused control is about to be disabled or hidden.
  void focusLeaving(ControlState& control);
  // The window became the active one: the focus goes where the navigator
  // says.
  void focusArrived() { navigator_.setFocus(navigator_.arrival()); }
  void tabFocus(bool backwards) { navigator_.setFocus(navigator_.tab(backwards)); }
  // A key pressed while the window takes input: its KeyDown first, then Tab,
  // Enter and Esc, then the focused control.
  void keyPressed(const KeyEvent& key);

  void firePaint() {
    if (visible_ && !destroyed_) fireUnlessEnded(system_.ended(), events.onPaint);
  }
  void moveTo(int x, int y);
  void resizeTo(int w, int h);
  bool closeRequested();
  // The smallest outer size, in pixels, a size change may leave.
  int minOuterWidth() const;
  int minOuterHeight() const;
  bool acceptsInput() const { return enabled_ && visible_ && !destroyed_ && !system_.inputBlocked(this); }
  bool destroyed() const { return destroyed_; }

 private:
  const PixelBox& placed() const { return state_ == kStateMinimized ? normalBox_ : box_; }
  float tx() const { return system_.twipsPerPixelX(); }
  float ty() const { return system_.twipsPerPixelY(); }
  template <class I>
  I& add(std::unique_ptr<ControlState> control);

  HeadlessWindowSystem& system_;
  WindowDesign design_;
  PixelBox box_;
  PixelBox normalBox_;
  int insetLeft_ = 0, insetTop_ = 0, insetRight_ = 0, insetBottom_ = 0;
  int state_ = kStateNormal;
  bool visible_ = false;
  bool shown_ = false;
  bool enabled_ = true;
  bool topmost_ = false;
  bool destroyed_ = false;
  std::vector<std::unique_ptr<HeadlessLine>> lines_;
  std::vector<std::unique_ptr<ControlState>> controls_;
  Navigator navigator_;
  std::vector<MenuItem> systemMenu_;
};

}  // namespace ks
