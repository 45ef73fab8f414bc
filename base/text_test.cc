#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace addbook {
namespace {

// UTF-8 and UTF-16 carry every character both ways, NUL and beyond the first
// plane included; what is not UTF-8, or no character, becomes U+FFFD.
TEST(TextTest, Utf8) {
  const std::u16string all = u"\u0628\r\n\U0001F600" + std::u16string(1, u'\0') + u"z";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToUtf8(u"\u0628"), "\xD8\xA8");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\xC0\xAF\xE0\xA0"),  // a stray byte, overlong '/', cut short
            u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // unpaired surrogate
}

// Wide text and paths carry every character, Arabic and beyond the first
// plane included, whatever the width of wchar_t.
TEST(TextTest, WideTextAndPaths) {
  const std::u16string name = u"C:\\\u0645\u0643\u062A\u0628 \U0001F600\\h1.txt";
  EXPECT_EQ(WideToUtf16(Utf16ToWide(name)), name);
  EXPECT_EQ(PathToUtf16(PathFromUtf16(name)), name);
  EXPECT_EQ(PathToUtf8(PathFromUtf16(u"\u0645")), "\xD9\x85");
  // Where wchar_t holds UTF-16, as on Windows, text passes unchanged, as the
  // system itself keeps it; where it holds code points, an unpaired surrogate
  // is no character.
  EXPECT_EQ(Utf16ToWide(u"\xD800x"), sizeof(wchar_t) == 2 ? L"\xD800x" : L"\xFFFDx");
}

TEST(TextTest, NamesCompareIgnoringAsciiCaseOnly) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("HadeethID", "hadeethid"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"TitleID", u"TITLEID"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"\u00C9", u"\u00E9"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Title", "Titles"));
}

TEST(TextTest, DecimalIsPlain) {
  EXPECT_EQ(Decimal(0) + Decimal(std::numeric_limits<int64_t>::max()), u"09223372036854775807");
  EXPECT_EQ(Decimal(std::numeric_limits<int64_t>::min()), u"-9223372036854775808");
}

}  // namespace
}  // namespace addbook
