#include "db/sqlite_engine.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook::engine {
namespace {

class SqliteEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(host_.Exec("INSERT INTO Books (BookNo, Name) VALUES (1, 'one'), (2, 'two');"), "");
    session_ = OpenSqliteDatabase(host_.file(), std::chrono::milliseconds(100));
  }

  TestHost host_;
  std::unique_ptr<Session> session_;
};

// NORMAL is safe against a power cut only in WAL mode; a rollback journal
// needs FULL.
TEST_F(SqliteEngineTest, FlushesCommitsAsTheJournalModeNeeds) {
  auto synchronous = [&] {
    return session_->Query(u"PRAGMA synchronous").rows.at(0).at(0).ToInt32();
  };
  EXPECT_EQ(synchronous(), 1);  // NORMAL, in the WAL file the schema makes
  session_.reset();
  ASSERT_EQ(host_.Exec("PRAGMA journal_mode=DELETE;"), "");
  session_ = OpenSqliteDatabase(host_.file(), std::chrono::milliseconds(100));
  EXPECT_EQ(synchronous(), 2);  // FULL
}

// A query of a shape already run is compiled once, in the rowid form; it must
// still read, write back and fail exactly as a query compiled afresh.
TEST_F(SqliteEngineTest, AQueryOfAKnownShapeBehavesAsAFreshOne) {
  session_->Query(u"select * from Books where BookNo=1");
  QueryResult two = session_->Query(u"select * from Books where BookNo=2");
  ASSERT_NE(two.writer, nullptr);
  ASSERT_EQ(two.rows.size(), 1u);
  two.writer->Write(0, {1}, {Variant(std::u16string(u"TWO"))});
  EXPECT_EQ(host_.Value("SELECT Name FROM Books WHERE BookNo=2"), "TWO");

  session_->Query(u"select * from Books where BookNo in (select 1 order by 1)");
  EXPECT_THROW(session_->Query(u"select * from Books where BookNo in (select 1 order by 2)"),
               Error);
}

}  // namespace
}  // namespace addbook::engine
