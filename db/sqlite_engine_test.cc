#include "db/sqlite_engine.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

std::unique_ptr<Session> Open(TestHost& host) {
  return OpenSqliteDatabase(host.file(), std::chrono::milliseconds(100));
}

// The import's transaction holds the write lock from its start: another
// installer is refused after the wait, in one error that says why, and
// nothing is seen from outside before the commit, which is flushed to the
// disk whatever the journal mode.
TEST(SqliteEngineTest, TheImportIsOneTransaction) {
  TestHost host;
  const std::string count = "SELECT count(*) FROM Books";
  for (const char* journal : {"WAL", "DELETE"}) {
    SCOPED_TRACE(journal);
    ASSERT_EQ(host.Exec(std::string("PRAGMA journal_mode=") + journal), "");
    host.Disconnect();
    const std::unique_ptr<Session> first = Open(host);
    EXPECT_EQ(first->Query(u"PRAGMA synchronous").rows.at(0).at(0).ToInt32(), 2);  // FULL
    first->Begin();
    first->Execute(u"INSERT INTO Books (BookNo) VALUES (706)");
    try {
      Open(host)->Begin();
      ADD_FAILURE() << "a second transaction began";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errors::kDatabaseInUse);
      EXPECT_NE(Utf16ToUtf8(e.description()).find(host.file() + " is in use by another program"),
                std::string::npos);
    }
    if (std::string(journal) == "WAL") {
      EXPECT_EQ(host.Value(count), "0");
    }
    host.Disconnect();
    first->Rollback();
    first->Begin();
    first->Execute(u"INSERT INTO Books (BookNo) VALUES (706)");
    first->Commit();
    EXPECT_EQ(host.Value(count), "1");
    ASSERT_EQ(host.Exec("DELETE FROM Books"), "");
  }
}

// Once the transaction has ended without Commit or Rollback, nothing more
// runs as if it were still open.
TEST(SqliteEngineTest, ATransactionEndedByTheEngineIsFatal) {
  TestHost host;
  const std::unique_ptr<Session> session = Open(host);
  session->Begin();
  session->Execute(u"INSERT INTO Books (BookNo) VALUES (706)");
  EXPECT_THROW(session->Execute(u"ROLLBACK"), FatalError);
  EXPECT_EQ(host.Value("SELECT count(*) FROM Books"), "0");
}

// Rows of a table without rowids are written back by its primary key; a
// table that has shadowed every name of its rowid and has no primary key
// cannot be written back, and says so.
TEST(SqliteEngineTest, RowsAreFoundAgainByRowidOrPrimaryKey) {
  TestHost host;
  ASSERT_EQ(
      host.Exec("CREATE TABLE Keyed (a, b, v, PRIMARY KEY (b, a)) WITHOUT ROWID;"
                "INSERT INTO Keyed VALUES (1, 'x', 'one'), (2, 'x', 'two'), (1, 'y', 'three');"
                "CREATE TABLE Shadowed (_rowid_, rowid, oid, v); "
                "INSERT INTO Shadowed VALUES (1, 1, 1, 'v');"),
      "");
  const std::unique_ptr<Session> session = Open(host);
  QueryResult keyed = session->Query(u"Select * from Keyed where a=1 AND b='y'");
  ASSERT_EQ(keyed.rows.size(), 1u);
  ASSERT_NE(keyed.writer, nullptr);
  keyed.writer->Write(0, {2}, {Variant(std::u16string(u"changed"))});
  EXPECT_EQ(host.Value("SELECT group_concat(v) FROM (SELECT v FROM Keyed ORDER BY v)"),
            "changed,one,two");

  QueryResult shadowed = session->Query(u"Select * from Shadowed");
  EXPECT_EQ(shadowed.writer, nullptr);
  EXPECT_EQ(shadowed.read_only_reason,
            u"The table Shadowed has neither a row id nor a primary key to find its rows by.");
}

// A query of a shape already run is compiled once, in the keyed form; it must
// still fail exactly as a query compiled afresh.
TEST(SqliteEngineTest, AQueryOfAKnownShapeFailsAsAFreshOne) {
  TestHost host;
  const std::unique_ptr<Session> session = Open(host);
  session->Query(u"select * from Books where BookNo in (select 1 order by 1)");
  EXPECT_THROW(session->Query(u"select * from Books where BookNo in (select 1 order by 2)"), Error);
}

}  // namespace
}  // namespace addbook::engine
