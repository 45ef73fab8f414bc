// The whole import, through the window object, on real files: a book in
// Windows-1256 beside a fake executable folder and a host made from the
// schema.  The recording display holds exactly what the user would see.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(host_.folder()) / "exe";
    fs::create_directories(dir_);
  }

  // Writes the book's lines (ASCII, the same in Windows-1256), each ended by
  // CR LF.
  void WriteBook(const std::vector<std::string>& lines) {
    std::ofstream out(dir_ / "h1.txt", std::ios::binary);
    for (const std::string& line : lines) out << line << "\r\n";
  }

  // Runs the installer with |setting| as the host data folder ("" for the
  // host made in SetUp).
  RunOutcome Run(std::optional<std::u16string> setting = std::nullopt,
                 engine::SessionOpener open = nullptr) {
    display_.Clear();
    Platform platform;
    std::u16string folder = setting ? *setting : host_.sep();
    platform.read_host_folder = [folder] { return folder; };
    platform.executable_dir = [dir = dir_.string()] { return dir; };
    platform.busy_timeout_ms = 200;
    platform.open_database = std::move(open);
    form_ = std::make_unique<Form1>(display_, std::move(platform));
    form_->Form_Load();
    return form_->outcome();
  }

  // The boxes shown, as "title|prompt".
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : display_.boxes()) out.push_back(Utf16ToUtf8(b.title + u"|" + b.prompt));
    return out;
  }

  TestHost host_;
  fs::path dir_;  // the executable's folder, where h1.txt is read
  RecordingDisplay display_;
  std::unique_ptr<Form1> form_;
};

const std::vector<std::string> kStart = {"Adding Book, Please Wait ...",
                                         "Must Have Varnel Version 2.88 or Later"};

std::vector<std::string> ListLines(const RecordingDisplay& d) {
  std::vector<std::string> out;
  for (const auto& l : d.list()) out.push_back(Utf16ToUtf8(l));
  return out;
}

TEST_F(Form1Test, SourceWithoutEndOfBookMarker) {
  // The last line continues a hadeeth; an unclosed typing record swallows the
  // rest, the end-of-book line included.  Nothing is lost, nothing written twice.
  WriteBook({"*BOOK*name", "*1*one", "012 sanad", "$last body"});
  EXPECT_EQ(Run(), RunOutcome::kMarkerMissing);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Adding Book|End of Book Marker Missing"}));
  EXPECT_EQ(host_.Value("SELECT group_concat(Hadeeth) FROM Hadeeths"),
            "012 sanad\r\n%last body\r\n\r\n");
  EXPECT_EQ(form_->ExitStatus(), 1);

  ASSERT_EQ(host_.Exec("DELETE FROM Books; DELETE FROM Titles; DELETE FROM Hadeeths"), "");
  WriteBook({"*BOOK*name", "*TYPING*details", "*1*inside", "*EOF*"});
  EXPECT_EQ(Run(), RunOutcome::kMarkerMissing);
  EXPECT_EQ(host_.Value("SELECT Details || (SELECT count(*) FROM Titles) FROM Books"),
            "'details\r\n*1*inside\r\n*EOF*\r\n'0");
}

TEST_F(Form1Test, StartUpRefusals) {
  WriteBook({"*BOOK*name", "*EOF*"});
  // No host folder: the upgrade box only, nothing opened.
  EXPECT_EQ(Run(u"NONE"), RunOutcome::kNoHostFolder);
  EXPECT_EQ(Boxes(),
            (std::vector<std::string>{"Adding Book|Upgrade Varnel Program, and try again"}));
  EXPECT_EQ(ListLines(display_), kStart);

  // Values that only look like "NONE", an empty value, a folder without the
  // database: the database box, nothing written, no file created.
  for (std::u16string value : {u"none", u"NONE ", u"", u"/nonexistent/folder"}) {
    SCOPED_TRACE(Utf16ToUtf8(value));
    EXPECT_EQ(Run(value), RunOutcome::kDbFailed);
    ASSERT_EQ(display_.boxes().size(), 1u);
    EXPECT_EQ(display_.boxes()[0].title, u"DB Error  ( 0 )");
    EXPECT_EQ(display_.boxes()[0].style, BoxStyle::kCritical);
    EXPECT_EQ(form_->ExitStatus(), 2);
  }
  EXPECT_FALSE(fs::exists("/nonexistent/folder/Hadeeth.mdb"));
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");

  // A row of the book in any one table: installed already, nothing changed.
  for (const char* table : {"Books", "Titles", "Hadeeths"}) {
    SCOPED_TRACE(table);
    ASSERT_EQ(host_.Exec(std::string("INSERT INTO ") + table + " (BookNo) VALUES (706)"), "");
    EXPECT_EQ(Run(), RunOutcome::kAlreadyInstalled);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Adding Book|This Book is Already Installed"}));
    EXPECT_EQ(host_.Value("SELECT (SELECT count(*) FROM Books) + (SELECT count(*) FROM Titles) + "
                          "(SELECT count(*) FROM Hadeeths)"),
              "1");
    ASSERT_EQ(host_.Exec(std::string("DELETE FROM ") + table), "");
  }
}

