#include "base/text.h"

#include <gtest/gtest.h>

namespace addbook {
namespace {

// UTF-8 and UTF-16 carry every character both ways, NUL and beyond the first
// plane included; what is not UTF-8, or no character, becomes U+FFFD.  Names
// compare ignoring the case of ASCII letters only.
TEST(TextTest, Utf8AndNames) {
  const std::u16string all = u"\u0628\r\n\U0001F600" + std::u16string(1, u'\0') + u"z";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToUtf8(u"\u0628"), "\xD8\xA8");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\xC0\xAF\xE0\xA0"),  // a stray byte, overlong '/', cut short
            u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // unpaired surrogate
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"\u00C9", u"\u00E9"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Title", "Titles"));
}

}  // namespace
}  // namespace addbook
