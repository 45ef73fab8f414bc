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

// Run against every engine: the host is written and read back through it.
class ExportDataTest : public ::testing::TestWithParam<TestEngine> {
 protected:
  void SetUp() override {
    if (GetParam().odbc && !TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
    db_.set_session_opener(GetParam().open);
    int16_t no = 0;
    ASSERT_TRUE(db_.OpenDb(no)) << Utf16ToUtf8(display_.boxes().at(0).prompt);
    // Each statement on its own from here, so that the test's own connection
    // sees it and can change the host in between.
    db_.Conn.CommitTrans();
  }

  // The list lines ("|<line>") and the boxes ("<title>|<prompt>") shown
  // since the last call, in order.
  Texts Take() {
    Texts shown;
    for (const RecordingDisplay::Event& e : display_.events())
      if (e.kind == RecordingDisplay::Kind::kListLine || e.kind == RecordingDisplay::Kind::kBox)
        shown.push_back(Utf16ToUtf8(e.title + u"|" + e.text));
    display_.Clear();
    return shown;
  }

  TestHost host_{TestHost::Contents::kSchema, GetParam().open};
  std::u16string sep_ = host_.sep();
  RecordingDisplay display_;
  Database db_{display_, sep_};
  ExportData out_{db_, display_};
};

// Each value lands in its own column, once, and nothing is shown.  Inserts
// store their text as given; field writers store it cleaned between
// apostrophes, inner ones doubled, and the appending ones add a line break.
TEST_P(ExportDataTest, Writers) {
  out_.AddTitle(706, 1, 2, 3, 4, u"Part\r\n");
  const int32_t id = out_.GetTitleID(706, 1, 2, 3, 4);
  out_.AddDescription(id, u"1");
  out_.AddDescription(id, u"'");
  out_.AddHadeeth(706, id, 5, 6, u"By O'Neil");
  out_.AddMatn(id, 5, u"'A'");
  EXPECT_EQ(Take(), Texts{});
  const std::string i = std::to_string(id);
  EXPECT_EQ(host_.Rows("SELECT TitleID, BookNo, Vol, KTB, BAB, SubBAB, Title, Description "
                       "FROM Titles"),
            (Rows{{i, "706", "1", "2", "3", "4", "Part\r\n", "'1\r\n''''\r\n'"}}));
  EXPECT_EQ(host_.Rows("SELECT BookNo, TitleID, HadeethID, HadeethNo, Hadeeth FROM Hadeeths"),
            (Rows{{"706", i, "5", "6", "By O'Neil\r\n'''A''\r\n'"}}));
}

// Each failure is reported once, in its writer's form, and the run goes on.
// A refused field write leaves no edit behind to block the next lookup.
TEST_P(ExportDataTest, Failures) {
  // TitleIDs past 16 bits, writes refused, no Hadeeths table.
  ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo) VALUES (706); DROP TABLE Hadeeths; INSERT "
                       "INTO Titles (TitleID, BookNo, Vol, KTB, BAB, SubBAB) VALUES (40000, 706, "
                       "1, 0, 0, 0), (40001, 706, 2, 0, 0, 0); CREATE TRIGGER B BEFORE UPDATE ON "
                       "Books BEGIN SELECT RAISE(ABORT, 'no'); END; CREATE TRIGGER T BEFORE "
                       "UPDATE ON Titles BEGIN SELECT RAISE(ABORT, 'no'); END;"),
            "");
  const int32_t id = out_.GetTitleID(706, 2, 0, 0, 0);
  EXPECT_EQ(id, 40001);
  out_.AddAuthor(706, u"a");
  out_.AddDetails(706, u"d");
  out_.AddDescription(id, u"n");
  out_.AddHadeeth(706, id, 1, 1, u"s");
  out_.AddMatn(id, 1, u"m");
  // The engine's own number and description: SQLite's, or as the test ODBC
  // driver passes them on.
  const bool odbc = GetParam().odbc;
  const std::string no =
      odbc ? "-19 : [SQLite]no (19) (native error 19, SQLSTATE HY000)" : "-1811 : no";
  const std::string no_table =
      odbc ? "[SQLite]no such table: Hadeeths (1) (native error 1, SQLSTATE HY000)"
           : "no such table: Hadeeths";
  EXPECT_EQ(Take(), (Texts{"Add Author|" + no, "Add Detail|" + no, "Add Author|" + no,
                           "|dbCMD:" + no_table, "|SQL Select:" + no_table,
                           "Add Matn|3704 : Operation is not allowed when the object is closed."}));
  // An edit left pending makes the next lookup fail rather than answer with
  // the earlier row's TitleID; the one after it finds its row.
  ASSERT_EQ(out_.GetTitleID(706, 2, 0, 0, 0), id);
  db_.Rs.Collect(u"Title", Variant(std::u16string(u"pending")));
  EXPECT_THROW(out_.GetTitleID(706, 1, 0, 0, 0), Error);
  EXPECT_EQ(Take(), Texts{"|SQL Select:Operation is not allowed when the object is open."});
  EXPECT_EQ(out_.GetTitleID(706, 1, 0, 0, 0), 40000);
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Titles WHERE Title IS NOT NULL"), "0");
}

INSTANTIATE_TEST_SUITE_P(Engines, ExportDataTest, ::testing::ValuesIn(TestEngines()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace addbook
