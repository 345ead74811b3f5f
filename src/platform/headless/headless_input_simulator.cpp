#include "platform/headless/headless_input_simulator.h"

#include "platform/handlers.h"
#include "platform/headless/headless_window.h"

namespace ks {

void HeadlessInputSimulator::dragWindowTo(Window& window, float left, float top) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput() || w.windowState() != kStateNormal) return;
  system_.activate(&w);
  const auto& o = system_.options();
  w.moveTo(toPixels(left, o.twipsPerPixelX), toPixels(top, o.twipsPerPixelY));
}

void HeadlessInputSimulator::activate(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) system_.activate(&w);
}

void HeadlessInputSimulator::mouseDown(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  system_.activate(&w);
  fireUnlessEnded(system_.ended(), w.events.onMouseDown, e);
}

void HeadlessInputSimulator::mouseMove(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  fireUnlessEnded(system_.ended(), w.events.onMouseMove, e);
}

void HeadlessInputSimulator::mouseUp(Window& window, const MouseEvent& e) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput()) return;
  fireUnlessEnded(system_.ended(), w.events.onMouseUp, e);
}

void HeadlessInputSimulator::requestClose(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) w.closeRequested();
}

void HeadlessInputSimulator::minimize(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (w.acceptsInput()) w.setWindowState(kStateMinimized);
}

void HeadlessInputSimulator::restore(Window& window) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.destroyed() && w.visible()) w.setWindowState(kStateNormal);
}

namespace {

ControlState* inputTarget(Control& control) {
  auto* state = dynamic_cast<ControlState*>(&control);
  return state && state->acceptsInput() ? state : nullptr;
}

}  // namespace

void HeadlessInputSimulator::click(Control& control) {
  if (!inputTarget(control)) return;
  if (auto* b = dynamic_cast<Button*>(&control)) {
    control.setFocus();
    if (b->onClick) b->onClick();
  } else if (auto* o = dynamic_cast<OptionButton*>(&control)) {
    control.setFocus();
    o->setValue(true);
  } else if (auto* l = dynamic_cast<Label*>(&control)) {
    if (l->onClick) l->onClick();
  }
}

void HeadlessInputSimulator::selectItem(ItemList& list, int index) {
  if (!inputTarget(list) || index < 0 || index >= list.listCount()) return;
  list.setFocus();
  list.setListIndex(index);
}

void HeadlessInputSimulator::doubleClickItem(ItemList& list, int index) {
  if (!inputTarget(list) || index < 0 || index >= list.listCount()) return;
  list.setFocus();
  list.setListIndex(index);
  if (list.onDblClick) list.onDblClick();
}

void HeadlessInputSimulator::typeText(TextBox& box, const std::string& text) {
  if (!inputTarget(box)) return;
  box.setFocus();
  box.setText(text);
}

void HeadlessInputSimulator::mouseDown(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseDown) image.onMouseDown(e);
}
void HeadlessInputSimulator::mouseMove(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseMove) image.onMouseMove(e);
}
void HeadlessInputSimulator::mouseUp(Image& image, const MouseEvent& e) {
  if (inputTarget(image) && image.onMouseUp) image.onMouseUp(e);
}

void HeadlessInputSimulator::pressTab(Window& window, bool shift) { pressKey(window, KeyEvent{kKeyTab, false, false, shift}); }

void HeadlessInputSimulator::pressKey(Window& window, const KeyEvent& key) {
  static_cast<HeadlessWindow&>(window).keyPressed(key);
}

namespace {

// The item with the id, when it and the submenus it is in can be chosen.
const MenuItem* choosable(const std::vector<MenuItem>& items, int id) {
  for (const MenuItem& item : items) {
    if (!item.enabled) continue;
    if (item.id == id && item.items.empty()) return &item;
    if (const MenuItem* inner = choosable(item.items, id)) return inner;
  }
  return nullptr;
}

}  // namespace

void HeadlessInputSimulator::chooseSystemMenuItem(Window& window, int id) {
  auto& w = static_cast<HeadlessWindow&>(window);
  if (!w.acceptsInput() || id <= 0) return;
  if (choosable(w.openSystemMenu(), id)) fireUnlessEnded(system_.ended(), w.events.onSystemMenu, id);
}

void HeadlessInputSimulator::pressHotkey(const Hotkey& hotkey) {
  const int id = system_.hotkeyId(hotkey);
  if (id != 0 && system_.onHotkey && !system_.ended()) system_.onHotkey(id);
}

void HeadlessInputSimulator::pressEnter(Window& window) { pressKey(window, KeyEvent{kKeyEnter}); }

void HeadlessInputSimulator::pressEscape(Window& window) { pressKey(window, KeyEvent{kKeyEscape}); }

}  // namespace ks