// A hadeeth before any heading, and one under a heading whose key a second
// heading repeats (level 5 changes no counter): each is stored under TitleID
// -1, and the lookup that did not find exactly one heading is reported.
TEST_F(Form1Test, HeadingLookupsThatFindNoneOrTwo) {
  WriteBook({"*BOOK*b", "012 before", "*1*a", "*5*b", "012 after", "*EOF*"});
  EXPECT_EQ(Run(), RunOutcome::kFinished);
  const std::string tail = " where one was needed; TitleID -1 used";
  std::vector<std::string> lines = kStart;
  lines.push_back("GetTitleID:0 headings found for BookNo 706, Vol 0, KTB 0, BAB 0, SubBAB 0" +
                  tail);
  lines.push_back("GetTitleID:2 headings found for BookNo 706, Vol 1, KTB 0, BAB 0, SubBAB 0" +
                  tail);
  EXPECT_EQ(ListLines(display_), lines);
  EXPECT_EQ(host_.Value("SELECT group_concat(TitleID) FROM Hadeeths"), "-1,-1");
  EXPECT_EQ(form_->ExitStatus(), 1);
}

// A session that passes every call on to a real one, and plays a fault: the
// database undoing the transaction by itself, without a word, after the
// |undo_after|th statement; or warnings on the heading inserts and the
// commit, which keep what they warn about.
struct Faults {
  int undo_after = 0;
  bool warn = false;
};
class FaultySession : public engine::Session {
 public:
  FaultySession(std::unique_ptr<engine::Session> inner, Faults faults)
      : inner_(std::move(inner)), faults_(faults) {}
  engine::QueryResult Query(std::u16string_view sql) override { return inner_->Query(sql); }
  engine::Executed Execute(std::u16string_view sql) override {
    engine::Executed done = inner_->Execute(sql);
    if (++statements_ == faults_.undo_after) inner_->Execute(u"ROLLBACK");
    if (faults_.warn && sql.starts_with(u"INSERT INTO Titles")) done.warning = Error(-7, "cut");
    return done;
  }
  void Begin() override { inner_->Begin(); }
  std::optional<Error> Commit() override {
    inner_->Commit();
    return faults_.warn ? std::optional<Error>(Error(-8, "slow")) : std::nullopt;
  }
  void Rollback() override { inner_->Rollback(); }

 private:
  std::unique_ptr<engine::Session> inner_;
  Faults faults_;
  int statements_ = 0;
};
engine::SessionOpener Faulty(engine::SessionOpener open, Faults faults) {
  return [=](const fs::path& path, std::chrono::milliseconds wait) {
    return std::make_unique<FaultySession>(open(path, wait), faults);
  };
}

