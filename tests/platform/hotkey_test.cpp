#include "platform/hotkey.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ks {
namespace {

// Stored texts as users write them: read back in one canonical form, or
// nothing when no combination can be read from them.
TEST(Hotkey, ReadsModifiersThenOneKey) {
  struct Case {
    const char* text;
    std::optional<Hotkey> key;
    const char* canonical;
  };
  const Case cases[] = {
      {"Ctrl+Shift+F9", Hotkey{true, false, true, false, 0x78}, "Ctrl+Shift+F9"},
      {"Alt+F9", Hotkey{false, true, false, false, 0x78}, "Alt+F9"},
      {"shift + ctrl + f10", Hotkey{true, false, true, false, 0x79}, "Ctrl+Shift+F10"},
      {"Win+Alt+R", Hotkey{false, true, false, true, 'R'}, "Alt+Win+R"},
      {"Ctrl+7", Hotkey{true, false, false, false, '7'}, "Ctrl+7"},
      {"Ctrl+F24", Hotkey{true, false, false, false, 0x87}, "Ctrl+F24"},
      {"Ctrl+Alt+PageDown", Hotkey{true, true, false, false, 0x22}, "Ctrl+Alt+PageDown"},
      {"Ctrl+Space", Hotkey{true, false, false, false, 0x20}, "Ctrl+Space"},
      {"F9", std::nullopt, nullptr},              // no modifier: every program's F9
      {"Ctrl+Shift", std::nullopt, nullptr},      // no key
      {"Ctrl+F9+F10", std::nullopt, nullptr},     // two keys
      {"F9+Ctrl", std::nullopt, nullptr},         // the key comes last
      {"Ctrl+Ctrl+F9", std::nullopt, nullptr},
      {"Ctrl++F9", std::nullopt, nullptr},
      {"Ctrl+F25", std::nullopt, nullptr},
      {"Ctrl+F0", std::nullopt, nullptr},
      {"Control+F9", std::nullopt, nullptr},
      {"Ctrl+Ä", std::nullopt, nullptr},
      {"", std::nullopt, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<Hotkey> read = parseHotkey(c.text);
    EXPECT_EQ(read, c.key);
    if (read) {
      EXPECT_EQ(hotkeyText(*read), c.canonical);
    }
  }
}

}  // namespace
}  // namespace ks
