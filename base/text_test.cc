#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace addbook {
namespace {

TEST(TextTest, Utf8RoundTrip) {
  const std::u16string samples[] = {u"", u"abc", u"\u0628\u0627\u0628", u"\r\n\t",
                                    u"\U0001F600x", std::u16string(1, u'\0') + u"z"};
  for (const std::u16string& s : samples) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  EXPECT_EQ(Utf16ToUtf8(u"\u0628"), "\xD8\xA8");
}

TEST(TextTest, MalformedInputBecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
  EXPECT_EQ(Utf8ToUtf16("\xE0\xA0"), u"\uFFFD\uFFFD");  // cut short
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // unpaired surrogate
}

TEST(TextTest, DecimalIsPlain) {
  EXPECT_EQ(Decimal(0), u"0");
  EXPECT_EQ(Decimal(706), u"706");
  EXPECT_EQ(Decimal(-1), u"-1");
  EXPECT_EQ(Decimal(std::numeric_limits<int64_t>::min()), u"-9223372036854775808");
  EXPECT_EQ(Decimal(std::numeric_limits<int64_t>::max()), u"9223372036854775807");
}

}  // namespace
}  // namespace addbook
