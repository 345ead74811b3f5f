// Global key combinations, registered with the hidden owner.
#include "platform/win32/win32_window.h"

namespace ks::win32 {

bool Win32WindowSystem::registerHotkey(int id, const Hotkey& hotkey) {
  HWND owner = hiddenOwner();
  if (!owner) return false;
  unregisterHotkey(id);
  UINT modifiers = (hotkey.ctrl ? MOD_CONTROL : 0u) | (hotkey.alt ? MOD_ALT : 0u) | (hotkey.shift ? MOD_SHIFT : 0u) |
                   (hotkey.win ? MOD_WIN : 0u);
  constexpr UINT kNoRepeat = 0x4000;  // MOD_NOREPEAT (Windows 7): one press, one message
  if (!RegisterHotKey(owner, id, modifiers | kNoRepeat, static_cast<UINT>(hotkey.key)) &&
      !RegisterHotKey(owner, id, modifiers, static_cast<UINT>(hotkey.key)))
    return false;
  hotkeys_.emplace_back(id, hotkey);
  return true;
}

void Win32WindowSystem::unregisterHotkey(int id) {
  const auto before = hotkeys_.size();
  std::erase_if(hotkeys_, [id](const auto& entry) { return entry.first == id; });
  if (hotkeys_.size() != before && owner_) UnregisterHotKey(owner_.get(), id);
}

int Win32WindowSystem::hotkeyId(const Hotkey& hotkey) const {
  for (const auto& [id, key] : hotkeys_)
    if (key == hotkey) return id;
  return 0;
}

void Win32WindowSystem::hotkeyPressed(int id) {
  if (ended_ || !onHotkey) return;
  const auto handler = onHotkey;  // a handler may replace it
  handler(id);
}

}  // namespace ks::win32
