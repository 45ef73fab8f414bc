#include "db/clean_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace addbook {
namespace {

struct CleanCase {
  const char* name;
  std::u16string in;
  std::u16string out;
};

TEST(CleanTextTest, Table) {
  const CleanCase cases[] = {
      {"empty", u"", u""},
      {"latin unchanged", u"Hello, World 123 -;:!?()[]", u"Hello, World 123 -;:!?()[]"},
      {"every mark removed", u"\u064B\u064C\u064D\u064E\u064F\u0650\u0651\u0652", u""},
      {"marks in any order and number", u"\u0652\u0652\u064B\u0651\u064E\u064E", u""},
      {"harakat inside a word", u"\u0643\u064E\u062A\u064E\u0628\u064E", u"\u0643\u062A\u0628"},
      {"alef forms folded", u"\u0623\u0625\u0622", u"\u0627\u0627\u0627"},
      {"other hamza forms and alefs kept", u"\u0627\u0671\u0621\u0624\u0626\u0649",
       u"\u0627\u0671\u0621\u0624\u0626\u0649"},
      {"marks outside the set kept", u"\u0640\u0653\u0654\u0655\u0670\u06D6\u06ED",
       u"\u0640\u0653\u0654\u0655\u0670\u06D6\u06ED"},
      {"decomposed alef with hamza not composed", u"\u0627\u0654", u"\u0627\u0654"},
      {"one apostrophe doubled", u"'", u"''"},
      {"two apostrophes give four", u"''", u"''''"},
      {"apostrophe inside a word", u"O'Neil", u"O''Neil"},
      {"other quotes unchanged", u"\"`\u2019", u"\"`\u2019"},
      {"latin accents of the code page's mark bytes unchanged", u"\u00F0\u00F4\u00F7\u00F9\u00FA",
       u"\u00F0\u00F4\u00F7\u00F9\u00FA"},
      {"line breaks kept", u"a\r\nb\r\n", u"a\r\nb\r\n"},
      {"astral characters pass", u"\U0001F600'", u"\U0001F600''"},
      {"mixed",
       u"\u0623\u064E\u0628\u064F\u0648 "
       u"'\u0647\u064F\u0631\u064E\u064A\u0652\u0631\u064E\u0629\u064E'",
       u"\u0627\u0628\u0648 ''\u0647\u0631\u064A\u0631\u0629''"},
  };
  for (const CleanCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToUtf8(CleanText(c.in)), Utf16ToUtf8(c.out));
  }
}

}  // namespace
}  // namespace addbook
