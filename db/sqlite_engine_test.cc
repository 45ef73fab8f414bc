#include "db/sqlite_engine.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

class SqliteEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo, Name) VALUES (1, 'one'), (2, 'two');"), "");
    session_ = OpenSqliteDatabase(host_.file(), std::chrono::milliseconds(100));
  }

  // The Error that running |sql| throws; fails when there is none.
  Error ExecuteError(std::u16string_view sql) {
    try {
      session_->Execute(sql);
    } catch (const Error& e) {
      return e;
    }
    ADD_FAILURE() << "no error for " << Utf16ToUtf8(sql);
    return Error(0, "");
  }

  TestHost host_;
  std::unique_ptr<Session> session_;
};

TEST_F(SqliteEngineTest, RefusesTextThatWouldRunOtherThanOneWholeStatement) {
  struct Case {
    const char* name;
    std::u16string sql;
    std::string description;
  };
  const std::string kMore =
      "The text holds more than one statement, or text after its statement; nothing was run";
  const Case cases[] = {
      {"NUL inside a literal", std::u16string(u"DELETE FROM Books WHERE Name='one\0' OR 1", 40),
       "The statement holds a NUL character (at character 34); nothing was run"},
      {"a second statement", u"DELETE FROM Books WHERE BookNo=1; DELETE FROM Books", kMore},
      {"a second statement after white space",
       u"DELETE FROM Books WHERE BookNo=1;\r\n DROP "
       u"TABLE Books",
       kMore},
      {"stray text", u"DELETE FROM Books WHERE BookNo=1;)", kMore},
      {"nothing but white space", u" \r\n ", "The statement is empty; nothing was run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Error e = ExecuteError(c.sql);
    EXPECT_EQ(e.number(), -1);
    EXPECT_EQ(Utf16ToUtf8(e.description()), c.description);
    EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "2");
  }
  // One statement, with a semicolon and white space after it, runs.
  session_->Execute(u"DELETE FROM Books WHERE BookNo=1;\r\n ");
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "1");
}

TEST_F(SqliteEngineTest, OnlyRowsStraightFromOneTableCanBeWrittenBack) {
  ASSERT_EQ(host_.Exec("CREATE VIEW BookView AS SELECT * FROM Books;"
                       "CREATE TABLE Keyed (k INTEGER PRIMARY KEY, v) WITHOUT ROWID;"),
            "");
  struct Case {
    const char* sql;
    bool writable;
  };
  const Case cases[] = {
      {"Select * from Books where BookNo=1", true},
      {"select * from books where [bookNo]=1 AND [name]='one'", true},
      {"SELECT Name AS n, Author FROM Books;", true},
      {"select * from Books, Titles", false},
      {"select count(*) from Books", false},
      {"select BookNo from Books where 1 group by BookNo", false},
      {"select * from Books where 1 union select * from Books", false},
      {"select Name || 'x' from Books", false},
      {"select * from BookView", false},
      {"select * from Keyed", false},
      {"select (select Name from Books) from Titles", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    QueryResult result = session_->Query(Utf8ToUtf16(c.sql));
    EXPECT_EQ(result.writer != nullptr, c.writable);
  }
}

TEST_F(SqliteEngineTest, WritesTheRowReadEvenWhenAColumnIsNamedLikeTheRowid) {
  ASSERT_EQ(host_.Exec("CREATE TABLE Shadow (x, _rowid_);"
                       "INSERT INTO Shadow VALUES ('a', 7), ('b', 7);"),
            "");
  QueryResult result = session_->Query(u"select * from Shadow where _rowid_=7");
  ASSERT_NE(result.writer, nullptr);
  ASSERT_EQ(result.rows.size(), 2u);
  result.writer->Write(1, {0}, {Variant(std::u16string(u"B"))});
  EXPECT_EQ(host_.Rows("SELECT x FROM Shadow ORDER BY rowid"),
            (std::vector<TestHost::Row>{{"a"}, {"B"}}));
}

TEST_F(SqliteEngineTest, WritingARowDeletedSinceTheQueryFails) {
  QueryResult result = session_->Query(u"select * from Books where BookNo=1");
  ASSERT_NE(result.writer, nullptr);
  ASSERT_EQ(host_.Exec("DELETE FROM Books WHERE BookNo=1;"), "");
  try {
    result.writer->Write(0, {1}, {Variant(std::u16string(u"x"))});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kNoCurrentRecord);
  }
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books WHERE Name='x'"), "0");
}

}  // namespace
}  // namespace addbook::engine
