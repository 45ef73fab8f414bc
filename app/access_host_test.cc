// The installer into Access hosts, checked by readers that share nothing with
// the engine that wrote them: Debian's mdbtools and npm's mdb-reader read
// back exactly the rows the SQLite engine stores for the same book in a
// SQLite host that held the same rows before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "app/run_addbook_test_util.h"
#include "db/access_readers.h"
#include "db/jet/host97_test_util.h"
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

// The Access 97 host: the host's tables, empty, made by the engine in a copy
// of a real Access 97 file; made once per test program, in a folder of its
// own since test programs of other builds share the temporary folder, and
// removed at the program's end.
struct Host97File {
  fs::path folder = fs::path(testing::TempDir()) / ("host97_" + std::to_string(getpid()));
  fs::path file = folder / "host97.mdb";
  Host97File() {
    fs::create_directories(folder);
    jet::MakeHost97(JetFixtures() / "real" / "openiti_shamela_32.mdb", file);
  }
  ~Host97File() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};
const fs::path& Host97() {
  static const Host97File host;
  return host.file;
}

// An installation of |hadeeths| hadeeths of gen_book's (0: the sample book)
// into a copy of the Access host |fixture|, or, with |sqlite|, into a SQLite
// host holding the rows of |fixture|'s dump (none for the Access 97 host).
struct HostInstallation : Installation {
  fs::path file = host.file();

  HostInstallation(const fs::path& fixture, int hadeeths, bool sqlite) {
    if (sqlite) {
      if (fixture != Host97()) {
        EXPECT_EQ(host.Exec(InsertRowsSql(HostTables(), ReadDump(fixture, HostTables()))), "");
      }
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
    for (const fs::path& fixture :
         {JetFixtures() / "host_plain.mdb", JetFixtures() / "host_indexed.mdb",
          JetFixtures() / "host_2003.mdb", JetFixtures() / "host.accdb",
          JetFixtures() / "host_with_books.mdb", JetFixtures() / "host_text_index.mdb", Host97()}) {
      SCOPED_TRACE(fixture.filename().string() + ", " + std::to_string(hadeeths) + " hadeeths");
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

// Kills imports into a copy of |fixture| at several points, then lets one
// run to its end.
void KillMidImport(const fs::path& fixture) {
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

// Killed at any point of a large import, the installer leaves the host as it
// was, to the byte; the next run removes the copy a killed run left, imports
// the whole book, and keeps the host as it was beside it.
TEST(AccessHostTest, KilledMidImport) {
  SKIP_WITHOUT_READERS();
  for (const fs::path& fixture : {JetFixtures() / "host_with_books.mdb", Host97()}) {
    SCOPED_TRACE(fixture.filename().string());
    KillMidImport(fixture);
  }
}

}  // namespace
}  // namespace addbook
