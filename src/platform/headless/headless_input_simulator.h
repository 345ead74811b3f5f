// User input on the headless platform.
#pragma once

#include <string>

#include "platform/headless/headless_window_system.h"
#include "platform/input_simulator.h"

namespace ks {

// User input on the headless platform: calls the handlers a real action
// would, and refuses input to disabled windows and to windows behind a
// modal dialog.
class HeadlessInputSimulator final : public InputSimulator {
 public:
  explicit HeadlessInputSimulator(HeadlessWindowSystem& system) : system_(system) {}
  void dragWindowTo(Window& window, float left, float top) override;
  void activate(Window& window) override;
  void mouseDown(Window& window, const MouseEvent& e) override;
  void mouseMove(Window& window, const MouseEvent& e) override;
  void mouseUp(Window& window, const MouseEvent& e) override;
  void requestClose(Window& window) override;
  void minimize(Window& window) override;
  void restore(Window& window) override;
  void click(Control& control) override;
  void selectItem(ItemList& list, int index) override;
  void doubleClickItem(ItemList& list, int index) override;
  void typeText(TextBox& box, const std::string& text) override;
  void mouseDown(Image& image, const MouseEvent& e) override;
  void mouseMove(Image& image, const MouseEvent& e) override;
  void mouseUp(Image& image, const MouseEvent& e) override;
  void pressTab(Window& window, bool shift) override;
  void pressEnter(Window& window) override;
  void pressEscape(Window& window) override;
  void pressKey(Window& window, const KeyEvent& key) override;
  void chooseSystemMenuItem(Window& window, int id) override;
  void pressHotkey(const Hotkey& hotkey) override;
  void announceDrivesChanged() override { system_.announceDrivesChanged(); }

 private:
  HeadlessWindowSystem& system_;
};

}  // namespace ks
