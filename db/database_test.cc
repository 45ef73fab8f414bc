#include "db/database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

class DatabaseTest : public ::testing::Test {
 protected:
  DatabaseTest() : sep_(host_.sep()), db_(display_, sep_) { db_.set_busy_timeout_ms(100); }

  bool Open() {
    int16_t no = 7;
    bool opened = db_.OpenDb(no);
    EXPECT_EQ(no, 0);
    return opened;
  }

  // The one box shown, as "<title>|<prompt>".
  std::string OnlyBox() {
    EXPECT_EQ(display_.boxes().size(), 1u);
    if (display_.boxes().empty()) return {};
    const RecordingDisplay::Box& box = display_.boxes()[0];
    EXPECT_EQ(box.style, BoxStyle::kCritical);
    return Utf16ToUtf8(box.title + u"|" + box.prompt);
  }

  std::vector<std::string> List() {
    std::vector<std::string> lines;
    for (const std::u16string& line : display_.list()) lines.push_back(Utf16ToUtf8(line));
    return lines;
  }

  TestHost host_;
  std::u16string sep_;
  RecordingDisplay display_;
  Database db_;
};

TEST_F(DatabaseTest, OpenDbOpensTheFileUnderSep) {
  ASSERT_TRUE(Open());
  EXPECT_TRUE(display_.boxes().empty());
  EXPECT_EQ(db_.Conn.ConnectionString,
            u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sep_ + u"\\Hadeeth.mdb");
  EXPECT_EQ(db_.Rs.State(), kStateClosed);
  db_.DbCmd(u"INSERT INTO Books (BookNo) VALUES (706)");
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "1");
}

TEST_F(DatabaseTest, EmptySepNamesHadeethMdbAtTheRoot) {
  std::u16string seen;
  sep_.clear();
  db_.set_path_resolver([&](std::u16string_view source) {
    seen = source;
    return host_.file();
  });
  ASSERT_TRUE(Open());
  EXPECT_EQ(seen, u"\\Hadeeth.mdb");
  EXPECT_EQ(SlashedPath(u"C:\\Data\\Hadeeth.mdb"), "C:/Data/Hadeeth.mdb");
}

TEST_F(DatabaseTest, OpenDbReportsFilesThatAreNoWritableDatabase) {
  host_.Disconnect();
  struct Case {
    const char* name;
    std::string bytes;  // written over Hadeeth.mdb; "-" to remove it, "/" for a folder
    std::string reason;
  };
  const std::string jet = std::string("\0\1\0\0Standard Jet DB\0", 20) + std::string(100, 'x');
  const std::string ace = std::string("\0\1\0\0Standard ACE DB\0", 20) + std::string(100, 'x');
  const Case cases[] = {
      {"missing", "-", "-14 Cannot open the database file {}: No such file or directory"},
      {"a folder", "/", "-14 Cannot open the database file {}: it is a folder, not a file"},
      {"empty", "", "-26 Cannot open the database file {}: the file is empty, not a database"},
      {"text", "Name,Author\r\n",
       "-26 Cannot open the database file {}: it is not a database (it does not begin with a "
       "SQLite 3 header)"},
      {"Jet", jet,
       "-26 Cannot open the database file {}: it is an Access (Jet) database; only SQLite 3 "
       "databases can be written"},
      {"ACE", ace,
       "-26 Cannot open the database file {}: it is an Access (ACE) database; only SQLite 3 "
       "databases can be written"},
      {"damaged", std::string("SQLite format 3\0", 16) + std::string(200, '\x7f'),
       "-26 Cannot open the database file {}: file is not a database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(host_.file());
    if (c.bytes == "/") {
      fs::create_directory(host_.file());
    } else if (c.bytes != "-") {
      std::ofstream(host_.file(), std::ios::binary) << c.bytes;
    }
    display_.Clear();
    Database db(display_, sep_);
    int16_t no = 0;
    EXPECT_FALSE(db.OpenDb(no));
    std::string expected = c.reason;
    expected.replace(expected.find("{}"), 2, host_.file());
    EXPECT_EQ(OnlyBox(), "DB Error  ( 0 )|" + expected);
    // Nothing was created or written.
    if (c.bytes == "-") {
      EXPECT_FALSE(fs::exists(host_.file()));
    } else if (c.bytes != "/") {
      std::ifstream in(host_.file(), std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.bytes);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(host_.folder()), fs::directory_iterator()),
              c.bytes == "-" ? 0 : 1);
  }
}

TEST_F(DatabaseTest, OpenDbCreatesNothingForAMissingFolder) {
  std::u16string missing = sep_ + u"\\Nope";
  Database db(display_, missing);
  int16_t no = 0;
  EXPECT_FALSE(db.OpenDb(no));
  EXPECT_EQ(OnlyBox(), "DB Error  ( 0 )|-14 Cannot open the database file " + host_.folder() +
                           "/Nope/Hadeeth.mdb: No such file or directory");
  EXPECT_FALSE(fs::exists(host_.folder() + "/Nope"));
}

