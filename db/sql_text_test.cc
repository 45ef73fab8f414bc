#include "db/sql_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace addbook {
namespace {

struct StatementCase {
  const char* name;
  std::u16string built;
  std::u16string expected;
};

TEST(SqlTextTest, StatementsAreByteExact) {
  const StatementCase cases[] = {
      {"book insert ends in one space", sql::BookInsert(706, u"Sample Book"),
       u"INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'Sample Book') "},
      {"book insert doubles an apostrophe", sql::BookInsert(706, u"O'Neil"),
       u"INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'O''Neil') "},
      {"title insert keeps the line break, no trailing space",
       sql::TitleInsert(706, 1, 2, 0, 0, u"First Part\r\n"),
       u"INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values "
       u"(706,1,2,0,0,'First Part\r\n')"},
      {"title insert with an empty title", sql::TitleInsert(706, -1, 32767, -32768, 0, u""),
       u"INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values "
       u"(706,-1,32767,-32768,0,'')"},
      {"hadeeth insert puts CR LF inside the literal",
       sql::HadeethInsert(706, 12, 3, 3, u"Narrated by Ann"),
       u"INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) Values "
       u"(706,12,3,3,'Narrated by Ann\r\n')"},
      {"hadeeth insert with title id -1 and cleaned text",
       sql::HadeethInsert(706, -1, 2147483647, 2147483647, u"\u0623\u064E'"),
       u"INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) Values "
       u"(706,-1,2147483647,2147483647,'\u0627''\r\n')"},
      {"title key lookup", sql::TitleKeyLookup(706, 1, 2, 0, 0),
       u"select * from titles where [bookNo]=706 AND [Vol]=1 AND [KTB]=2 AND [Bab]=0 AND "
       u"[SubBab]=0"},
      {"hadeeth lookup", sql::HadeethLookup(12, 3),
       u"Select * from Hadeeths where [TitleID]=12 AND [HadeethID]=3"},
      {"hadeeth lookup with -1", sql::HadeethLookup(-1, 0),
       u"Select * from Hadeeths where [TitleID]=-1 AND [HadeethID]=0"},
      {"book lookup", sql::BookLookup(706), u"Select * from Books where BookNo=706"},
      {"rows of the book", sql::BookRowCount(u"Hadeeths", 706),
       u"Select Count(*) AS Found from Hadeeths where BookNo=706"},
      {"title lookup by id", sql::TitleLookupById(17), u"Select * from titles where TitleID=17"},
      {"title lookup by id -1", sql::TitleLookupById(-1), u"Select * from titles where TitleID=-1"},
      {"title lookup by an id past 16 bits", sql::TitleLookupById(40000),
       u"Select * from titles where TitleID=40000"},
  };
  for (const StatementCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToUtf8(c.built), Utf16ToUtf8(c.expected));
  }
}

TEST(SqlTextTest, Literals) {
  EXPECT_EQ(sql::Number(706), u"706");
  EXPECT_EQ(sql::Number(-1), u"-1");
  EXPECT_EQ(sql::Number(0), u"0");
  EXPECT_EQ(sql::Number(-2147483648LL), u"-2147483648");
  EXPECT_EQ(sql::Text(u""), u"''");
  EXPECT_EQ(sql::Text(u"O'Neil"), u"'O''Neil'");
  EXPECT_EQ(sql::Text(u"a\r\nb"), u"'a\r\nb'");
}

}  // namespace
}  // namespace addbook
