#include "db/export_data.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

using Rows = std::vector<TestHost::Row>;

class ExportDataTest : public ::testing::Test {
 protected:
  ExportDataTest() : sep_(host_.sep()), db_(display_, sep_), out_(db_, display_) {
    db_.set_busy_timeout_ms(100);
  }

  // Opens the host after the test has shaped it.
  void Open() {
    int16_t no = 0;
    ASSERT_TRUE(db_.OpenDb(no));
    db_.Conn.set_statement_observer(
        [this](std::u16string_view sql) { statements_.push_back(Utf16ToUtf8(sql)); });
  }

  // The boxes shown, each as "<title>|<prompt>", and forgets them.
  std::vector<std::string> TakeBoxes() {
    std::vector<std::string> boxes;
    for (const auto& box : display_.boxes()) {
      EXPECT_EQ(box.style, BoxStyle::kPlain);
      boxes.push_back(Utf16ToUtf8(box.title + u"|" + box.prompt));
    }
    display_.Clear();
    return boxes;
  }

  std::vector<std::string> TakeStatements() { return std::exchange(statements_, {}); }

  std::vector<std::string> List() {
    std::vector<std::string> lines;
    for (const std::u16string& line : display_.list()) lines.push_back(Utf16ToUtf8(line));
    return lines;
  }

  TestHost host_;
  std::u16string sep_;
  RecordingDisplay display_;
  Database db_;
  ExportData out_;
  std::vector<std::string> statements_;
};

TEST_F(ExportDataTest, BookWritersStoreNameAuthorAndDetails) {
  Open();
  out_.AddBook(706, u"O'Neil \u0623\u064E");
  out_.AddAuthor(706, u"O'Neil");
  out_.AddDetails(706, u"Typed in one pass\r\n");
  EXPECT_EQ(TakeStatements(), (std::vector<std::string>{
                                  "INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'O''Neil "
                                  "\u0627') ",
                                  "Select * from Books where BookNo=706",
                                  "Select * from Books where BookNo=706",
                              }));
  EXPECT_EQ(host_.Rows("SELECT BookNo, Name, Author, Details FROM Books"),
            (Rows{{"706", "O'Neil \u0627", "'O''Neil'", "'Typed in one pass\r\n'"}}));
  // A second call replaces; an empty text leaves two apostrophes.
  out_.AddAuthor(706, u"");
  EXPECT_EQ(host_.Value("SELECT Author FROM Books"), "''");
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_TRUE(display_.list().empty());
}

TEST_F(ExportDataTest, TitleWritersStoreTheHeadingAndAppendDescriptions) {
  Open();
  out_.AddTitle(706, 1, 2, 0, 0, u"First Part\r\n");
  int32_t id = out_.GetTitleID(706, 1, 2, 0, 0);
  out_.AddDescription(id, u"note one");
  out_.AddDescription(id, u"it's two");
  EXPECT_EQ(TakeStatements(),
            (std::vector<std::string>{
                "INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values "
                "(706,1,2,0,0,'First Part\r\n')",
                "select * from titles where [bookNo]=706 AND [Vol]=1 AND [KTB]=2 AND [Bab]=0 "
                "AND [SubBab]=0",
                "Select * from titles where TitleID=" + std::to_string(id),
                "Select * from titles where TitleID=" + std::to_string(id),
            }));
  EXPECT_EQ(host_.Rows("SELECT TitleID, BookNo, Vol, KTB, BAB, SubBAB, Title, Description "
                       "FROM Titles"),
            (Rows{{std::to_string(id), "706", "1", "2", "0", "0", "First Part\r\n",
                   "'note one\r\n''it''s two\r\n'"}}));
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ExportDataTest, HadeethWritersStoreTheSanadAndAppendBodies) {
  Open();
  out_.AddHadeeth(706, 12, 3, 4, u"Narrated by O'Neil\r\n");
  out_.AddMatn(12, 3, u"The 'words'\r\n");
  out_.AddMatn(12, 3, u"");
  EXPECT_EQ(TakeStatements(),
            (std::vector<std::string>{
                "INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) "
                "Values (706,12,3,4,'Narrated by O''Neil\r\n\r\n')",
                "Select * from Hadeeths where [TitleID]=12 AND [HadeethID]=3",
                "Select * from Hadeeths where [TitleID]=12 AND [HadeethID]=3",
            }));
  EXPECT_EQ(
      host_.Rows("SELECT BookNo, TitleID, HadeethID, HadeethNo, Hadeeth FROM Hadeeths"),
      (Rows{{"706", "12", "3", "4", "Narrated by O'Neil\r\n\r\n'The ''words''\r\n\r\n''\r\n'"}}));
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ExportDataTest, LookupsInsistOnExactlyOneRow) {
  Open();
  out_.AddTitle(706, 1, 0, 0, 0, u"once");
  out_.AddTitle(706, 2, 0, 0, 0, u"twice");
  out_.AddTitle(706, 2, 0, 0, 0, u"twice");
  EXPECT_GT(out_.GetTitleID(706, 1, 0, 0, 0), 0);
  EXPECT_EQ(out_.GetTitleID(706, 2, 0, 0, 0), -1);
  EXPECT_EQ(out_.GetTitleID(706, 3, 0, 0, 0), -1);

  out_.AddAuthor(706, u"nobody");  // no book row yet
  out_.AddDescription(-1, u"lost");
  out_.AddMatn(-1, 0, u"lost");
  EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{"Adding Book|Error Finding Book",
                                                   "Adding Book|Error Finding Title",
                                                   "Adding Book|Error Finding Hadeeth"}));
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Titles WHERE Description IS NOT NULL"), "0");
}

