// The whole import over an arbitrary source text: reader, dispatcher and
// writers, through the window object, into a fresh host made from
// db/schema.sql.  Whatever the text, the run must finish (with or without the
// end-of-book record), leave the host's schema as it was and the file sound,
// store only rows of book 706, and store either no row of the book or
// exactly the rows the run reports: every record handled inserts one row at
// most.
//
// The same text then goes through the native Access engine into a copy of
// the fixture host_indexed.mdb that holds a small book of its own (book 1,
// with a memo on a long-value page and one with CR LF), when the fixtures
// are there: the file must still read to its end, book 1's rows be as they
// were, and the rows of book 706 be as many as the run reports.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "base/recording_display.h"
#include "base/text.h"
#include "db/engine.h"
#include "db/jet/database.h"
#include "fuzz/fuzz_util.h"

using namespace addbook;
namespace fs = std::filesystem;

namespace {

// The one value of |sql| on |db|, as text.
std::string Value(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  std::string value;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  } else {
    fuzz::Check(false, sqlite3_errmsg(db));
  }
  sqlite3_finalize(stmt);
  return value;
}

constexpr char kSchemaSql[] = "SELECT group_concat(sql, ';') FROM sqlite_master";

constexpr const char16_t* kTables[] = {u"Books", u"Titles", u"Hadeeths"};

// Every row of the Access file |file|, table by table in kTables' order,
// read to the end; book 706's rows counted in |book_rows| and left out.
std::vector<std::vector<std::vector<Variant>>> ReadAccess(const fs::path& file,
                                                          long long& book_rows) {
  std::vector<std::vector<std::vector<Variant>>> rows;
  book_rows = 0;
  const auto db = jet::Database::Open(file);
  for (const char16_t* name : kTables) {
    jet::Table* table = db->FindTable(name);
    fuzz::Check(table != nullptr, "a table of the Access host is gone");
    size_t book_no = 0;
    while (table->column_names().at(book_no) != u"BookNo") ++book_no;
    rows.emplace_back();
    for (const jet::RowId id : table->Find({}, {})) {
      std::vector<Variant> row = table->Read(id);
      if (row[book_no] == Variant(int64_t{706})) {
        ++book_rows;
      } else {
        rows.back().push_back(std::move(row));
      }
    }
  }
  return rows;
}

// The Access host made once from the fixture, and what it holds.
struct AccessFixture {
  std::string host_dir;
  std::string pristine;
  std::vector<std::vector<std::vector<Variant>>> rows;

  explicit AccessFixture(const std::string& folder) {
    const fs::path fixture = fs::path(ADDBOOK_JET_FIXTURES) / "host_indexed.mdb";
    if (!fs::exists(fixture)) return;
    host_dir = folder + "/access";
    pristine = folder + "/pristine-access.mdb";
    fs::create_directories(host_dir);
    fs::copy_file(fixture, pristine);
    fs::permissions(pristine, fs::perms::owner_read | fs::perms::owner_write);
    const auto db = jet::Database::Open(pristine);
    const auto text = [](std::u16string t) { return Variant(std::move(t)); };
    db->FindTable(u"Books")->Insert(
        {0, 1, 2, 3}, {Variant(int64_t{1}), text(u"كتاب"), text(u"مؤلف"), text(u"line\r\nline")});
    db->FindTable(u"Titles")->Insert({1, 2, 3, 4, 5, 6},
                                     {Variant(int64_t{1}), Variant(int64_t{1}), Variant(int64_t{1}),
                                      Variant(int64_t{0}), Variant(int64_t{0}), text(u"باب")});
    for (int64_t i = 1; i <= 3; ++i) {
      db->FindTable(u"Hadeeths")
          ->Insert({0, 1, 2, 3, 4},
                   {Variant(int64_t{1}), Variant(int64_t{1}), Variant(i), Variant(i),
                    text(std::u16string(i == 2 ? 3000 : 40, u'ح') + u"\r\n")});
    }
    db->Flush();
    long long book_rows = 0;
    rows = ReadAccess(pristine, book_rows);
  }
};

// A host made once; each run gets a copy of its file.
struct Fixture {
  std::string folder = fuzz::ScratchFolder("import");
  std::string exe_dir = folder + "/exe";
  std::string host_dir = folder + "/host";
  std::string pristine = folder + "/pristine.mdb";
  std::string schema;