TEST_F(DatabaseTest, OpenDbRefusesAFileItCanOnlyRead) {
  ASSERT_EQ(host_.Exec("PRAGMA journal_mode=DELETE;"), "");
  host_.Disconnect();
  fs::permissions(host_.folder(), fs::perms::all);
  fs::permissions(host_.file(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // Root writes any file; the check runs as an ordinary user then.
  auto open_as_user = [&] {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    RecordingDisplay display;
    Database db(display, sep_);
    int16_t no = 0;
    bool opened = db.OpenDb(no);
    for (const auto& box : display.boxes())
      fprintf(stderr, "%s\n", Utf16ToUtf8(box.prompt).c_str());
    _exit(opened ? 1 : 0);
  };
  EXPECT_EXIT(open_as_user(), ::testing::ExitedWithCode(0),
              "-8 Cannot open the database file .*/Hadeeth.mdb: the file is read-only");
}

TEST_F(DatabaseTest, OpenDbWaitsForAnExclusiveLockAndThenFails) {
  ASSERT_EQ(host_.Exec("PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE;"), "");
  EXPECT_FALSE(Open());
  EXPECT_EQ(OnlyBox(), "DB Error  ( 0 )|-5 Cannot open the database file " + host_.file() +
                           ": database is locked");
}

TEST_F(DatabaseTest, StatementsWaitingForAWriterFailOneByOneAndTheRunGoesOn) {
  ASSERT_TRUE(Open());
  ASSERT_EQ(host_.Exec("BEGIN IMMEDIATE;"), "");
  db_.DbCmd(u"INSERT INTO Books (BookNo) VALUES (1)");
  db_.DbCmd(u"INSERT INTO Books (BookNo) VALUES (2)");
  EXPECT_EQ(List(),
            (std::vector<std::string>{"dbCMD:database is locked", "dbCMD:database is locked"}));
  ASSERT_EQ(host_.Exec("COMMIT;"), "");
  db_.DbCmd(u"INSERT INTO Books (BookNo) VALUES (3)");
  EXPECT_EQ(display_.list().size(), 2u);
  EXPECT_EQ(host_.Value("SELECT group_concat(BookNo) FROM Books"), "3");
}

TEST_F(DatabaseTest, SqlSelectReopensOnTheNewQuery) {
  ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo) VALUES (1), (1), (2);"), "");
  ASSERT_TRUE(Open());
  db_.SqlSelect(db_.Rs, u"Select * from Books where BookNo=1");
  EXPECT_EQ(db_.Rs.RecordCount(), 2);
  db_.SqlSelect(db_.Rs, u"Select * from Books where BookNo=2");
  EXPECT_EQ(db_.Rs.RecordCount(), 1);
  EXPECT_EQ(db_.Rs.Fields(u"bookno").Value().ToInt32(), 2);
  EXPECT_EQ(db_.Rs.Fields(u"Author").Value().ToText(), u"");  // Null
  EXPECT_TRUE(display_.list().empty());
}

TEST_F(DatabaseTest, FailuresBecomeListLinesAndTheCallerGoesOn) {
  ASSERT_TRUE(Open());
  db_.SqlSelect(db_.Rs, u"Select * from Books");
  db_.SqlSelect(db_.Rs, u"Select * from Nope");
  EXPECT_EQ(db_.Rs.State(), kStateClosed);
  db_.DbCmd(u"INSERT INTO Nope VALUES (1)");
  db_.DbCmd(u"select * from Books");  // rows dropped, no report
  EXPECT_EQ(List(), (std::vector<std::string>{"SQL Select:no such table: Nope",
                                              "dbCMD:no such table: Nope"}));
  EXPECT_EQ(display_.do_events_count(), 2);
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
}

class RecordsetTest : public DatabaseTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo, Name) VALUES (1, 'same'), (1, 'same');"), "");
    ASSERT_TRUE(Open());
  }

  int32_t ErrorOf(const std::function<void()>& step) {
    try {
      step();
    } catch (const Error& e) {
      return e.number();
    }
    return 0;
  }
};

TEST_F(RecordsetTest, UpdateWritesOnlyTheCurrentRowOfIdenticalRows) {
  db_.SqlSelect(db_.Rs, u"Select * from Books where BookNo=1");
  ASSERT_EQ(db_.Rs.RecordCount(), 2);
  db_.Rs.Collect(u"NAME", Variant(std::u16string(u"first")));
  EXPECT_EQ(db_.Rs.Fields(u"Name").Value().ToText(), u"first");
  db_.Rs.Update();
  EXPECT_EQ(host_.Rows("SELECT Name FROM Books ORDER BY rowid"),
            (std::vector<TestHost::Row>{{"first"}, {"same"}}));
  db_.Rs.Update();  // nothing pending: nothing written
  db_.Rs.Collect(u"Name", Variant(std::u16string(u"dropped")));
  db_.Rs.CancelUpdate();
  db_.Rs.Close();
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books WHERE Name='dropped'"), "0");
}

TEST_F(RecordsetTest, OperationsOutOfStateFail) {
  Recordset& rs = db_.Rs;
  EXPECT_EQ(ErrorOf([&] { rs.RecordCount(); }), errors::kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs.Fields(u"Name"); }), errors::kObjectClosed);
  rs.Open(u"Select * from Books");
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select * from Books"); }), errors::kObjectOpen);
  EXPECT_EQ(ErrorOf([&] { rs.Fields(u"Nope"); }), errors::kItemNotFound);
  rs.Collect(u"Name", Variant());
  EXPECT_EQ(ErrorOf([&] { rs.Close(); }), errors::kNotAllowedInContext);
  rs.CancelUpdate();
  rs.Close();
  rs.Open(u"Select count(*) AS n from Books");
  EXPECT_EQ(rs.Fields(u"N").Value().ToInt32(), 2);
  EXPECT_EQ(ErrorOf([&] { rs.Collect(u"n", Variant(int64_t{5})); }), errors::kNotUpdatable);
}

}  // namespace
}  // namespace addbook
