// The keyboard rules every window system shares, decided once: where Tab
// goes, where the focus goes when the focused control can no longer hold it,
// which control a window hands the focus to when it gets it, which button
// Enter and Escape press, and which option buttons let go when one is
// selected. Each backend keeps one Navigator per window and applies what it
// decides.
#pragma once

#include <vector>

namespace ks {

// A control as the keyboard rules see it.
class Navigable {
 public:
  // Orders Tab; controls with equal positions keep their creation order.
  virtual int tabPosition() const = 0;
  // Can hold the keyboard focus now: a kind of control that takes it, with a
  // tab position, enabled and visible.
  virtual bool takesFocus() const = 0;
  virtual bool isButton() const { return false; }
  virtual bool isDefault() const { return false; }  // Enter presses it
  virtual bool isCancel() const { return false; }   // Escape presses it
  virtual bool isOption() const { return false; }
  virtual int optionGroup() const { return 0; }

 protected:
  ~Navigable() = default;
};

class Navigator {
 public:
  // Controls in creation order.
  void add(Navigable& control);
  void remove(const Navigable& control);

  // The control that has the focus, or had it when the window was last
  // active: the window's focus memory.
  Navigable* focus() const { return focus_; }
  void setFocus(Navigable* control) { focus_ = control; }

  // Where Tab (or Shift+Tab) moves the focus: the next control that takes
  // it, wrapping; from nowhere, the first (or the last).
  Navigable* tab(bool backwards) const;
  // Where the focus goes when `leaving` is about to be disabled or hidden:
  // on to the next control in tab order, as Tab would go; nothing when no
  // other control takes it (the window keeps the focus).
  Navigable* handOff(const Navigable& leaving) const;
  // Where the focus goes when the window gets it: the remembered control if
  // it still takes the focus, else the first in tab order.
  Navigable* arrival() const;
  // What Enter presses: the focused button, else the default button.
  Navigable* enterTarget() const;
  // What Escape presses: the cancel button.
  Navigable* escapeTarget() const;
  // The option buttons that let go when `option` is selected.
  std::vector<Navigable*> groupMates(const Navigable& option) const;

 private:
  std::vector<Navigable*> byTabPosition() const;
  Navigable* buttonWith(bool (Navigable::*role)() const) const;

  std::vector<Navigable*> controls_;
  Navigable* focus_ = nullptr;
};

}  // namespace ks
