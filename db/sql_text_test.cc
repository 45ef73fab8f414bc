#include "db/sql_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace addbook {
namespace {

// Every statement once, byte for byte, with a different value in each place
// so that no two values can trade places unseen.  Texts are cleaned and their
// apostrophes doubled inside the literal; line breaks stay in it; negative
// numbers carry their sign; only the book insert ends in a space.
TEST(SqlTextTest, StatementsAreByteExact) {
  const std::pair<std::u16string, std::u16string> rows[] = {
      {sql::BookInsert(706, u"O'Neil\r\n\u0623\u064E"),
       u"INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'O''Neil\r\n\u0627') "},
      {sql::TitleInsert(706, 1, -1, 32767, -32768, u""),
       u"INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values "
       u"(706,1,-1,32767,-32768,'')"},
      {sql::HadeethInsert(706, -1, 2147483647, 5, u"By 'Ann'\u0650"),
       u"INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) Values "
       u"(706,-1,2147483647,5,'By ''Ann''\r\n')"},
      {sql::TitleKeyLookup(706, 1, 2, 3, 4),
       u"select * from titles where [bookNo]=706 AND [Vol]=1 AND [KTB]=2 AND [Bab]=3 AND "
       u"[SubBab]=4"},
      {sql::HadeethLookup(-1, 40000),
       u"Select * from Hadeeths where [TitleID]=-1 AND [HadeethID]=40000"},
      {sql::BookLookup(706), u"Select * from Books where BookNo=706"},
      {sql::TitleLookupById(-1), u"Select * from titles where TitleID=-1"},
      {sql::BookRowCount(u"Titles", 706), u"Select Count(*) AS Found from Titles where BookNo=706"},
  };
  for (const auto& [built, expected] : rows) EXPECT_EQ(Utf16ToUtf8(built), Utf16ToUtf8(expected));
}

}  // namespace
}  // namespace addbook
