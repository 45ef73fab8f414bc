#include "db/database.h"

#include <gtest/gtest.h>

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

  // Opens the database under sep_: "opened", or DbErrNo and each box shown.
  std::string OpenDb() {
    int16_t no = 7;
    std::string seen = db_.OpenDb(no) ? "opened" : "DbErrNo " + std::to_string(no);
    // Each statement on its own from here, so that the test's own connection
    // sees it and can change the host in between.
    if (seen == "opened") db_.Conn.CommitTrans();
    for (const RecordingDisplay::Box& box : display_.boxes())
      seen += (box.style == BoxStyle::kCritical ? "|critical|" : "|plain|") +
              Utf16ToUtf8(box.title + u"|" + box.prompt);
    return seen;
  }

  TestHost host_;
  std::u16string sep_;
  RecordingDisplay display_;
  Database db_;
};

// What the user sees when Hadeeth.mdb cannot be opened for writing.
TEST_F(DatabaseTest, OpenFailures) {
  enum Setup { kBytes, kMissing, kFolder };
  // |bytes| are written as Hadeeth.mdb for kBytes.
  const std::tuple<Setup, std::string, std::string, std::string> rows[] = {
      {kMissing, "", "3024", "No such file or directory"},
      {kFolder, "", "3051", "it is a folder, not a file"},
      {kBytes, "", "3343", "the file is empty, not a database"},
      {kBytes, "Name,Author\r\n", "3343",
       "it is not a database (it begins with neither a SQLite 3 nor an Access header)"},
      {kBytes, std::string("SQLite format 3\0", 16) + std::string(200, '\x7f'), "3343",
       "file is not a database (SQLite error 26)"},
  };
  for (const auto& [setup, bytes, number, reason] : rows) {
    SCOPED_TRACE(reason);
    TestHost host(TestHost::Contents::kNothing);
    if (setup == kFolder) fs::create_directory(host.file());
    if (setup == kBytes) std::ofstream(host.file(), std::ios::binary) << bytes;
    sep_ = host.sep();
    display_.Clear();
    EXPECT_EQ(OpenDb(), "DbErrNo 0|critical|DB Error  ( 0 )|" + number +
                            " Cannot open the database file " + host.file() + ": " + reason);
    EXPECT_TRUE(setup != kMissing || fs::is_empty(host.folder())) << "nothing created";
  }
}

// Writes change what they name and nothing else.  Text that would run
// anything but one whole statement is refused, and nothing of it runs.  Of
// two rows alike in every column, one of them named like the rowid, Update
// writes the current one only, and fails once that row is gone.
TEST_F(DatabaseTest, WritesTouchOnlyWhatTheyName) {
  ASSERT_EQ(host_.Exec("ALTER TABLE Books ADD COLUMN _rowid_; INSERT INTO Books VALUES "
                       "(1, 'same', 0, 0, 7), (1, 'same', 0, 0, 7), (2, 'two', 0, 0, 7);"),
            "");
  ASSERT_EQ(OpenDb(), "opened");
  for (const char16_t* sql : {u"DELETE FROM Books WHERE BookNo=2;\r\n DROP TABLE Books",
                              u"DELETE FROM Books WHERE BookNo=2;)"}) {
    db_.DbCmd(sql);
    EXPECT_EQ(display_.list().back(),
              u"dbCMD:The text holds more than one statement, or text after "
              u"its statement; nothing was run");
  }
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "3");
  db_.DbCmd(u"DELETE FROM Books WHERE BookNo=2;\r\n ");
  EXPECT_EQ(display_.list().size(), 2u);
  db_.SqlSelect(db_.Rs, u"Select * from Books where BookNo=1");
  ASSERT_EQ(db_.Rs.RecordCount(), 2);
  db_.Rs.Collect(u"NAME", Variant(std::u16string(u"first")));
  db_.Rs.Update();
  db_.Rs.Update();  // nothing pending: nothing written
  EXPECT_EQ(host_.Value("SELECT group_concat(Name) FROM Books"), "first,same");
  ASSERT_EQ(host_.Exec("DELETE FROM Books WHERE Name='first';"), "");
  db_.Rs.Collect(u"Name", Variant(std::u16string(u"gone")));
  EXPECT_THROW(db_.Rs.Update(), Error);
  EXPECT_EQ(host_.Value("SELECT group_concat(Name) FROM Books"), "same");
}

}  // namespace
}  // namespace addbook
