// UTF-8, the text of the portable code, and UTF-16, the text of the Win32
// wide calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ks {

// Strict, for text that must arrive exactly (paths, registry names):
// invalid UTF-8 (bad sequences, overlong forms, surrogates) gives nothing.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// For text that is only shown: each byte that starts no valid sequence
// becomes U+FFFD.
std::u16string utf8ToUtf16Replacing(std::string_view text);
// An unpaired surrogate, which NTFS allows in names, becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace ks
