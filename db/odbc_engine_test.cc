// The ODBC engine through unixODBC and the test driver registered under the
// Access driver's names (a SQLite driver: the files stay SQLite files).
#include "db/odbc_engine.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/error.h"
#include "base/recording_display.h"
#include "base/text.h"
#include "db/database.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

class OdbcEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
  }

  std::unique_ptr<Session> Open(const std::vector<std::u16string>& drivers = kAccessDrivers) {
    return OpenOdbcDatabase(host_.file(), std::chrono::seconds(5), drivers);
  }

  TestHost host_;
};

TEST(AccessConnectionStringTest, ValuesThatNeedBraces) {
  EXPECT_EQ(AccessConnectionString(u"Microsoft Access Driver (*.mdb)",
                                   PathFromUtf16(u"C:\\Varnel\\Data\\Hadeeth.mdb")),
            u"Driver={Microsoft Access Driver (*.mdb)};DBQ=C:\\Varnel\\Data\\Hadeeth.mdb;"
            u"Exclusive=1");
  EXPECT_EQ(AccessConnectionString(u"D", PathFromUtf16(u"C:\\a;b}\\\u0645 x.mdb")),
            u"Driver={D};DBQ={C:\\a;b}}\\\u0645 x.mdb};Exclusive=1");
}

// Arabic text of 100,000 characters, as a literal and as a bound value,
// comes back character for character; the transaction keeps it only when
// committed.
TEST_F(OdbcEngineTest, LongArabicTextAndTheTransaction) {
  std::u16string text;
  while (text.size() < 100000) text += u"\u0628\u0627\u0628 '\u0645\u0646 ";
  text.resize(100000);
  std::u16string literal;
  for (char16_t c : text) literal += c == u'\'' ? u"''" : std::u16string(1, c);
  const std::unique_ptr<Session> session = Open();
  session->Begin();
  EXPECT_EQ(
      session->Execute(u"INSERT INTO Books (BookNo, Name) VALUES (706, '" + literal + u"')").rows,
      1);
  session->Rollback();
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");

  session->Begin();
  session->Execute(u"INSERT INTO Books (BookNo, Name) VALUES (706, '" + literal + u"')");
  QueryResult found = session->Query(u"Select * from Books where BookNo=706");
  ASSERT_EQ(found.rows.size(), 1u);
  EXPECT_EQ(found.rows[0][1].text(), text);
  ASSERT_NE(found.writer, nullptr);
  found.writer->Write(0, {2}, {Variant(u"x" + text)});
  session->Commit();
  EXPECT_EQ(host_.Value("SELECT Author = 'x' || Name AND length(Author) = 100001 FROM Books"), "1");
}

// A warning from the driver on a write is a failure, with the driver's
// words; so is a query whose rows cannot be told apart.
TEST_F(OdbcEngineTest, WarningsAreFailures) {
  const std::unique_ptr<Session> session = Open();
  try {
    session->Execute(u"INSERT INTO Books (BookNo) VALUES (1) /*test:01004*/");
    ADD_FAILURE() << "the warning passed as success";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(),
              u"[SQLite]String data, right truncated (test) (native error 0, SQLSTATE 01004)");
  }
  EXPECT_THROW(session->Query(u"Select * from Books where BookNo=1 /*test:01004*/"), Error);
  session->Execute(u"INSERT INTO Books (BookNo) VALUES (2)");
  QueryResult both = session->Query(u"Select * from Books");
  try {
    both.writer->Write(0, {1}, {Variant(std::u16string(u"n"))});
    ADD_FAILURE() << "a row of two written back";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kNotUpdatable);
  }
  EXPECT_EQ(session->Query(u"Select count(*) AS n from Books").writer, nullptr);
}

// Without a driver of the names looked for, the database box says which
// were looked for; a file that is not there is never made.
TEST_F(OdbcEngineTest, NoDriverAndNoFile) {
  RecordingDisplay display;
  const std::u16string sep = host_.sep();
  Database db(display, sep);
  db.set_session_opener([](const std::filesystem::path& path, std::chrono::milliseconds t) {
    return OpenOdbcDatabase(path, t, {u"No Such Driver"});
  });
  int16_t no = 0;
  EXPECT_FALSE(db.OpenDb(no));
  ASSERT_EQ(display.boxes().size(), 1u);
  EXPECT_EQ(display.boxes()[0].title, u"DB Error  ( 0 )");
  EXPECT_EQ(Utf16ToUtf8(display.boxes()[0].prompt),
            "3051 Cannot open the database file " + host_.file() +
                ": it is an Access database, and no ODBC driver that writes one is installed "
                "(looked for \"No Such Driver\")");

  const std::string missing = host_.folder() + "/Missing.mdb";
  EXPECT_THROW(OpenOdbcDatabase(missing, std::chrono::seconds(1)), Error);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace addbook::engine
