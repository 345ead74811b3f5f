// Controls on a window's client area. Positions are twips relative to the
// client area; like windows, controls keep whole pixels. A change made by the
// program raises the same event a user's change does where the forms rely on
// it (a list's Click when its index is set, an option button's Click when it
// is selected).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/handlers.h"
#include "platform/window_system.h"

namespace ks {

// A picture as 32-bit pixels, top row first, blue-green-red-alpha. Alpha 0 is
// transparent where the control supports it.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgra;
  bool empty() const { return width <= 0 || height <= 0; }
};

struct Font {
  std::string name = "Tahoma";
  float size = 8.25f;  // points
  bool bold = false;
  bool underline = false;
};

struct ControlDesign {
  float left = 0, top = 0, width = 0, height = 0;
  int tabIndex = -1;  // -1: takes no focus
  bool enabled = true;
  bool visible = true;
  std::optional<Font> font;  // the window's font when empty
};

// Placed: relative to the client area.
class Control : public Placed {
 public:
  virtual ~Control() = default;
  virtual bool enabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool visible() const = 0;
  virtual void setVisible(bool visible) = 0;
  virtual int tabIndex() const = 0;
  virtual bool hasFocus() const = 0;
  virtual void setFocus() = 0;
  // Repaints the control at once, without waiting for pending events.
  virtual void refresh() = 0;

 protected:
  // False once the program has ended: no handler may run any more.
  virtual bool handlersRun() const { return true; }
  void raise(const std::function<void()>& handler) const { fireUnlessEnded(!handlersRun(), handler); }
};

struct ButtonDesign : ControlDesign {
  std::string caption;
  Picture picture;  // a graphical button shows this instead of a caption
  bool isDefault = false;  // Enter presses it
  bool isCancel = false;   // Esc presses it
};

class Button : public Control {
 public:
  virtual std::string caption() const = 0;
  virtual void setCaption(const std::string& caption) = 0;
  std::function<void()> onClick;
};

enum class Align { Left, Center, Right };

struct LabelDesign : ControlDesign {
  std::string caption;
  std::optional<Rgb> backColor;  // empty: transparent
  std::optional<Rgb> foreColor = kBlack;  // empty: the system's label text colour
  bool wordWrap = true;
  Align align = Align::Left;
};

class Label : public Control {
 public:
  virtual std::string caption() const = 0;
  virtual void setCaption(const std::string& caption) = 0;
  std::function<void()> onClick;
};

struct ImageDesign : ControlDesign {
  Picture picture;
  bool stretch = false;  // scale the picture to the control, else draw it unscaled
};

class Image : public Control {
 public:
  virtual void setPicture(const Picture& picture) = 0;
  // Mouse events with the position relative to the image, in twips.
  std::function<void(const MouseEvent&)> onMouseDown;
  std::function<void(const MouseEvent&)> onMouseMove;
  std::function<void(const MouseEvent&)> onMouseUp;
};

// A list of text items with at most one selected (index -1: none).
class ItemList : public Control {
 public:
  virtual int listCount() const = 0;
  virtual std::string list(int index) const = 0;
  virtual void clear() = 0;
  virtual void addItem(const std::string& text) = 0;
  virtual int listIndex() const = 0;
  // Selects the item (or none with -1) and raises Click, also when the
  // program sets it; an index out of range changes nothing.
  void setListIndex(int index) {
    if (index < -1 || index >= listCount() || !showSelection(index)) return;
    raise(onClick);
  }
  std::function<void()> onClick;
  std::function<void()> onDblClick;

 protected:
  // Shows the selection; false when the control is gone.
  virtual bool showSelection(int index) = 0;
};

struct ListDesign : ControlDesign {
  std::vector<std::string> items;
};

// A plain list box.
class ListBox : public ItemList {
 public:
  // Scrolls so the item is visible.
  virtual void setTopIndex(int index) = 0;
};

// A drop-down list: the user picks from the items only.
class ComboBox : public ItemList {
 public:
  // The selected item's text, or "" with none selected.
  virtual std::string text() const = 0;
};

struct OptionButtonDesign : ControlDesign {
  std::string caption;
  std::optional<Rgb> backColor;
  int group = 0;  // option buttons of one group exclude each other
};

class OptionButton : public Control {
 public:
  virtual std::string caption() const = 0;
  virtual bool value() const = 0;
  // Selecting deselects the group's others and raises Click, also when the
  // program selects; deselecting by the program raises nothing.
  void setValue(bool selected) {
    if (showValue(selected) && selected) raise(onClick);
  }
  std::function<void()> onClick;

 protected:
  // Checks the button, the others of its group let go; or clears it. False
  // when the control is gone.
  virtual bool showValue(bool selected) = 0;
};

// Keeps a control's Click from running while the program changes the
// control itself: the handler is set aside and put back when this goes.
template <class C>
class MutedClick {
 public:
  explicit MutedClick(C& control) : control_(control), saved_(std::move(control.onClick)) { control_.onClick = nullptr; }
  MutedClick(const MutedClick&) = delete;
  MutedClick& operator=(const MutedClick&) = delete;
  ~MutedClick() { control_.onClick = std::move(saved_); }

 private:
  C& control_;
  std::function<void()> saved_;
};

struct TextBoxDesign : ControlDesign {
  std::string text;
  int maxLength = 0;  // 0: no limit beyond the system's
};

class TextBox : public Control {
 public:
  virtual std::string text() const = 0;
  virtual void setText(const std::string& text) = 0;
  std::function<void()> onChange;
};

struct SliderDesign : ControlDesign {
  int min = 0, max = 100, value = 0;
  int smallStep = 1;   // an arrow key moves this far
  int largeStep = 10;  // Page Up and Page Down
};

// A horizontal slider over the whole numbers from min to max. Its own keys
// move it: Left and Up one small step down, Right and Down one up, Page Up
// and Page Down a large step, Home and End to the ends. Change is raised once
// for each change of the value, by the user (keys, each step of a drag) or
// by the program (setValue, a setRange that moves it), so a form that shows
// the value follows either way; a call that leaves the value as it was
// raises nothing.
class Slider : public Control {
 public:
  virtual int value() const = 0;
  virtual int min() const = 0;
  virtual int max() const = 0;
  // Clamped into the range.
  void setValue(int v) {
    const int clamped = std::clamp(v, min(), max());
    if (clamped != value() && showValue(clamped)) raise(onChange);
  }
  // A max below min is taken as min. The value is clamped into the new range.
  void setRange(int lo, int hi) {
    hi = std::max(lo, hi);
    const int before = value();
    if (!showRange(lo, hi)) return;
    const int after = std::clamp(before, lo, hi);
    // Not every system moves the value into a new range by itself.
    if (value() != after) showValue(after);
    if (after != before) raise(onChange);
  }
  virtual void setLargeStep(int step) = 0;
  std::function<void()> onChange;

 protected:
  // Show a value already in range, or a new range; false when the control is
  // gone.
  virtual bool showValue(int value) = 0;
  virtual bool showRange(int min, int max) = 0;
};

struct ProgressDesign : ControlDesign {
  int max = 100;
};

// A bar that fills from 0 to max; it takes no focus.
class ProgressBar : public Control {
 public:
  // Clamped into 0 to max.
  virtual void setValue(int value) = 0;
  virtual int value() const = 0;
  // The value is clamped into the new range; a max below 1 is taken as 1.
  virtual void setMax(int max) = 0;
  virtual int max() const = 0;
};

}  // namespace ks