// The database undoes the import after the title insert and says nothing;
// the hadeeth inserts after it take effect on their own, and the commit
// fails.  The run removes them and only then says that nothing was stored;
// rows it cannot remove are counted in the box and the summary.
TEST_F(Form1Test, RowsLeftByAnUndoneImportAreRemovedOrCounted) {
  if (!TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
  WriteBook({"*BOOK*b", "*1*a", "012 s", "012 t", "*EOF*"});
  const struct {
    const char *trigger, *box, *summary, *left;
  } cases[] = {
      {"", ". Nothing of the book was stored.",
       "the import could not be saved, and everything it wrote was undone; 5 records handled, 0 "
       "rows",
       "0"},
      {"CREATE TRIGGER Keep BEFORE DELETE ON Hadeeths BEGIN SELECT RAISE(ABORT, 'kept'); END",
       ". 2 rows of the book are still in the database and could not be removed ([SQLite]kept",
       "the import could not be saved, and 2 rows of the book are still in the database; 5 "
       "records handled, 2 rows",
       "2"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(host_.Exec(c.trigger), "");
    EXPECT_EQ(Run(std::nullopt, Faulty(TestEngines().at(1).open, {.undo_after = 2})),
              RunOutcome::kNotSaved);
    EXPECT_EQ(form_->ExitStatus(), 2);
    ASSERT_EQ(display_.boxes().size(), 1u);
    const std::string box = Utf16ToUtf8(display_.boxes()[0].prompt);
    EXPECT_NE(box.find(": The book could not be saved: "), std::string::npos) << box;
    EXPECT_NE(box.find(c.box), std::string::npos) << box;
    EXPECT_NE(Utf16ToUtf8(form_->Summary(0)).find(c.summary), std::string::npos);
    EXPECT_EQ(host_.Value("SELECT count(*) FROM Hadeeths"), c.left);
    EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
  }
}

// Warnings from the database on a statement and on the commit: what they
// warn about is stored and counted, each is reported, and the run ends
// saved, with failures reported.
TEST_F(Form1Test, WarningsKeepWhatTheyWarnAbout) {
  WriteBook({"*BOOK*b", "*1*a", "012 s", "*EOF*"});
  EXPECT_EQ(Run(std::nullopt, Faulty(engine::OpenDatabaseFile, {.warn = true})),
            RunOutcome::kFinished);
  EXPECT_EQ(ListLines(display_).back(), "dbCMD:Stored with a warning: cut");
  EXPECT_EQ(Boxes(),
            (std::vector<std::string>{"Adding Book|-8: The book was saved, and the database "
                                      "warned: slow"}));
  EXPECT_EQ(form_->ExitStatus(), 1);
  EXPECT_EQ(host_.Value("SELECT group_concat(TitleID) FROM Hadeeths"), "1");
  EXPECT_TRUE(Utf16ToUtf8(form_->Summary(0))
                  .starts_with("import finished; 4 records handled, 3 rows inserted, 0 fields "
                               "updated, 2 failures reported"));
}

// Another connection holds the database for longer than the installer
// waits: exclusively (nothing can be read), or for writing (reading goes on).
// Either way the run is refused once, after the wait, with nothing written.
TEST_F(Form1Test, DatabaseLockedByAnother) {
  WriteBook({"*BOOK*b", "*EOF*"});
  const std::string file = host_.file();
  for (const char* lock : {"PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
    ASSERT_EQ(host_.Exec(lock), "");
    EXPECT_EQ(Run(), RunOutcome::kDbFailed);
    ASSERT_EQ(host_.Exec("COMMIT"), "");
    EXPECT_EQ(display_.list().size(), 2u);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{
                  lock[0] == 'P' ? "DB Error  ( 0 )|3045 Cannot open the database file " + file +
                                       ": database is locked (SQLite error 5)"
                                 : "DB Error  ( 0 )|3045 The database file " + file +
                                       " is in use by another program, which kept it locked for "
                                       "longer than 0.2 seconds (database is locked, SQLite error "
                                       "5); close that program and run again"});
  }
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
}

// Through either engine, the window closed half way leaves nothing of the
// book.
TEST_F(Form1Test, ClosingTheWindowStopsTheRun) {
  WriteBook({"*BOOK*name", "*1*one", "012 sanad", "*EOF*"});
  for (const TestEngine& engine : TestEngines()) {
    SCOPED_TRACE(engine.name);
    if (engine.odbc && !TestOdbcDriverAvailable()) continue;
    TestHost host;
    ASSERT_EQ(host.Exec("DROP TABLE Titles"), "");
    // The user closes the window at the event point after the third report
    // line: the installed check's and the failed title insert's are before
    // it.
    display_.on_do_events = [this] {
      if (display_.list().size() > 3) {
        int16_t cancel = 0;
        form_->Form_Unload(cancel);
      }
    };
    EXPECT_EQ(Run(host.sep(), engine.open), RunOutcome::kClosed);
    EXPECT_EQ(form_->ExitStatus(), 2);
    // The book row written before it is undone; the sanad is never written.
    EXPECT_EQ(host.Value("SELECT count(*) FROM Books"), "0");
    EXPECT_EQ(host.Value("SELECT count(*) FROM Hadeeths"), "0");
    EXPECT_EQ(display_.list().size(), 4u);
    EXPECT_TRUE(display_.boxes().empty());
  }
}

// The sample book through the ODBC engine stores exactly the rows that the
// SQLite engine stores.
TEST_F(Form1Test, TheSampleBookThroughOdbc) {
  if (!TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
  fs::copy_file(ADDBOOK_SOURCE_DIR "/book/h1.txt", dir_ / "h1.txt");
  ASSERT_EQ(Run(), RunOutcome::kFinished);
  TestHost odbc;
  ASSERT_EQ(Run(odbc.sep(), TestEngines().at(1).open), RunOutcome::kFinished);
  EXPECT_EQ(form_->ExitStatus(), 0) << ::testing::PrintToString(Boxes());
  for (const char* table : {"Books", "Titles", "Hadeeths"}) {
    const std::string all = std::string("SELECT * FROM ") + table;
    EXPECT_EQ(odbc.Rows(all), host_.Rows(all)) << table;
  }
  EXPECT_EQ(odbc.Value("SELECT count(*) FROM Hadeeths"), "6");
}

TEST_F(Form1Test, CommandTwoAppendsTheRestOfTheText) {
  WriteBook({"*1*one", "rest a, b", "*EOF*"});
  ASSERT_EQ(Run(), RunOutcome::kFinished);
  // Re-open and prime by hand, then swallow the rest.
  form_->First_Click();
  EXPECT_EQ(form_->RecText, u"*1*one\r\n");
  form_->Command2_Click();
  // "rest a" is already the look-ahead; what is left is appended item by item.
  EXPECT_EQ(form_->RecText, u"*1*one\r\n\r\nNL\r\nb\r\nNL\r\n*EOF*");
}

}  // namespace
}  // namespace addbook
