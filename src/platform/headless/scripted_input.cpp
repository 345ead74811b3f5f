#include <algorithm>
#include <cstddef>

#include "platform/headless/block_text_painter.h"
#include "platform/headless/scripted_key_watch.h"

namespace ks {

std::string ScriptedKeyWatch::keyName(const KeyStroke& stroke) const {
  const int key = stroke.key;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, static_cast<char>(key));
  if (key >= 0x70 && key <= 0x87) {
    std::string name = std::to_string(key - 0x70 + 1);
    name.insert(name.begin(), 'F');
    return name;
  }
  switch (key) {
    case 0x08: return "Backspace";
    case 0x09: return "Tab";
    case 0x0D: return "Enter";
    case 0x1B: return "Esc";
    case 0x20: return "Space";
    case 0x21: return "Page Up";
    case 0x22: return "Page Down";
    case 0x23: return "End";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x26: return "Up";
    case 0x27: return "Right";
    case 0x28: return "Down";
    case 0x2D: return "Insert";
    case 0x2E: return "Delete";
    case 0xBA: return ";";
    default: return {};
  }
}

TextMask BlockTextPainter::paint(const std::string& utf8, int pixelHeight) {
  painted.push_back(utf8);
  TextMask mask;
  if (pixelHeight <= 0) return mask;
  const std::int32_t cell = std::max(pixelHeight / 2, 1) + 1;
  std::vector<bool> spaces;
  for (const char c : utf8) {
    // Continuation bytes belong to the code point before them.
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) spaces.push_back(c == ' ');
  }
  mask.width = cell * static_cast<std::int32_t>(spaces.size());
  mask.height = pixelHeight;
  mask.coverage.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
  for (std::size_t k = 0; k < spaces.size(); ++k) {
    if (spaces[k]) continue;
    for (std::int32_t y = 0; y < mask.height; ++y) {
      std::uint8_t* row = mask.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mask.width);
      std::fill_n(row + k * static_cast<std::size_t>(cell), cell - 1, std::uint8_t{255});
    }
  }
  return mask;
}

}  // namespace ks
