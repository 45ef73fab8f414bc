// Bad books, bad settings, database faults and interruptions.  Whatever it
// meets, the installer ends, reports what went wrong in its own forms, says
// so in its exit status, runs no statement but those it built, and leaves a
// sound file holding either the rows it reported or nothing of the book.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <random>
#include <vector>

#include "app/run_addbook_test_util.h"

namespace addbook {
namespace {

constexpr char kSchema[] = "SELECT group_concat(sql, ';') FROM sqlite_master";

// The host passes its integrity check, still has the schema |schema| and
// holds |rows| rows, all of book 706.
void ExpectSound(TestHost& host, const std::optional<std::string>& schema, size_t rows) {
  EXPECT_EQ(host.Value("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(host.Value(kSchema), schema);
  std::string all = "SELECT 0";
  for (std::string table : {"Books", "Titles", "Hadeeths"}) {
    if (schema->find("TABLE " + table + " ") == std::string::npos) continue;
    all += " + (SELECT count(*) FROM " + table + " WHERE BookNo = 706)";
  }
  EXPECT_EQ(host.Value(all), std::to_string(rows)) << "rows stored";
}

// Every text stored, one row of a table a line, its fields joined by '|'.
constexpr char kStored[] =
    "SELECT coalesce(group_concat(t, x'0a'), '') FROM (SELECT Name || '|' || ifnull(Author, '') "
    "|| '|' || ifnull(Details, '') AS t FROM Books UNION ALL SELECT Title || '|' || "
    "ifnull(Description, '') FROM Titles UNION ALL SELECT Hadeeth FROM Hadeeths)";

// A book of |hadeeths| hadeeths under one heading, each with a body and a
// note after it: large enough to take the installer a while.
std::string LargeBook(int hadeeths) {
  std::string book = "*BOOK*large\r\n*1*v\r\n";
  for (int i = 1; i <= hadeeths; ++i) {
    book += "0" + std::to_string(i) + "-narrated by " + std::string(100, 'x') +
            "\r\n$body\r\n*NOTE*\r\n$late " + std::to_string(i) + "\r\n";
  }
  return book + "*EOF*\r\n";
}

// Each row sets up one thing the installer meets: a |book| in place of the
// sample book, |setup| (shell commands run in the host's folder), a
// |wrapper| around the executable and |args| after it, |sql| run on the host
// first, a |setting| for the host's folder.  It checks the exit status, a part |shown| of the
// output, the texts |stored| as kStored reads them ("?": not checked) and,
// unless the file was |damaged| on purpose, the file.  Apostrophes, quotes,
// semicolons, comment dashes and backslashes are text in every kind of
// record: the inserts store them as written, the field writers between
// apostrophes with the inner ones doubled.  A relative folder in the
// settings is taken from the current folder, here the root.
struct Case {
  const char* name;
  int status;
  std::string shown, stored, book = "", setup = "", wrapper = "", sql = "";
  bool damaged = false;
  std::string setting = "C:\\\\مكتب\\\\";
  std::string args = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> Cases() {
  std::mt19937 random(706);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string nobody =
      geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  return {
      {"random bytes", 1, "", "?", noise},
      {"NUL bytes: refused in a statement, stored in a field", 1,
       "dbCMD:The statement holds a NUL character (at character 88); nothing was run",
       std::string("012 s\r\n\r\n'b\0c\r\n\r\n'", 18),
       std::string("*1*a\0\r\n012-s\r\n*NOTE*\r\n$b\0c\r\n*EOF*", 33)},
      {"SQL characters", 0, "",
       "N'a\"m;e -- \\\r\n|'A''u\"t;h -- \\\r\n'|'D''e\"t;a -- \\\r\n'\n"
       "T'); DROP TABLE Books; -- \\\r\n|'C''o\"m;m -- \\\r\n\r\n'\n"
       "012-S'a\"n;a -- \\\r\n\r\n'B''o\"d;y -- \\\r\n\r\n'",
       "*BOOK*N'a\"m;e -- \\\r\n*AUTHOR*A'u\"t;h -- \\\r\n*TYPING*D'e\"t;a -- \\\r\n*END*\r\n"
       "*1*T'); DROP TABLE Books; -- \\\r\n@C'o\"m;m -- \\\r\n012-S'a\"n;a -- \\\r\n"
       "*NOTE*x\r\n$B'o\"d;y -- \\\r\n*EOF*\r\n"},
      {"book a pipe", 2, "h1.txt: not a regular file", "", "", "rm bin/h1.txt; mkfifo bin/h1.txt"},
      {"settings a device", 2, "Upgrade Varnel Program", "", "",
       "ln -sf /dev/zero prefix/user.reg"},
      {"relative folder", 2, "Cannot open the database file Varnel/Data/Hadeeth.mdb", "", "", "",
       "", "", false, "Varnel\\\\Data"},
      {"UNC folder", 2, "dosdevices/unc/server/share/Hadeeth.mdb", "", "", "", "", "", false,
       "\\\\\\\\server\\\\share"},
      {"missing table", 1, "dbCMD:no such table: Titles", "?", "", "", "", "DROP TABLE Titles"},
      {"NOT NULL column without default", 1, "dbCMD:NOT NULL constraint failed: Hadeeths.Grade",
       "?", "", "", "",
       "DROP TABLE Hadeeths; CREATE TABLE Hadeeths (BookNo, TitleID, HadeethID, HadeethNo, "
       "Hadeeth, Grade NOT NULL)"},
      {"damaged file", 2, "The book could not be saved", "?", "",
       "printf %16384s | dd of=Hadeeth.mdb bs=4K seek=4 conv=notrunc status=none", "", "", true},
      {"disk fills mid-import", 2, "Nothing of the book was stored", "", LargeBook(3000), "",
       "prlimit --fsize=300000"},
      {"book on a failing disk", 2, "h1.txt: Input/output error", "", "",
       "ln -sf /proc/self/mem bin/h1.txt"},
      {"Access file without an Access driver", 2,
       "it is an Access database, and no ODBC driver that writes one is installed (looked for "
       "\"Microsoft Access Driver (*.mdb)\" or \"Microsoft Access Driver (*.mdb, *.accdb)\")",
       "?", "", "printf '\\0\\1\\0\\0Standard Jet DB\\0' >Hadeeth.mdb",
       "env ODBCSYSINI=/nonexistent", "", true, "C:\\\\مكتب\\\\", "--engine=odbc"},
      {"display that no X server answers", 0,
       ADDBOOK_QT ? "addbook: no X server accepts a connection on the display \":87\"" : "", "?",
       "", "", "env DISPLAY=:87"},
      {"Qt platforms named that cannot start", 0,
       ADDBOOK_QT ? "addbook: QT_QPA_PLATFORM is \"wayland;xcb\", and the Qt platform \"wayland\" "
                    "is not installed, and no X server accepts a connection on the display \":87\""
                  : "",
       "?", "", "", "env QT_QPA_PLATFORM='wayland;xcb' DISPLAY=:87"},
      {"tables without rowids: rows found again by their primary keys", 0, "",
       "b\r\n|'a\r\n'|'d\r\n'\nt\r\n|'c\r\n\r\n'\n012 s\r\n\r\n'm\r\n\r\n'",
       "*BOOK*b\r\n*AUTHOR*a\r\n*TYPING*d\r\n*END*\r\n*1*t\r\n@c\r\n012 "
       "s\r\n*NOTE*\r\n$m\r\n*EOF*\r\n",
       "", "",
       "DROP TABLE Books; DROP TABLE Titles; DROP TABLE Hadeeths;"
       "CREATE TABLE Books (BookNo PRIMARY KEY, Name, Author, Details) WITHOUT ROWID;"
       "CREATE TABLE Titles (TitleID, BookNo, Vol, KTB, BAB, SubBAB, Title, Description, "
       "PRIMARY KEY (BookNo, Vol, KTB, BAB, SubBAB, Title)) WITHOUT ROWID;"
       "CREATE TRIGGER NumberTitles AFTER INSERT ON Titles BEGIN UPDATE Titles SET TitleID = "
       "(SELECT count(*) FROM Titles) WHERE Title = NEW.Title; END;"
       "CREATE TABLE Hadeeths (BookNo, TitleID, HadeethID, HadeethNo, Hadeeth, "
       "PRIMARY KEY (TitleID, HadeethID)) WITHOUT ROWID;"},
      {"read-only file", 2, "the file is read-only", "", "", "chmod 444 Hadeeth.mdb", nobody},
      {"read-only folder", 2, "attempt to write a readonly database", "", "",
       "chmod 666 Hadeeth.mdb; chmod 555 .", nobody},
      {"read-only folder, rollback journal", 2,
       "DB Error  ( 0 ): 3051 The database cannot be written: attempt to write a readonly "
       "database. "
       "Nothing of the book was stored.\naddbook: stopped early: the database refused to be "
       "written; 1 records handled, 0 rows",
       "", "", "chmod 666 Hadeeth.mdb; chmod 555 .", nobody, "PRAGMA journal_mode=DELETE"},
  };
}

class EndsSoundly : public testing::TestWithParam<Case> {};

INSTANTIATE_TEST_SUITE_P(RobustnessTest, EndsSoundly, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             if (*p == ' ') name += '_';
                           }
                           return name;
                         });

TEST_P(EndsSoundly, WhateverItMeets) {
  const Case& c = GetParam();
  {
    Installation inst(c.setting);
    if (!c.book.empty()) std::ofstream(inst.root + "/bin/h1.txt", std::ios::binary) << c.book;
    ASSERT_EQ(inst.host.Exec(c.sql), "");
    const auto schema = inst.host.Value(kSchema);
    inst.host.Disconnect();  // the log folded into the file: the run finds the file alone
    ASSERT_EQ(std::system(("cd '" + inst.root + "'; " + c.setup).c_str()), 0);
    EXPECT_EQ(inst.Run(c.args, c.wrapper), c.status) << inst.out << inst.err;
    std::filesystem::permissions(inst.root, std::filesystem::perms(0755));
    EXPECT_NE((inst.out + inst.err).find(c.shown), std::string::npos) << inst.out << inst.err;
    if (c.stored != "?") {
      EXPECT_EQ(inst.host.Value(kStored), c.stored);
    }
    const size_t summary = inst.err.find("records handled, ") + 17;
    if (!c.damaged) ExpectSound(inst.host, schema, std::stoull(inst.err.substr(summary)));
  }
}

// Killed at any point of a large import, the installer leaves nothing of the
// book and a sound file, and the next run imports the whole book.  The
// points are where the installer has read a given share of the book, however
// fast it runs.
TEST(RobustnessTest, KilledMidImport) {
  Installation inst;
  const auto schema = inst.host.Value(kSchema);
  const std::string book = LargeBook(20000);
  std::ofstream(inst.root + "/bin/h1.txt", std::ios::binary) << book;
  const std::string kill = KillAtRead(inst.root);
  inst.host.Disconnect();
  for (size_t share : {10, 45, 80}) {
    SCOPED_TRACE(share);
    const std::string bytes = std::to_string(book.size() * share / 100);
    EXPECT_EQ(inst.Run("", kill + bytes), 128 + SIGKILL) << inst.err;
    ExpectSound(inst.host, schema, 0);
    inst.host.Disconnect();
  }
  EXPECT_EQ(inst.Run(), 0) << inst.err;
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Hadeeths WHERE Hadeeth LIKE '%''late %'"),
            "20000");
  ExpectSound(inst.host, schema, 20002);
}

// Interrupted by what happens around it, the installer keeps nothing of the
// book, or all of it: the window closed is covered where the window is; here
// the reader of its output goes away, and a second installer starts at the
// same time.
TEST(RobustnessTest, OutputClosedAndTwoInstallersAtOnce) {
  Installation inst;
  // Every heading lookup fails: a list line per record, far more than a
  // pipe holds.
  ASSERT_EQ(inst.host.Exec("DROP TABLE Titles"), "");
  std::ofstream(inst.root + "/bin/h1.txt", std::ios::binary) << LargeBook(3000);
  inst.host.Disconnect();
  const std::string run = "cd / && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX='" + inst.root +
                          "/prefix' '" + inst.root + "/bin/addbook'";
  ASSERT_EQ(std::system(("{ " + run + " 2>'" + inst.root + "/err'; echo $? >'" + inst.root +
                         "/status'; } | head -1 >/dev/null")
                            .c_str()),
            0);
  std::string status, err;
  std::getline(std::ifstream(inst.root + "/status"), status);
  std::getline(std::ifstream(inst.root + "/err"), err, '\0');
  EXPECT_EQ(status, "1");
  EXPECT_NE(err.find("addbook: import finished; 9003 records handled, 3001 rows inserted"),
            std::string::npos)
      << err;
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Hadeeths"), "3000");

  ASSERT_EQ(inst.host.Exec("DELETE FROM Books; DELETE FROM Hadeeths"), "");
  inst.host.Disconnect();
  ASSERT_EQ(std::system(("for i in 1 2; do (" + run + " >/dev/null 2>'" + inst.root +
                         "/err'$i; echo $? >'" + inst.root + "/status'$i) & done; wait")
                            .c_str()),
            0);
  std::string statuses;
  for (const char* i : {"1", "2"}) {
    std::getline(std::ifstream(inst.root + "/status" + i), status);
    statuses += status;
  }
  EXPECT_TRUE(statuses == "12" || statuses == "21") << statuses;
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Books"), "1");
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Hadeeths"), "3000");
}

// Without /proc the running program cannot tell its own folder: the run
// ends with the start-up box, not an abort.
TEST(RobustnessTest, ExecutableFolderUnknown) {
#if defined(__SANITIZE_ADDRESS__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizers' runtime needs /proc";
#endif
#endif
  if (geteuid() != 0 || std::system("unshare -m --propagation private true 2>/dev/null") != 0) {
    GTEST_SKIP() << "mounting over /proc needs root and mount namespaces";
  }
  Installation inst;
  EXPECT_EQ(inst.Run("",
                     "unshare -m --propagation private sh -c 'mount -t tmpfs none /proc && "
                     "exec \"$0\"'"),
            2)
      << inst.err;
  EXPECT_NE(inst.err.find("Adding Book: 75: Path/File access error: /proc/self/exe"),
            std::string::npos)
      << inst.err;
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Books"), "0");
}

}  // namespace
}  // namespace addbook
