// The installer into Access hosts, checked by readers that share nothing with
// the engine that wrote them: Debian's mdbtools and npm's mdb-reader read
// back exactly the rows the SQLite engine stores for the same book into a
// SQLite host holding the same rows before.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/access_readers.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

constexpr AccessReader kReaders[] = {AccessReader::kMdbtools, AccessReader::kMdbReader};

#define SKIP_WITHOUT_READERS() \
  if (auto missing = AccessReadersMissing()) GTEST_SKIP() << *missing

// The harness itself: both readers give the rows of the fixture's dump, made
// by a third reader, in the same order.
TEST(AccessHostTest, ReadersGiveTheDumpsRows) {
  SKIP_WITHOUT_READERS();
  const fs::path fixture = JetFixtures() / "host_with_books.mdb";
  const auto dump = ReadDump(fixture, HostTables());
  ASSERT_EQ(dump[1].size(), 2000u);
  for (AccessReader reader : kReaders) {
    SCOPED_TRACE(ReaderName(reader));
    const ReadBack back = ReadAccess(reader, fixture, HostTables());
    EXPECT_EQ(back.complaints, "");
    EXPECT_TRUE(SameRows(HostTables(), back.tables, dump));
  }
}

}  // namespace
}  // namespace addbook
