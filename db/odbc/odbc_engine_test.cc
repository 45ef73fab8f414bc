// The ODBC engine through unixODBC and the test driver registered under the
// Access driver's names (a SQLite driver: the files stay SQLite files).
#include "db/odbc/odbc_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "db/sql_text.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

class OdbcEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
  }

  auto Open() { return OpenOdbcDatabase(host_.file(), std::chrono::seconds(5)); }

  TestHost host_;
};

// A statement or a commit that the driver warns about has run: it is kept,
// counted, and its warning comes back.  Writing back a row of a query whose
// rows cannot be told apart fails.
TEST_F(OdbcEngineTest, WarningsComeBackWithWhatWasKept) {
  const std::unique_ptr<Session> session = Open();
  session->Begin();
  Executed warned = session->Execute(u"INSERT INTO Books (BookNo) VALUES (1) /*test:01004*/");
  EXPECT_EQ(warned.rows, 1);
  EXPECT_EQ(warned.warning.value_or(Error(0, "none")).description(),
            u"[SQLite]String data, right truncated (test) (native error 0, SQLSTATE 01004)");
  session->Execute(u"INSERT INTO Books (BookNo) VALUES (2) /*test:commit-01000*/");
  EXPECT_EQ(session->Commit().value_or(Error(0, "none")).description(),
            u"[SQLite]General warning (test) (native error 0, SQLSTATE 01000)");
  EXPECT_EQ(host_.Value("SELECT group_concat(BookNo) FROM Books"), "1,2");
  QueryResult both = session->Query(u"Select * from Books");
  EXPECT_THAT([&] { both.writer->Write(0, {1}, {Variant(std::u16string(u"n"))}); },
              testing::Throws<Error>(testing::Property(&Error::number, errors::kNotUpdatable)));
  EXPECT_EQ(session->Query(u"Select count(*) AS n from Books").writer, nullptr);
}

// Inside the transaction, a full disk or an I/O error ends the import, undone
// at once whether or not the driver undid it; a database that refuses writes
// ends it at the first refusal.
TEST_F(OdbcEngineTest, FailuresThatEndTheImport) {
  using Kind = FatalError::Kind;
  const std::u16string big = u"INSERT INTO Books (Name) VALUES (zeroblob(70000))";
  const std::tuple<std::u16string, std::u16string, Kind, int32_t> cases[] = {
      {u"PRAGMA max_page_count=1", big, Kind::kImportUndone, 0},
      {u"SELECT 1", u"SELECT 2 /*test:ioerr*/", Kind::kImportUndone, 0},
      {u"PRAGMA query_only=1", big, Kind::kWritesRefused, 1},
  };
  for (const auto& [setting, statement, kind, rows_left] : cases) {
    const std::unique_ptr<Session> session = Open();
    session->Begin();
    session->Execute(u"INSERT INTO Books (BookNo) VALUES (706)");
    session->Execute(setting);
    EXPECT_THAT(([&, sql = statement] { session->Execute(sql); }),
                testing::Throws<FatalError>(testing::Property(&FatalError::kind, kind)));
    EXPECT_EQ(session->Query(u"Select count(*) AS n from Books").rows.at(0).at(0).ToInt32(),
              rows_left);
  }
}

// A text longer than its column is refused whole before anything runs, on
// insert and on update.  A Memo takes any length: 100,000 characters are
// stored, read and written back whole.
TEST_F(OdbcEngineTest, TextsAndTheirColumns) {
  ASSERT_EQ(host_.Exec("DROP TABLE Titles; CREATE TABLE Titles (TitleID INTEGER PRIMARY KEY, "
                       "BookNo, Vol, KTB, BAB, SubBAB, Title VARCHAR(255))"),
            "");
  const std::u16string fits(255, u'\u0628');
  const std::unique_ptr<Session> session = Open();
  EXPECT_EQ(session->Execute(sql::TitleInsert(706, 1, 0, 0, 0, fits)).rows, 1);
  QueryResult title = session->Query(u"Select * from titles where Vol=1");
  EXPECT_THAT([&] { session->Execute(sql::TitleInsert(706, 2, 0, 0, 0, fits + u"x")); },
              testing::Throws<Error>(testing::Property(
                  &Error::description,
                  u"The field is too small to accept the amount of data you attempted to add.  "
                  u"Try inserting or pasting less data. The column [Title] holds at most 255 "
                  u"characters, and the value has 256; nothing was stored.")));
  EXPECT_THAT([&] { title.writer->Write(0, {6}, {Variant(fits + u"x")}); },
              testing::Throws<Error>(testing::Property(&Error::number, errors::kFieldTooSmall)));
  EXPECT_EQ(host_.Value("SELECT group_concat(Vol || ':' || length(Title)) FROM Titles"), "1:255");

  const std::u16string memo = u"'\u0645\u0646 " + std::u16string(99996, u'\u0628');
  EXPECT_EQ(session->Execute(sql::BookInsert(706, memo)).rows, 1);
  QueryResult book = session->Query(u"Select * from Books where BookNo=706");
  EXPECT_EQ(book.rows.at(0).at(1).text(), memo);
  book.writer->Write(0, {2}, {Variant(u"x" + memo)});
  EXPECT_EQ(host_.Value("SELECT Author = 'x' || Name AND length(Author) = 100001 FROM Books"), "1");
}

// A file in a folder whose name holds ';', '{' and '}' is opened and written:
// the driver is given the whole name.
TEST_F(OdbcEngineTest, FolderNameWithBraces) {
  host_.Disconnect();
  const std::string folder = host_.folder() + "/a;b{c}}d";  // a name the driver reads under Wine
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(host_.file(), folder + "/Hadeeth.mdb");
  const auto session = OpenOdbcDatabase(folder + "/Hadeeth.mdb", std::chrono::seconds(5));
  EXPECT_EQ(session->Execute(sql::BookInsert(706, u"\u0628")).rows, 1);
}

}  // namespace
}  // namespace addbook::engine
