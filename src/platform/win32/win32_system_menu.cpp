// The program's items in a window's system menu.
#include "platform/win32/win32_system_menu.h"

#include "platform/win32/wide_text.h"

namespace ks::win32 {
namespace {

// Inserts the items into the menu from position `at` on; submenus are owned
// by it. Returns how many went in.
int insertItems(HMENU menu, int at, const std::vector<MenuItem>& items) {
  int n = 0;
  for (const MenuItem& item : items) {
    const auto position = static_cast<UINT>(at + n);
    BOOL inserted = FALSE;
    if (item.text.empty()) {
      inserted = InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    } else {
      const std::wstring text = toWideShown(item.text);
      const UINT flags = MF_BYPOSITION | MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
      if (!item.items.empty()) {
        HMENU sub = CreatePopupMenu();
        if (!sub) continue;
        insertItems(sub, 0, item.items);
        inserted = InsertMenuW(menu, position, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
        if (!inserted) DestroyMenu(sub);
      } else {
        inserted = InsertMenuW(menu, position, flags | (item.checked ? MF_CHECKED : MF_UNCHECKED),
                               item.id > 0 ? menuCommandOf(item.id) : 0, text.c_str());
        if (inserted && item.radio) {
          // A dot instead of a check mark, as radio items show.
          MENUITEMINFOW info{};
          info.cbSize = sizeof info;
          info.fMask = MIIM_FTYPE;
          info.fType = MFT_STRING | MFT_RADIOCHECK;
          SetMenuItemInfoW(menu, position, TRUE, &info);
        }
      }
    }
    if (inserted) ++n;
  }
  return n;
}

}  // namespace

void SystemMenu::set(HWND window, const std::vector<MenuItem>& items) {
  items_ = items;
  rebuild(window);
}

void SystemMenu::rebuild(HWND window) {
  if (!window) return;
  HMENU menu = GetSystemMenu(window, FALSE);
  if (!menu) return;
  for (; entries_ > 0; --entries_) DeleteMenu(menu, 0, MF_BYPOSITION);
  if (items_.empty()) return;
  // At the top of the system menu, with a separator below.
  entries_ = insertItems(menu, 0, items_);
  if (InsertMenuW(menu, static_cast<UINT>(entries_), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr)) ++entries_;
}

std::optional<int> SystemMenu::itemOf(UINT command) {
  if (command < menuCommandOf(0) || command >= menuCommandOf(256) || (command & 0xF)) return std::nullopt;
  return static_cast<int>((command - kFirstMenuCommand) >> 4);
}

}  // namespace ks::win32
