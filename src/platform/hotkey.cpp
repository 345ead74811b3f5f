#include "platform/hotkey.h"

#include <array>
#include <cctype>

#include "base/path_rules.h"  // equalsIgnoreCase

namespace ks {

namespace {

struct KeyName {
  const char* name;
  int key;
};

// Keys that make sense in a global combination, besides F1 to F24, A to Z
// and 0 to 9.
constexpr std::array<KeyName, 11> kNamedKeys{{{"Space", 0x20},
                                               {"PageUp", 0x21},
                                               {"PageDown", 0x22},
                                               {"End", 0x23},
                                               {"Home", 0x24},
                                               {"PrintScreen", 0x2C},
                                               {"Insert", 0x2D},
                                               {"Delete", 0x2E},
                                               {"Pause", 0x13},
                                               {"Left", 0x25},
                                               {"Right", 0x27}}};
constexpr int kF1 = 0x70;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::optional<int> keyOf(std::string_view name) {
  if (name.size() == 1) {
    const auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    return std::nullopt;
  }
  if ((name[0] == 'F' || name[0] == 'f') && name.size() <= 3) {
    int n = 0;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + (c - '0');
    }
    if (name[1] != '0' && n >= 1 && n <= 24) return kF1 + n - 1;
    return std::nullopt;
  }
  for (const KeyName& k : kNamedKeys)
    if (equalsIgnoreCase(name, k.name)) return k.key;
  return std::nullopt;
}

}  // namespace

std::optional<Hotkey> parseHotkey(std::string_view text) {
  Hotkey hotkey;
  std::size_t at = 0;
  bool haveKey = false;
  for (;;) {
    const std::size_t plus = text.find('+', at);
    const std::string_view part = trimmed(text.substr(at, plus == std::string_view::npos ? text.size() - at : plus - at));
    if (part.empty() || haveKey) return std::nullopt;  // "Ctrl++F9", or something after the key
    bool* modifier = equalsIgnoreCase(part, "Ctrl")    ? &hotkey.ctrl
                     : equalsIgnoreCase(part, "Alt")   ? &hotkey.alt
                     : equalsIgnoreCase(part, "Shift") ? &hotkey.shift
                     : equalsIgnoreCase(part, "Win")   ? &hotkey.win
                                                       : nullptr;
    if (modifier) {
      if (*modifier) return std::nullopt;
      *modifier = true;
    } else {
      const std::optional<int> key = keyOf(part);
      if (!key) return std::nullopt;
      hotkey.key = *key;
      haveKey = true;
    }
    if (plus == std::string_view::npos) break;
    at = plus + 1;
  }
  if (!haveKey || !(hotkey.ctrl || hotkey.alt || hotkey.shift || hotkey.win)) return std::nullopt;
  return hotkey;
}

std::string hotkeyText(const Hotkey& hotkey) {
  std::string text;
  if (hotkey.ctrl) text += "Ctrl+";
  if (hotkey.alt) text += "Alt+";
  if (hotkey.shift) text += "Shift+";
  if (hotkey.win) text += "Win+";
  if (hotkey.key >= kF1 && hotkey.key < kF1 + 24) return text + "F" + std::to_string(hotkey.key - kF1 + 1);
  if ((hotkey.key >= 'A' && hotkey.key <= 'Z') || (hotkey.key >= '0' && hotkey.key <= '9'))
    return text + static_cast<char>(hotkey.key);
  for (const KeyName& k : kNamedKeys)
    if (k.key == hotkey.key) return text + k.name;
  return text + "?";
}

}  // namespace ks
