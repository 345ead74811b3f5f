// UTF-8 text to and from the UTF-16 of the wide Win32 calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace ks::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

// Nothing for text that is not UTF-8: for paths and names that must arrive
// exactly.
inline std::optional<std::wstring> toWide(std::string_view text) {
  const std::optional<std::u16string> units = utf8ToUtf16(text);
  if (!units) return std::nullopt;
  return std::wstring(units->begin(), units->end());
}

// For text that is only shown (captions, list items): a bad byte shows as
// U+FFFD.
inline std::wstring toWideShown(std::string_view text) {
  const std::u16string units = utf8ToUtf16Replacing(text);
  return std::wstring(units.begin(), units.end());
}

inline std::string fromWide(std::wstring_view text) {
  std::u16string units(text.begin(), text.end());
  return utf16ToUtf8(units);
}

}  // namespace ks::win32
