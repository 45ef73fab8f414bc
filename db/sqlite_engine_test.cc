#include "db/sqlite_engine.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

std::unique_ptr<Session> Open(TestHost& host) {
  return OpenSqliteDatabase(host.file(), std::chrono::milliseconds(100));
}

// NORMAL is safe against a power cut only in WAL mode; a rollback journal
// needs FULL.
TEST(SqliteEngineTest, FlushesCommitsAsTheJournalModeNeeds) {
  TestHost host;
  const auto synchronous = [&] {
    return Open(host)->Query(u"PRAGMA synchronous").rows.at(0).at(0).ToInt32();
  };
  EXPECT_EQ(synchronous(), 1);  // NORMAL, in the WAL file the schema makes
  ASSERT_EQ(host.Exec("PRAGMA journal_mode=DELETE;"), "");
  EXPECT_EQ(synchronous(), 2);  // FULL
}

// A query of a shape already run is compiled once, in the rowid form; it must
// still fail exactly as a query compiled afresh.
TEST(SqliteEngineTest, AQueryOfAKnownShapeFailsAsAFreshOne) {
  TestHost host;
  const std::unique_ptr<Session> session = Open(host);
  session->Query(u"select * from Books where BookNo in (select 1 order by 1)");
  EXPECT_THROW(session->Query(u"select * from Books where BookNo in (select 1 order by 2)"), Error);
}

}  // namespace
}  // namespace addbook::engine
