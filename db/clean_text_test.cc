#include "db/clean_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace addbook {
namespace {

// One row per class of character the cleaning treats.
TEST(CleanTextTest, Table) {
  // Left alone: Latin text, other quotes, line breaks, the characters of the
  // code page bytes around the marks' bytes, astral characters, the other
  // alefs and hamza forms, letters and marks next to the set, and decomposed
  // forms, which are not composed.
  const std::u16string kept =
      u"Hello, 12 -;\"`\u2019\r\n\u00F0\u00F4\u00F7\u00F9\u00FA\U0001F600\u0627\u0671\u0621"
      u"\u0624\u0626\u0649\u064A\u0640\u0653\u0654\u0655\u0670\u06D6\u06ED\u0627\u0654";
  const std::pair<std::u16string, std::u16string> rows[] = {
      {kept, kept},
      // The eight marks, inside a word, removed.
      {u"\u0643\u064B\u064C\u064D\u064E\u064F\u0650\u0651\u0652\u062A", u"\u0643\u062A"},
      // The three alef forms folded.
      {u"\u0623\u0625\u0622", u"\u0627\u0627\u0627"},
      // Every apostrophe doubled, once.
      {u"O'Neil ''", u"O''Neil ''''"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Utf16ToUtf8(CleanText(in)), Utf16ToUtf8(out));
}

}  // namespace
}  // namespace addbook
