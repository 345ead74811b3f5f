// A global key combination, and its text as the settings store keeps it:
// modifiers Ctrl, Alt, Shift and Win, then one key name, joined by "+"
// ("Ctrl+Shift+F9", "Alt+F9").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ks {

struct Hotkey {
  bool ctrl = false, alt = false, shift = false, win = false;
  int key = 0;  // the key's Windows virtual-key code
  friend bool operator==(const Hotkey&, const Hotkey&) = default;
};

// Nothing for text that names no such combination: an unknown name, a key
// twice, no key, or a key with no modifier at all (which would take that key
// away from every other program).
std::optional<Hotkey> parseHotkey(std::string_view text);
// The combination's text, modifiers in the order Ctrl, Alt, Shift, Win.
std::string hotkeyText(const Hotkey& hotkey);

}  // namespace ks