TEST_F(ExportDataTest, SecondAndThirdImportsIntoTheSameHost) {
  Open();
  for (int import = 1; import <= 3; ++import) {
    SCOPED_TRACE(import);
    out_.AddBook(706, u"Book");
    out_.AddAuthor(706, u"Ann");
    out_.AddDetails(706, u"Typed");
    out_.AddTitle(706, 1, 0, 0, 0, u"Part");
    int32_t id = out_.GetTitleID(706, 1, 0, 0, 0);
    out_.AddHadeeth(706, id, 1, 1, u"Sanad");
    out_.AddMatn(id, 1, u"Body");
    std::vector<std::string> boxes = TakeBoxes();
    if (import == 1) {
      EXPECT_TRUE(boxes.empty());
    } else {
      EXPECT_EQ(id, -1);
      std::vector<std::string> expected = {"Adding Book|Error Finding Book",
                                           "Adding Book|Error Finding Book"};
      if (import == 3) expected.push_back("Adding Book|Error Finding Hadeeth");
      EXPECT_EQ(boxes, expected);
    }
  }
  EXPECT_EQ(
      host_.Rows("SELECT Author, Details FROM Books"),
      (Rows{{"'Ann'", "'Typed'"}, {std::nullopt, std::nullopt}, {std::nullopt, std::nullopt}}));
  // The second import's hadeeth stands under -1 and got its body; the
  // third's shares -1 and its id with it, so neither got the third body.
  EXPECT_EQ(
      host_.Rows("SELECT TitleID, Hadeeth FROM Hadeeths ORDER BY rowid"),
      (Rows{{"1", "Sanad\r\n'Body\r\n'"}, {"-1", "Sanad\r\n'Body\r\n'"}, {"-1", "Sanad\r\n"}}));
}

TEST_F(ExportDataTest, HostsShapedDifferently) {
  // Extra columns, no indexes, and another book whose TitleIDs run past
  // 16 bits.
  ASSERT_EQ(host_.Exec("DROP INDEX BooksByBookNo; DROP INDEX TitlesByKey; DROP INDEX HadeethsByKey;"
                       "ALTER TABLE Books ADD COLUMN Shelf TEXT NOT NULL DEFAULT 'main';"
                       "ALTER TABLE Titles ADD COLUMN Hidden INTEGER DEFAULT 0;"
                       "INSERT INTO Titles (TitleID, BookNo, Vol, KTB, BAB, SubBAB, Title) "
                       "VALUES (40000, 12, 1, 0, 0, 0, 'other');"),
            "");
  Open();
  out_.AddBook(706, u"Book");
  out_.AddAuthor(706, u"Ann");
  out_.AddTitle(706, 1, 0, 0, 0, u"Part");
  int32_t id = out_.GetTitleID(706, 1, 0, 0, 0);
  EXPECT_EQ(id, 40001);
  out_.AddDescription(id, u"note");
  out_.AddHadeeth(706, id, 1, 1, u"Sanad");
  out_.AddMatn(id, 1, u"Body");
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_TRUE(display_.list().empty());
  EXPECT_EQ(host_.Rows("SELECT Author, Shelf FROM Books"), (Rows{{"'Ann'", "main"}}));
  EXPECT_EQ(host_.Rows("SELECT TitleID, Description FROM Titles ORDER BY TitleID"),
            (Rows{{"40000", std::nullopt}, {"40001", "'note\r\n'"}}));
  EXPECT_EQ(host_.Value("SELECT Hadeeth FROM Hadeeths WHERE TitleID=40001"), "Sanad\r\n'Body\r\n'");
}

TEST_F(ExportDataTest, AMissingTableIsReportedOncePerStatementAndTheRunGoesOn) {
  ASSERT_EQ(host_.Exec("DROP TABLE Hadeeths;"), "");
  Open();
  out_.AddHadeeth(706, 1, 1, 1, u"Sanad");
  out_.AddMatn(1, 1, u"Body");
  out_.AddTitle(706, 1, 0, 0, 0, u"Part");
  EXPECT_EQ(List(), (std::vector<std::string>{"dbCMD:no such table: Hadeeths",
                                              "SQL Select:no such table: Hadeeths"}));
  EXPECT_EQ(TakeBoxes(),
            (std::vector<std::string>{
                "Add Matn|3704 : Operation is not allowed when the object is closed."}));
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Titles"), "1");
}

