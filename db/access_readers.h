// Access files read back by two readers that share nothing with this
// program's engine: Debian's mdbtools (mdb-json) and npm's mdb-reader
// (tools/mdb_reader/dump.mjs, installed by scripts/setup), for tests that
// check what the engine writes.  Both readers' rows come in one form, that of
// TestHost::Rows, so that they compare with what the SQLite engine stores:
// each value as UTF-8 text, numbers in decimal, and nullopt for Null and for
// an empty text alike, since mdbtools writes the two the same way.  Text is
// exact: CR LF, quotes and long memos as stored.
#ifndef ADDBOOK_DB_ACCESS_READERS_H_
#define ADDBOOK_DB_ACCESS_READERS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/test_host.h"

namespace addbook {

using Row = TestHost::Row;

// A table and the columns to read of it, in the order a row gives them.
struct TableShape {
  std::string name;
  std::vector<std::string> columns;
};
// Books, Hadeeths and Titles with every column the hosts have.
const std::vector<TableShape>& HostTables();

// The folder of the Access fixtures (ADDBOOK_JET_FIXTURES); empty when it is
// absent here.
std::filesystem::path JetFixtures();

// What the tests miss here to read Access files (a sentence for GTEST_SKIP),
// or nothing when both readers can run.
std::optional<std::string> AccessReadersMissing();

enum class AccessReader { kMdbtools, kMdbReader };
const char* ReaderName(AccessReader reader);

// The tables asked for, as one reader read them from an Access file.
struct ReadBack {
  std::vector<std::vector<Row>> tables;  // rows of each table, in the file's order
  // The row count each table's definition holds (mdb-reader), else -1.
  std::vector<int64_t> row_counts;
  // What the reader wrote on standard error, and how it failed: empty when
  // it read everything without a word.
  std::string complaints;
};
ReadBack ReadAccess(AccessReader reader, const std::filesystem::path& file,
                    const std::vector<TableShape>& tables);

// The rows of a fixture's dump (<fixture>.dump.jsonl, or <fixture
// stem>.dump.jsonl for an .mdb) for each table, in the same form.
std::vector<std::vector<Row>> ReadDump(const std::filesystem::path& fixture,
                                       const std::vector<TableShape>& tables);

// The rows of the SQLite host |host| in the same form, read in rowid order.
std::vector<std::vector<Row>> HostRows(TestHost& host, const std::vector<TableShape>& tables);

// Whether |got| holds the rows of |want|, table by table; with |any_order|,
// in any order.  On a difference, says in which table, how many rows each
// has, and the first row that differs.
testing::AssertionResult SameRows(const std::vector<TableShape>& tables,
                                  std::vector<std::vector<Row>> got,
                                  std::vector<std::vector<Row>> want, bool any_order = false);

// SQL that inserts |rows| (one list per table) into a SQLite host, values as
// literals.
std::string InsertRowsSql(const std::vector<TableShape>& tables,
                          const std::vector<std::vector<Row>>& rows);

}  // namespace addbook

#endif  // ADDBOOK_DB_ACCESS_READERS_H_
