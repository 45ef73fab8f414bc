// The installer into Access hosts, checked by readers that share nothing with
// the engine that wrote them: Debian's mdbtools and npm's mdb-reader read
// back exactly the rows the SQLite engine stores for the same book in a
// SQLite host that held the same rows before.
#include <gtest/gtest.h>

#include <csignal>

#include "app/run_addbook_test_util.h"
#include "db/access_readers.h"
#include "db/jet/jet_engine.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

constexpr AccessReader kReaders[] = {AccessReader::kMdbtools, AccessReader::kMdbReader};

#define SKIP_WITHOUT_READERS() \
  if (auto missing = AccessReadersMissing()) GTEST_SKIP() << *missing

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The run's summary line without its time.
std::string Summary(const std::string& err) {
  const size_t start = err.find("addbook: ");
  return err.substr(start, err.find(", ", err.find("failures reported")) - start);
}

// An installation of |hadeeths| hadeeths of gen_book's (0: the sample book)
// into a copy of |fixture|, or into a SQLite host holding the rows of
// |fixture|'s dump when |fixture| names no file.
struct HostInstallation : Installation {
  fs::path file = host.file();

  HostInstallation(const fs::path& fixture, int hadeeths, bool sqlite) {
    if (sqlite) {
      EXPECT_EQ(host.Exec(InsertRowsSql(HostTables(), ReadDump(fixture, HostTables()))), "");
      host.Disconnect();
    } else {
      host.Disconnect();
      fs::copy_file(fixture, file, fs::copy_options::overwrite_existing);
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
    if (hadeeths > 0) {
      const std::string gen =
          ADDBOOK_GEN_BOOK " " + std::to_string(hadeeths) + " 7 >'" + root + "/bin/h1.txt'";
      EXPECT_EQ(std::system(gen.c_str()), 0);
    }
  }
};

// Both readers read |file| without a word and find the rows |want|, in any
// order, and the row counts of the tables' definitions agree.
void ExpectReadersFind(const fs::path& file, const std::vector<std::vector<Row>>& want) {
  for (AccessReader reader : kReaders) {
    SCOPED_TRACE(ReaderName(reader));
    const ReadBack back = ReadAccess(reader, file, HostTables());
    EXPECT_EQ(back.complaints, "");
    EXPECT_TRUE(SameRows(HostTables(), back.tables, want, true));
    for (size_t t = 0; reader == AccessReader::kMdbReader && t < want.size(); ++t) {
      EXPECT_EQ(back.row_counts[t], static_cast<int64_t>(back.tables[t].size()))
          << HostTables()[t].name;
    }
  }
}

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

// The sample book and a generated one, into every kind of Access host the
// engine writes: the same run, and the same rows, as into a SQLite host; the
// rows of the books there before unchanged.  A host whose index on a Text
// column the engine cannot keep is refused, its file untouched.
TEST(AccessHostTest, StoresWhatSqliteStores) {
  SKIP_WITHOUT_READERS();
  for (int hadeeths : {0, 2000}) {
    for (const char* name : {"host_plain.mdb", "host_indexed.mdb", "host_2003.mdb", "host.accdb",
                             "host_with_books.mdb", "host_text_index.mdb"}) {
      SCOPED_TRACE(std::string(name) + ", " + std::to_string(hadeeths) + " hadeeths");
      const fs::path fixture = JetFixtures() / name;
      HostInstallation sqlite(fixture, hadeeths, true), access(fixture, hadeeths, false);
      ASSERT_EQ(sqlite.Run(), 0) << sqlite.err;
      if (fixture.stem() == "host_text_index") {
        EXPECT_EQ(access.Run(), 2) << access.err;
        EXPECT_NE(access.err.find("TitlesByTitle"), std::string::npos) << access.err;
        EXPECT_TRUE(ReadBytes(access.file) == ReadBytes(fixture));
        continue;
      }
      EXPECT_EQ(access.Run(), 0) << access.err;
      EXPECT_EQ(Summary(access.err), Summary(sqlite.err));
      ExpectReadersFind(access.file, HostRows(sqlite.host, HostTables()));
      if (HasFailure()) return;
    }
  }
}

// Killed at any point of a large import, the installer leaves the host as it
// was, to the byte; the next run removes the copy a killed run left, imports
// the whole book, and keeps the host as it was beside it.
TEST(AccessHostTest, KilledMidImport) {
  SKIP_WITHOUT_READERS();
  const fs::path fixture = JetFixtures() / "host_with_books.mdb";
  HostInstallation access(fixture, 10000, false);
  const std::string before = ReadBytes(fixture);
  const std::string kill = KillAtRead(access.root);
  const size_t book = fs::file_size(access.root + "/bin/h1.txt");
  for (size_t share : {5, 40, 80}) {
    SCOPED_TRACE(share);
    EXPECT_EQ(access.Run("", kill + std::to_string(book * share / 100)), 128 + SIGKILL)
        << access.err;
    EXPECT_TRUE(ReadBytes(access.file) == before);
  }
  EXPECT_EQ(access.Run(), 0) << access.err;
  EXPECT_FALSE(fs::exists(engine::ImportCopyPath(access.file))) << "a killed run's copy left";
  EXPECT_TRUE(ReadBytes(engine::PreviousFilePath(access.file)) == before);
  HostInstallation sqlite(fixture, 10000, true);
  ASSERT_EQ(sqlite.Run(), 0) << sqlite.err;
  ExpectReadersFind(access.file, HostRows(sqlite.host, HostTables()));
}

}  // namespace
}  // namespace addbook
