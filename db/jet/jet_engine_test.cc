#include "db/jet/jet_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "base/text.h"
#include "db/sql_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace addbook::engine {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Another program that has |file| open, as Access has it, until the object
// goes: on POSIX a process holding an fcntl lock on a few of its bytes (the
// file is made when missing, as a lock file is); on Windows the file open
// with sharing.
class OpenElsewhere {
 public:
  explicit OpenElsewhere(const fs::path& file) {
#ifdef _WIN32
    handle_ = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
#else
    const std::string name = file.string();
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(name.c_str(), O_RDWR | O_CREAT, 0666);
      struct flock lock = {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = 0x40;
      lock.l_len = 2;
      char done = fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
      if (write(ready[1], &done, 1) == 1) pause();
      _exit(0);
    }
    char done = 0;
    EXPECT_EQ(read(ready[0], &done, 1), 1);
    EXPECT_EQ(done, 'y');
    close(ready[0]);
    close(ready[1]);
#endif
  }
  ~OpenElsewhere() {
#ifdef _WIN32
    CloseHandle(handle_);
#else
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE handle_;
#else
  pid_t pid_;
#endif
};

class JetEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    const fs::path fixture = fs::path(ADDBOOK_JET_FIXTURES) / "host_indexed.mdb";
    if (!fs::exists(fixture)) GTEST_SKIP() << "no Access fixtures in " ADDBOOK_JET_FIXTURES;
    // Test runs of other builds may share the temporary folder.
    folder_ = fs::temp_directory_path() /
              ("jet_engine_test_" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::random_device()()));
    fs::create_directories(folder_);
    host_ = folder_ / "Hadeeth.mdb";
    fs::copy_file(fixture, host_);
    fs::permissions(host_, fs::perms::owner_read | fs::perms::owner_write);
    original_ = Bytes(host_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::unique_ptr<Session> Open() { return OpenJetDatabase(host_, std::chrono::milliseconds(300)); }

  // The names in the host's folder, sorted.
  std::vector<std::string> Folder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static int64_t Count(Session& session, std::u16string_view table) {
    QueryResult found = session.Query(sql::BookRowCount(table, 706));
    EXPECT_EQ(found.columns, std::vector<std::u16string>{u"Found"});
    return found.rows.at(0).at(0).integer();
  }

  fs::path folder_, host_;
  std::string original_;
};

// The installer's statements as sql_text builds them, in its order; names
// in any case, bare or bracketed; rows written back.  Every other shape, and
// unknown names, are refused before anything changes.
TEST_F(JetEngineTest, StatementsOfTheInstaller) {
  std::unique_ptr<Session> session = Open();
  session->Begin();
  for (auto table : {u"Books", u"Titles", u"Hadeeths"}) EXPECT_EQ(Count(*session, table), 0);
  EXPECT_EQ(session->Execute(sql::BookInsert(706, u"O'Neil \u0628")).rows, 1);
  EXPECT_EQ(session->Execute(sql::TitleInsert(706, -1, 2, 3, 4, u"t")).rows, 1);
  QueryResult title = session->Query(sql::TitleKeyLookup(706, -1, 2, 3, 4));
  ASSERT_EQ(title.rows.size(), 1u);
  EXPECT_EQ(title.columns,
            (std::vector<std::u16string>{u"TitleID", u"BookNo", u"Vol", u"KTB", u"BAB", u"SubBAB",
                                         u"Title", u"Description"}));
  const int32_t title_id = title.rows[0][0].ToInt32();  // its AutoNumber
  EXPECT_EQ(session->Execute(sql::HadeethInsert(706, title_id, 5, 6, u"h")).rows, 1);
  ASSERT_TRUE(title.writer);
  title.writer->Write(0, {7}, {Variant(std::u16string(u"d"))});
  EXPECT_EQ(session->Query(sql::TitleLookupById(title_id)).rows.at(0).at(7),
            Variant(std::u16string(u"d")));
  EXPECT_EQ(session->Query(sql::HadeethLookup(title_id, 5)).rows.at(0).at(4),
            Variant(std::u16string(u"h\r\n")));
  EXPECT_EQ(session->Query(u"select * from [books] where [BOOKNO] = 706 ;").rows,
            (std::vector<std::vector<Variant>>{{Variant(int64_t{706}),
                                                Variant(std::u16string(u"O'Neil \u0628")),
                                                Variant(), Variant()}}));

  const std::pair<std::u16string, int32_t> refused[] = {
      {sql::BookRowsDelete(u"Books", 706), errors::kStatementRefused},
      {u"UPDATE Books SET Name='x' WHERE BookNo=706", errors::kStatementRefused},
      {u"SELECT Name FROM Books", errors::kStatementRefused},
      {u"SELECT * FROM Books WHERE BookNo=706 OR BookNo=1", errors::kStatementRefused},
      {u"SELECT * FROM Books WHERE BookNo='706'", errors::kStatementRefused},
      {u"INSERT INTO Books ([BookNo],[Name]) VALUES (707,NULL)", errors::kStatementRefused},
      {u"INSERT INTO Books ([BookNo],[bookno]) VALUES (707,708)", errors::kStatementRefused},
      {u"INSERT INTO Books ([BookNo]) VALUES (707); DELETE FROM Books", errors::kStatementRefused},
      {u"INSERT INTO Book ([BookNo]) VALUES (707)", errors::kTableNotFound},
      {u"INSERT INTO Books ([BookNo],[Nam]) VALUES (707,'x')", errors::kFieldNotFound},
      {u"SELECT Count(*) FROM Books WHERE Book=706", errors::kFieldNotFound},
  };
  for (const auto& [sql, number] : refused) {
    try {
      session->Execute(sql);
      ADD_FAILURE() << Utf16ToUtf8(sql) << " ran";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), number) << Utf16ToUtf8(sql);
    }
  }
  EXPECT_EQ(session->Query(u"SELECT * FROM Books").rows.size(), 1u);
  EXPECT_EQ(Count(*session, u"Hadeeths"), 1);
  session->Rollback();
  EXPECT_EQ(Count(*session, u"Books"), 0);
  EXPECT_TRUE(Bytes(host_) == original_);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Hadeeth.mdb"});
}

