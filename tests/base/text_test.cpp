#include "base/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ks {
namespace {

// Valid text converts both ways; a bad sequence gives nothing strictly and
// one U+FFFD per byte that starts no valid sequence when only shown.
TEST(Text, ConvertsBetweenUtf8AndUtf16) {
  struct Case {
    std::string utf8;
    std::optional<std::u16string> strict;  // nothing: malformed
    std::u16string shown;
  };
  const Case cases[] = {
      {"", u"", u""},
      {"movie.avi", u"movie.avi", u"movie.avi"},
      {"Zo\xC3\xAB", u"Zo\u00EB", u"Zo\u00EB"},
      {"\xE6\x98\xA0\xE7\x94\xBB", u"\u6620\u753B", u"\u6620\u753B"},
      {"\xF0\x9F\x8E\xA5.avi", u"\U0001F3A5.avi", u"\U0001F3A5.avi"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", u"\xDBFF\xDFFF"},  // U+10FFFF, the last code point
      {"\x80", std::nullopt, u"\uFFFD"},
      {"\xC0\xAF", std::nullopt, u"\uFFFD\uFFFD"},          // overlong '/'
      {"\xC0\x80", std::nullopt, u"\uFFFD\uFFFD"},          // overlong NUL
      {"\xE0\x80\xAF", std::nullopt, u"\uFFFD\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", std::nullopt, u"\uFFFD\uFFFD\uFFFD"},  // surrogate
      {"\xF4\x90\x80\x80", std::nullopt, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xC3", std::nullopt, u"\uFFFD"},                    // cut short
      {"\xE2\x82", std::nullopt, u"\uFFFD\uFFFD"},
      {"a\x80", std::nullopt, u"a\uFFFD"},                  // stray continuation
      {"\xE6\x98" "A", std::nullopt, u"\uFFFD\uFFFD" "A"},  // continuation missing
      {"a\xFF", std::nullopt, u"a\uFFFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.utf8), c.strict) << c.utf8;
    EXPECT_EQ(utf8ToUtf16Replacing(c.utf8), c.shown) << c.utf8;
    if (c.strict) {
      EXPECT_EQ(utf16ToUtf8(*c.strict), c.utf8) << c.utf8;
    }
  }
  // NTFS lets a name hold an unpaired surrogate; it must still come out as text.
  EXPECT_EQ(utf16ToUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace ks