  Fixture() {
    fs::create_directories(exe_dir);
    fs::create_directories(host_dir);
    std::ifstream in(ADDBOOK_SOURCE_DIR "/db/schema.sql");
    std::stringstream text;
    text << in.rdbuf();
    sqlite3* db = nullptr;
    fuzz::Check(sqlite3_open(pristine.c_str(), &db) == SQLITE_OK, "cannot make the host");
    fuzz::Check(sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, nullptr) == SQLITE_OK,
                "cannot run db/schema.sql");
    schema = Value(db, kSchemaSql);
    sqlite3_close(db);  // the last connection: the log is folded into the file
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Fixture fixture;
  const std::string file = fixture.host_dir + "/Hadeeth.mdb";
  for (const char* side : {"-wal", "-shm"}) fs::remove(file + side);
  fs::copy_file(fixture.pristine, file, fs::copy_options::overwrite_existing);
  fuzz::WriteFile(fixture.exe_dir + "/h1.txt",
                  std::string_view(reinterpret_cast<const char*>(data), size));

  RecordingDisplay display;
  Platform platform;
  const std::u16string sep = Utf8ToUtf16(fixture.host_dir);
  platform.read_host_folder = [&sep] { return sep; };
  platform.executable_dir = [] { return fixture.exe_dir; };
  platform.busy_timeout_ms = 100;
  long long records = -1, rows = -1, fields = -1, failures = -1;
  {
    Form1 form(display, std::move(platform));
    form.Form_Load();
    fuzz::Check(
        form.outcome() == RunOutcome::kFinished || form.outcome() == RunOutcome::kMarkerMissing,
        "the run did not reach the end of the text");
    std::string summary = Utf16ToUtf8(form.Summary(0));
    size_t counts = summary.find("; ");
    fuzz::Check(counts != std::string::npos &&
                    std::sscanf(summary.c_str() + counts + 2,
                                "%lld records handled, %lld rows inserted, %lld fields updated, "
                                "%lld failures reported",
                                &records, &rows, &fields, &failures) == 4,
                "the summary does not hold the counts");
  }

  sqlite3* db = nullptr;
  fuzz::Check(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK,
              "the host cannot be opened after the run");
  fuzz::Check(Value(db, "PRAGMA integrity_check") == "ok", "the host is damaged");
  fuzz::Check(Value(db, kSchemaSql) == fixture.schema, "the host's schema changed");
  fuzz::Check(Value(db,
                    "SELECT (SELECT count(*) FROM Books WHERE BookNo IS NOT 706) +"
                    " (SELECT count(*) FROM Titles WHERE BookNo IS NOT 706) +"
                    " (SELECT count(*) FROM Hadeeths WHERE BookNo IS NOT 706)") == "0",
              "a row of another book");
  const long long stored =
      std::stoll(Value(db,
                       "SELECT (SELECT count(*) FROM Books) + (SELECT count(*) FROM Titles) +"
                       " (SELECT count(*) FROM Hadeeths)"));
  // The summary counts what the database holds after the run: the rows
  // inserted when it committed, none when it undid the import.
  fuzz::Check(stored == rows, "rows stored differ from rows the run reported");
  fuzz::Check(rows <= records, "more rows than records");
  fuzz::Check(Value(db, "SELECT count(*) - count(DISTINCT HadeethID) FROM Hadeeths") == "0",
              "two hadeeths with one HadeethID");
  sqlite3_close(db);

  static const AccessFixture access(fixture.folder);
  if (access.pristine.empty()) return 0;
  const fs::path access_file = access.host_dir + "/Hadeeth.mdb";
  fs::copy_file(access.pristine, access_file, fs::copy_options::overwrite_existing);
  long long access_rows = -1;
  {
    RecordingDisplay access_display;
    Platform access_platform;
    const std::u16string folder = Utf8ToUtf16(access.host_dir);
    access_platform.read_host_folder = [&folder] { return folder; };
    access_platform.executable_dir = [] { return fixture.exe_dir; };
    access_platform.busy_timeout_ms = 100;
    access_platform.open_database = engine::DatabaseOpener(engine::AccessEngine::kNative);
    Form1 form(access_display, std::move(access_platform));
    form.Form_Load();
    std::string summary = Utf16ToUtf8(form.Summary(0));
    const size_t counts = summary.find("; ");
    fuzz::Check(counts != std::string::npos &&
                    std::sscanf(summary.c_str() + counts + 2, "%*d records handled, %lld rows",
                                &access_rows) == 1,
                "the Access run's summary does not hold the counts");
  }
  long long book_rows = 0;
  fuzz::Check(ReadAccess(access_file, book_rows) == access.rows,
              "the Access host's other rows changed");
  fuzz::Check(book_rows == access_rows, "rows in the Access host differ from rows reported");
  return 0;
}
