#include "db/sqlite/sqlite_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

std::unique_ptr<Session> Open(TestHost& host) {
  return OpenSqliteDatabase(host.file(), std::chrono::milliseconds(100));
}

// Once SQLite has undone the transaction by itself, after a statement that
// ran or one that failed (the disk full), nothing more runs as if it were
// still open.
TEST(SqliteEngineTest, ATransactionEndedByTheEngineIsFatal) {
  TestHost host;
  const std::unique_ptr<Session> session = Open(host);
  for (const char16_t* ending :
       {u"ROLLBACK", u"INSERT INTO Books (BookNo, Name) VALUES (1, zeroblob(100000))"}) {
    session->Begin();
    session->Execute(u"INSERT INTO Books (BookNo) VALUES (706)");
    session->Execute(u"PRAGMA max_page_count = 1");  // no page beyond those in use
    EXPECT_THAT([&] { session->Execute(ending); },
                testing::Throws<FatalError>(
                    testing::Property(&FatalError::kind, FatalError::Kind::kImportUndone)));
    EXPECT_EQ(host.Value("SELECT count(*) FROM Books"), "0");
  }
}

// The import's one commit is flushed to the disk.  Text beyond one statement
// is refused, and nothing of it runs.  A query of a shape already run is
// compiled once, in the keyed form; it must still fail exactly as a query
// compiled afresh.
TEST(SqliteEngineTest, WhatRunsAndHowItIsKept) {
  TestHost host;
  ASSERT_EQ(host.Exec("INSERT INTO Books (BookNo) VALUES (2)"), "");
  const std::unique_ptr<Session> session = Open(host);
  EXPECT_EQ(session->Query(u"PRAGMA synchronous").rows.at(0).at(0).ToInt32(), 2);
  for (const char16_t* sql : {u"DELETE FROM Books;\r\n DROP TABLE Books", u"DELETE FROM Books;)"}) {
    EXPECT_THAT([&] { session->Execute(sql); }, testing::Throws<Error>(testing::Property(
                                                    &Error::number, errors::kStatementRefused)));
  }
  EXPECT_EQ(session->Execute(u"DELETE FROM Books;\r\n ").rows, 1);
  session->Query(u"select * from Books where BookNo in (select 1 order by 1)");
  EXPECT_THROW(session->Query(u"select * from Books where BookNo in (select 1 order by 2)"), Error);
}

// Rows are written back by the rowid under a name the table leaves free: the
// row read, and no other alike in every column.  A table that has shadowed
// every name of its rowid, and has no primary key, says why it cannot be.
TEST(SqliteEngineTest, RowsAreFoundAgainByTheirRowid) {
  TestHost host;
  ASSERT_EQ(
      host.Exec("CREATE TABLE Alike (_rowid_, v); INSERT INTO Alike VALUES (7, 'a'), (7, 'a');"
                "CREATE TABLE Shadowed (_rowid_, rowid, oid, v); "
                "INSERT INTO Shadowed VALUES (1, 1, 1, 'v');"),
      "");
  const std::unique_ptr<Session> session = Open(host);
  QueryResult alike = session->Query(u"Select * from Alike where _rowid_=7");
  ASSERT_NE(alike.writer, nullptr) << Utf16ToUtf8(alike.read_only_reason);
  alike.writer->Write(1, {1}, {Variant(u"b")});
  EXPECT_EQ(host.Value("SELECT group_concat(v) FROM Alike"), "a,b");
  QueryResult shadowed = session->Query(u"Select * from Shadowed");
  EXPECT_EQ(shadowed.writer, nullptr);
  EXPECT_EQ(shadowed.read_only_reason,
            u"The table Shadowed has neither a row id nor a primary key to find its rows by.");
}

}  // namespace
}  // namespace addbook::engine