// Commit puts the import in the host and keeps the previous file beside it;
// the copy and the lock file are gone after either end.
TEST_F(JetEngineTest, CommitKeepsThePreviousFile) {
  {
    std::unique_ptr<Session> session = Open();
    session->Begin();
    session->Execute(sql::BookInsert(706, u"b"));
    EXPECT_EQ(session->Commit(), std::nullopt);
    EXPECT_EQ(Count(*session, u"Books"), 1);  // read from the host now
  }
  EXPECT_EQ(Folder(), (std::vector<std::string>{"Hadeeth.mdb", "Hadeeth.mdb.before-addbook"}));
  EXPECT_TRUE(Bytes(PreviousFilePath(host_)) == original_);
  const std::string committed = Bytes(host_);
  EXPECT_FALSE(committed == original_);
  std::unique_ptr<Session> again = Open();
  EXPECT_EQ(Count(*again, u"Books"), 1);
  // An insert outside a transaction runs in one of its own.
  EXPECT_EQ(again->Execute(sql::BookInsert(707, u"c")).rows, 1);
  EXPECT_TRUE(Bytes(PreviousFilePath(host_)) == committed);
}

// Another program that has the file open (Access holding a lock in its lock
// file or in the file itself) makes Begin fail after the wait, with the host
// as it was; a copy left by a killed import stays while it is open, and the
// next open after it removes the copy.
TEST_F(JetEngineTest, FileInUse) {
  const fs::path copy = ImportCopyPath(host_);
  for (const char* held : {"Hadeeth.ldb", "Hadeeth.mdb"}) {
#ifdef _WIN32
    if (std::string_view(held) == "Hadeeth.ldb") continue;  // Windows' sharing says it all
#endif
    SCOPED_TRACE(held);
    std::ofstream(copy) << "left by a killed import";
    {
      OpenElsewhere other(folder_ / held);
      std::unique_ptr<Session> session = Open();
      EXPECT_TRUE(fs::exists(copy));
      try {
        session->Begin();
        ADD_FAILURE() << "began";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::kDatabaseInUse);
        EXPECT_EQ(Utf16ToUtf8(e.description()),
                  "Could not use '" + host_.string() + "'; file already in use.");
      }
      EXPECT_TRUE(Bytes(host_) == original_);
    }
    Open();
    EXPECT_FALSE(fs::exists(copy));
    fs::remove(folder_ / "Hadeeth.ldb");
  }
}

// A host with an index whose keys the engine cannot write exactly is refused
// at open, naming the index, with nothing written.
TEST_F(JetEngineTest, UnwritableIndexRefusedAtOpen) {
  fs::copy_file(fs::path(ADDBOOK_JET_FIXTURES) / "host_text_index.mdb", host_,
                fs::copy_options::overwrite_existing);
  fs::permissions(host_, fs::perms::owner_read | fs::perms::owner_write);
  const std::string bytes = Bytes(host_);
  try {
    Open();
    ADD_FAILURE() << "opened";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kNotADatabase);
    EXPECT_NE(Utf16ToUtf8(e.description()).find("the index TitlesByTitle of the table Titles"),
              std::string::npos);
  }
  EXPECT_TRUE(Bytes(host_) == bytes);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Hadeeth.mdb"});
}

#ifndef _WIN32
// A disk that fills while the import is saved: the commit fails, the host is
// as it was and the copy is gone.
TEST_F(JetEngineTest, FullDiskAtCommit) {
  std::unique_ptr<Session> session = Open();
  session->Begin();
  session->Execute(sql::HadeethInsert(706, 1, 1, 1, std::u16string(60000, u'\u0628')));
  signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit = {}, limit = {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  limit = old_limit;
  limit.rlim_cur = original_.size() + 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  try {
    session->Commit();
    ADD_FAILURE() << "committed";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errors::kPathFileAccess) << Utf16ToUtf8(e.description());
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_TRUE(Bytes(host_) == original_);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Hadeeth.mdb"});
}
#endif

}  // namespace
}  // namespace addbook::engine
