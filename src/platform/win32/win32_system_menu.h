// The program's items at the top of a window's system menu, and the
// commands that stand for them.
#pragma once

#include <optional>
#include <vector>

#include "platform/window_system.h"
#include "platform/win32/win32_native.h"

namespace ks::win32 {

// System-menu commands of the program's items (menuCommandOf): id << 4
// above this, below the system's own (0xF000 and up); the low four bits
// belong to the system.
constexpr UINT kFirstMenuCommand = 0x1000;
constexpr UINT menuCommandOf(int id) { return kFirstMenuCommand + (static_cast<UINT>(id) << 4); }

class SystemMenu {
 public:
  // Replaces the program's items and puts them into the window's menu.
  void set(HWND window, const std::vector<MenuItem>& items);
  // Puts the program's items above the system menu's own, in place of
  // those put there before.
  void rebuild(HWND window);
  // The id of the program's item a command stands for; nothing for any
  // other command.
  static std::optional<int> itemOf(UINT command);

 private:
  std::vector<MenuItem> items_;
  int entries_ = 0;  // positions at the top of the system menu that are ours
};

}  // namespace ks::win32
