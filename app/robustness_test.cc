// Bad books, bad settings and database faults.  Whatever it meets, the
// installer ends, reports what went wrong in its own forms, says so in its
// exit status, runs no statement but those it built, and leaves a sound file
// holding every row it wrote.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "app/form1.h"
#include "app/run_addbook_test_util.h"
#include "base/recording_display.h"
#include "base/text.h"

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

// Each row sets up one thing the installer meets: a |book| in place of the
// sample book, |setup| (shell commands run in the host's folder), a
// |wrapper| around the executable, |sql| run on the host first, a |setting|
// for the host's folder.  It checks the exit status, a part |shown| of the
// output, the texts |stored| as kStored reads them ("?": not checked) and,
// unless the file was |damaged| on purpose, the file.  Apostrophes, quotes,
// semicolons, comment dashes and backslashes are text in every kind of
// record: the inserts store them as written, the field writers between
// apostrophes with the inner ones doubled.  A relative folder in the
// settings is taken from the current folder, here the root.
TEST(RobustnessTest, EndsSoundlyWhateverItMeets) {
  std::mt19937 random(706);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string nobody =
      geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  struct Case {
    const char* name;
    int status;
    std::string shown, stored, book = "", setup = "", wrapper = "", sql = "";
    bool damaged = false;
    std::string setting = "C:\\\\مكتب\\\\";
  } cases[] = {
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
      {"book a device", 2, "h1.txt: not a regular file", "", "", "ln -sf /dev/zero bin/h1.txt"},
      {"settings a pipe", 2, "Upgrade Varnel Program", "", "",
       "rm prefix/user.reg; mkfifo prefix/user.reg"},
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
      {"damaged file", 1, "SQL Select:database disk image is malformed", "?", "",
       "printf %16384s | dd of=Hadeeth.mdb bs=4K seek=4 conv=notrunc status=none", "", "", true},
      {"disk full", 1, "dbCMD:disk I/O error", "?", "", "", "prlimit --fsize=65536"},
      {"read-only file", 2, "the file is read-only", "", "", "chmod 444 Hadeeth.mdb", nobody},
      {"read-only folder", 2, "attempt to write a readonly database", "", "",
       "chmod 666 Hadeeth.mdb; chmod 555 .", nobody},
      {"read-only folder, rollback journal", 1, "dbCMD:attempt to write a readonly database", "?",
       "", "chmod 666 Hadeeth.mdb; chmod 555 .", nobody, "PRAGMA journal_mode=DELETE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation inst(c.setting);
    if (!c.book.empty()) std::ofstream(inst.root + "/bin/h1.txt", std::ios::binary) << c.book;
    ASSERT_EQ(inst.host.Exec(c.sql), "");
    const auto schema = inst.host.Value(kSchema);
    inst.host.Disconnect();  // the log folded into the file: the run finds the file alone
    ASSERT_EQ(std::system(("cd '" + inst.root + "'; " + c.setup).c_str()), 0);
    EXPECT_EQ(inst.Run("", c.wrapper), c.status) << inst.out << inst.err;
    std::filesystem::permissions(inst.root, std::filesystem::perms(0755));
    EXPECT_NE((inst.out + inst.err).find(c.shown), std::string::npos) << inst.out << inst.err;
    if (c.stored != "?") {
      EXPECT_EQ(inst.host.Value(kStored), c.stored);
    }
    const size_t summary = inst.err.find("records handled, ") + 17;
    if (!c.damaged) ExpectSound(inst.host, schema, std::stoull(inst.err.substr(summary)));
  }
}

// Another connection holds the database for longer than the installer
// waits: exclusively (nothing can be read), or for writing (reading goes on).
TEST(RobustnessTest, DatabaseLockedByAnother) {
  for (const char* lock : {"PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
    SCOPED_TRACE(lock);
    const bool exclusive = lock[0] == 'P';
    Installation inst;
    std::ofstream(inst.root + "/bin/h1.txt") << "*BOOK*b\r\n*1*a\r\n012-s\r\n*EOF*\r\n";
    const auto schema = inst.host.Value(kSchema);
    ASSERT_EQ(inst.host.Exec(lock), "");
    RecordingDisplay display;
    Form1 form(display, {[&] { return inst.host.sep(); }, [&] { return inst.root + "/bin"; },
                         nullptr, 200});
    form.Form_Load();
    ASSERT_EQ(inst.host.Exec("COMMIT"), "");
    EXPECT_EQ(form.ExitStatus(), exclusive ? 2 : 1);
    // The box that refuses the run, or the three inserts each reported.
    EXPECT_EQ(display.list().size(), exclusive ? 2u : 5u);
    EXPECT_EQ(Utf16ToUtf8(exclusive ? display.boxes().at(0).prompt : display.list().back()),
              exclusive
                  ? "-5 Cannot open the database file " + inst.host.file() + ": database is locked"
                  : "dbCMD:database is locked");
    ExpectSound(inst.host, schema, 0);
  }
}

// Killed in the middle of a large import, the host keeps every statement that
// finished: hadeeths 1 to N, each with its text whole, only the last one
// perhaps still without the note that a later statement appends.
TEST(RobustnessTest, KilledMidImport) {
  Installation inst;
  const auto schema = inst.host.Value(kSchema);
  const std::string payload = " narrated by " + std::string(100, 'x') + "\r\n";
  std::ofstream book(inst.root + "/bin/h1.txt", std::ios::binary);
  book << "*1*v\r\n";
  for (int i = 1; i <= 100000; ++i) {
    book << "0" << i << "-" << payload.substr(1) << "$body\r\n*NOTE*\r\n$late " << i << "\r\n";
  }
  book.close();
  // A second of processor time, then SIGKILL: far from the whole book.
  EXPECT_EQ(inst.Run("", "prlimit --cpu=1"), -1) << inst.err;
  inst.host.Disconnect();  // opened again
  const std::string n = inst.host.Value("SELECT count(*) FROM Hadeeths").value_or("");
  ExpectSound(inst.host, schema, std::stoull(n) + 1);  // and the heading
  ASSERT_GE(std::stoull(n), 200u);
  const std::string sanad = "'0' || HadeethID || '" + payload + "%body\r\n\r\n'",
                    whole = sanad + " || '''late ' || HadeethID || '\r\n\r\n'''";
  EXPECT_EQ(
      inst.host.Value(
          "SELECT count(DISTINCT HadeethID) FROM Hadeeths WHERE HadeethID BETWEEN 1 AND " + n +
          " AND (Hadeeth = " + whole + " OR HadeethID = " + n + " AND Hadeeth = " + sanad + ")"),
      n);
}

}  // namespace
}  // namespace addbook
