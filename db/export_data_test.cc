#include "db/export_data.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

using Rows = std::vector<TestHost::Row>;
using Texts = std::vector<std::string>;

// Run against every engine.
class ExportDataTest : public ::testing::TestWithParam<TestEngine> {
 protected:
  ExportDataTest()
      : host_(TestHost::Contents::kSchema, GetParam().open),
        sep_(host_.sep()),
        db_(display_, sep_),
        out_(db_, display_) {}

  void SetUp() override {
    if (GetParam().odbc && !TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
    db_.set_session_opener(GetParam().open);
    int16_t no = 0;
    ASSERT_TRUE(db_.OpenDb(no)) << Utf16ToUtf8(display_.boxes().at(0).prompt);
    // Each statement on its own from here, so that the test's own connection
    // sees it and can change the host in between.
    db_.Conn.CommitTrans();
    db_.Conn.set_statement_observer(
        [this](std::u16string_view sql) { statements_.push_back(Utf16ToUtf8(sql)); });
  }

  // The engine's own description of a failure: SQLite's message as SQLite
  // gives it, or as the test ODBC driver passes it on.
  std::string EngineText(const std::string& message, int code) const {
    if (!GetParam().odbc) return message;
    return "[SQLite]" + message + " (" + std::to_string(code) + ") (native error " +
           std::to_string(code) + ", SQLSTATE HY000)";
  }

  // The list lines, then the boxes as "<title>|<prompt>", shown since the
  // last call.
  Texts Take() {
    Texts shown;
    for (const std::u16string& line : display_.list()) shown.push_back(Utf16ToUtf8(line));
    for (const auto& box : display_.boxes())
      shown.push_back(Utf16ToUtf8(box.title + u"|" + box.prompt));
    display_.Clear();
    return shown;
  }

  TestHost host_;
  std::u16string sep_;
  RecordingDisplay display_;
  Database db_;
  ExportData out_;
  Texts statements_;
};

// Each writer runs one statement and shows nothing.  The inserts carry their
// text as given, apostrophes doubled inside the SQL literal.  A second note
// appends to the first, itself between apostrophes.
TEST_P(ExportDataTest, Writers) {
  out_.AddBook(706, u"O'Neil \u0623\u064E");
  out_.AddAuthor(706, u"O'Neil");
  out_.AddTitle(706, 1, 2, 3, 4, u"Part\r\n");
  out_.AddDescription(1, u"1");
  out_.AddDescription(1, u"'");
  out_.AddHadeeth(706, 12, 3, 4, u"By O'Neil\r\n");
  out_.AddMatn(12, 3, u"'A'\r\n");
  const std::string title = "Select * from titles where TitleID=1";
  EXPECT_EQ(statements_,
            (Texts{"INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'O''Neil \u0627') ",
                   "Select * from Books where BookNo=706",
                   "INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values "
                   "(706,1,2,3,4,'Part\r\n')",
                   title, title,
                   "INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) "
                   "Values (706,12,3,4,'By O''Neil\r\n\r\n')",
                   "Select * from Hadeeths where [TitleID]=12 AND [HadeethID]=3"}));
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(host_.Value("SELECT Description FROM Titles"), "'1\r\n''''\r\n'");
}

// A host unlike the schema: an extra column, no indexes, no Hadeeths table,
// another book whose TitleIDs run past 16 bits, and a trigger that refuses
// long descriptions.  Each failure is reported once and the run goes on; a
// refused write leaves nothing behind for the next writer or lookup.
TEST_P(ExportDataTest, HostsShapedDifferently) {
  ASSERT_EQ(host_.Exec("DROP INDEX BooksByBookNo; DROP INDEX TitlesByKey; DROP TABLE Hadeeths;"
                       "ALTER TABLE Books ADD COLUMN Shelf TEXT NOT NULL DEFAULT 'main';"
                       "INSERT INTO Titles (TitleID, BookNo, Vol, KTB, BAB, SubBAB, Title) "
                       "VALUES (40000, 12, 1, 0, 0, 0, 'other');"
                       "CREATE TRIGGER Short BEFORE UPDATE OF Description ON Titles WHEN "
                       "length(NEW.Description) > 20 BEGIN SELECT RAISE(ABORT, 'too long'); END;"),
            "");
  out_.AddBook(706, u"Book");
  out_.AddAuthor(706, u"Ann");
  out_.AddTitle(706, 1, 0, 0, 0, u"Part");
  out_.AddTitle(706, 2, 0, 0, 0, u"Next");
  const int32_t id = out_.GetTitleID(706, 1, 0, 0, 0);
  EXPECT_EQ(id, 40001);
  out_.AddDescription(id, u"a note far too long to be kept");
  out_.AddDescription(id + 1, u"note");
  out_.AddHadeeth(706, id, 1, 1, u"Sanad");
  out_.AddMatn(id, 1, u"Body");
  const std::string no_table = EngineText("no such table: Hadeeths", 1);
  EXPECT_EQ(Take(), (Texts{"dbCMD:" + no_table, "SQL Select:" + no_table,
                           "Add Author|" + std::string(GetParam().odbc ? "-19" : "-1811") + " : " +
                               EngineText("too long", 19),
                           "Add Matn|3704 : Operation is not allowed when the object is closed."}));
  EXPECT_EQ(host_.Rows("SELECT Author, Shelf FROM Books"), (Rows{{"'Ann'", "main"}}));
  EXPECT_EQ(host_.Rows("SELECT Description FROM Titles ORDER BY TitleID"),
            (Rows{{std::nullopt}, {std::nullopt}, {"'note\r\n'"}}));
  // An edit left pending blocks the next lookup, which then fails rather
  // than answer with the earlier row's TitleID.
  ASSERT_EQ(out_.GetTitleID(706, 1, 0, 0, 0), id);
  db_.Rs.Collect(u"Title", Variant(std::u16string(u"pending")));
  EXPECT_THROW(out_.GetTitleID(706, 2, 0, 0, 0), Error);
  EXPECT_EQ(Take(), Texts{"SQL Select:Operation is not allowed when the object is open."});
  EXPECT_EQ(out_.GetTitleID(706, 2, 0, 0, 0), id + 1);
  EXPECT_EQ(host_.Value("SELECT group_concat(Title) FROM Titles"), "other,Part,Next");
}

INSTANTIATE_TEST_SUITE_P(Engines, ExportDataTest, ::testing::ValuesIn(TestEngines()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace addbook