TEST_F(ExportDataTest, GetTitleIdPassesErrorsToItsCaller) {
  ASSERT_EQ(host_.Exec("DROP TABLE Titles;"), "");
  Open();
  try {
    out_.GetTitleID(706, 1, 0, 0, 0);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kObjectClosed);
  }
  EXPECT_EQ(List(), (std::vector<std::string>{"SQL Select:no such table: titles"}));
}

TEST_F(ExportDataTest, ARefusedUpdateIsReportedAndChangesNoOtherRowLater) {
  ASSERT_EQ(host_.Exec("CREATE TRIGGER NoAuthor BEFORE UPDATE OF Author ON Books "
                       "BEGIN SELECT RAISE(ABORT, 'authors are fixed'); END;"
                       "INSERT INTO Books (BookNo, Name) VALUES (706, 'Book');"),
            "");
  Open();
  out_.AddTitle(706, 1, 0, 0, 0, u"Part");
  int32_t id = out_.GetTitleID(706, 1, 0, 0, 0);
  out_.AddAuthor(706, u"Ann");
  EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{"Add Author|-1811 : authors are fixed"}));
  // The next writers find and change their own rows only.
  out_.AddDetails(706, u"Typed");
  out_.AddDescription(id, u"note");
  EXPECT_EQ(out_.GetTitleID(706, 1, 0, 0, 0), id);
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_TRUE(display_.list().empty());
  EXPECT_EQ(host_.Rows("SELECT Name, Author, Details FROM Books"),
            (Rows{{"Book", std::nullopt, "'Typed'"}}));
  EXPECT_EQ(host_.Value("SELECT Description FROM Titles"), "'note\r\n'");
}

TEST_F(ExportDataTest, ARefusedMatnLeavesTheNextHadeethsBodyInItsOwnRow) {
  ASSERT_EQ(host_.Exec("CREATE TABLE Checked (BookNo, TitleID, HadeethID, HadeethNo, "
                       "Hadeeth CHECK (length(Hadeeth) < 30));"
                       "DROP TABLE Hadeeths; ALTER TABLE Checked RENAME TO Hadeeths;"),
            "");
  Open();
  out_.AddHadeeth(706, 5, 1, 1, u"first");
  out_.AddHadeeth(706, 5, 2, 2, u"second");
  out_.AddMatn(5, 1, u"a body far too long to be kept");
  EXPECT_EQ(TakeBoxes(),
            (std::vector<std::string>{"Add Matn|-275 : CHECK constraint failed: length(Hadeeth) "
                                      "< 30"}));
  out_.AddMatn(5, 2, u"short");
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_EQ(host_.Rows("SELECT Hadeeth FROM Hadeeths ORDER BY HadeethID"),
            (Rows{{"first\r\n"}, {"second\r\n'short\r\n'"}}));
}

TEST_F(ExportDataTest, AnEditLeftPendingNeverReachesTheNextLookupsCaller) {
  ASSERT_EQ(host_.Exec("INSERT INTO Titles (BookNo, Vol, KTB, BAB, SubBAB) VALUES "
                       "(706, 1, 0, 0, 0), (706, 2, 0, 0, 0);"),
            "");
  Open();
  int32_t first = out_.GetTitleID(706, 1, 0, 0, 0);
  db_.Rs.Collect(u"Title", Variant(std::u16string(u"pending")));
  // The lookup fails over the pending edit; GetTitleID must not answer with
  // the earlier row's TitleID.
  try {
    int32_t id = out_.GetTitleID(706, 2, 0, 0, 0);
    ADD_FAILURE() << "answered " << id << " (the earlier row is " << first << ")";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kObjectClosed);
  }
  EXPECT_EQ(
      List(),
      (std::vector<std::string>{"SQL Select:Operation is not allowed when the object is open."}));
  EXPECT_EQ(db_.Rs.State(), kStateClosed);
  // The pending change was dropped unwritten; the next lookup works.
  out_.AddDescription(first + 1, u"note");
  EXPECT_EQ(host_.Rows("SELECT Title, Description FROM Titles ORDER BY TitleID"),
            (Rows{{std::nullopt, std::nullopt}, {std::nullopt, "'note\r\n'"}}));
}

TEST_F(ExportDataTest, NulCharactersAreRefusedInStatementsAndKeptInFields) {
  Open();
  const std::u16string with_nul(u"a\0b", 3);
  out_.AddBook(706, with_nul);
  EXPECT_EQ(List(), (std::vector<std::string>{
                        "dbCMD:The statement holds a NUL character (at character 51); nothing "
                        "was run"}));
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
  ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo) VALUES (706);"), "");
  out_.AddAuthor(706, with_nul);
  EXPECT_EQ(host_.Value("SELECT hex(Author) FROM Books"),
            "27610062"
            "27");
}

}  // namespace
}  // namespace addbook
