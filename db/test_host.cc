#include "db/test_host.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "base/error.h"
#include "base/text.h"
#include "db/odbc/odbc_engine.h"
#include "db/sqlite/sqlite_engine.h"

namespace addbook {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

[[noreturn]] void Fatal(const std::string& what) {
  fprintf(stderr, "TestHost: %s\n", what.c_str());
  abort();
}

// A new folder of the test's own under $ADDBOOK_TEST_TMPDIR, or the system's
// temporary folder, named with forward slashes: under Wine such a name
// reaches the same folder from Windows calls and from Linux libraries.
std::string MakeFolder() {
  const char* base = getenv("ADDBOOK_TEST_TMPDIR");
  const std::string parent =
      base && *base ? std::string(base) : std::filesystem::temp_directory_path().generic_string();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = parent + "/addbook-host-" + std::to_string(random());
    if (std::error_code ec; std::filesystem::create_directory(folder, ec)) return folder;
  }
  Fatal("cannot make a folder under " + parent);
}

}  // namespace

const std::vector<TestEngine>& TestEngines() {
  static const std::vector<TestEngine> engines = {
      {"SQLite", engine::OpenSqliteDatabase, false},
      {"ODBC", [](const auto& p, auto t) { return engine::OpenOdbcDatabase(p, t); }, true}};
  return engines;
}

bool TestOdbcDriverAvailable() {
  const char* folder = getenv("ODBCSYSINI");
  return folder && *folder &&
         ReadFile(std::filesystem::path(folder) / "odbcinst.ini")
                 .find("[Microsoft Access Driver (*.mdb)]") != std::string::npos;
}

void PrintTo(const TestEngine& engine, std::ostream* os) { *os << engine.name; }

TestHost::TestHost(Contents contents, engine::SessionOpener reader)
    : folder_(MakeFolder()), reader_(std::move(reader)) {
  if (contents == Contents::kNothing) return;
  const std::string schema = ReadFile(ADDBOOK_SOURCE_DIR "/db/schema.sql");
  const std::string error = schema.empty() ? "cannot read it" : Exec(schema);
  if (!error.empty()) Fatal("db/schema.sql: " + error);
}

TestHost::~TestHost() {
  Disconnect();
  std::error_code ec;
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(folder_, ec);
}

std::u16string TestHost::sep() const { return Utf8ToUtf16(folder_); }

sqlite3* TestHost::db() {
  if (!db_ && sqlite3_open(file().c_str(), &db_) != SQLITE_OK) Fatal("cannot open " + file());
  return db_;
}

void TestHost::Disconnect() {
  session_.reset();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::string TestHost::Exec(std::string_view sql) {
  // The reading session is opened again when next needed, so that it sees
  // the host as changed here and holds nothing that a change must wait for.
  session_.reset();
  char* message = nullptr;
  const int rc = sqlite3_exec(db(), std::string(sql).c_str(), nullptr, nullptr, &message);
  std::string error = rc == SQLITE_OK ? "" : message ? message : "error";
  sqlite3_free(message);
  return error;
}

std::vector<TestHost::Row> TestHost::Rows(std::string_view sql) {
  std::vector<Row> rows;
  try {
    if (!session_) session_ = reader_(file(), std::chrono::seconds(5));
    for (const std::vector<Variant>& values : session_->Query(Utf8ToUtf16(sql)).rows) {
      Row& row = rows.emplace_back();
      for (const Variant& value : values)
        row.push_back(value.is_null() ? std::nullopt
                                      : Row::value_type(Utf16ToUtf8(value.ToText())));
    }
  } catch (const Error& e) {
    ADD_FAILURE() << Utf16ToUtf8(e.description()) << " in " << sql;
  }
  return rows;
}

std::optional<std::string> TestHost::Value(std::string_view sql) {
  std::vector<Row> rows = Rows(sql);
  if (rows.size() == 1 && rows[0].size() == 1) return rows[0][0];
  ADD_FAILURE() << "expected one value from " << sql << ", got " << rows.size() << " rows";
  return std::nullopt;
}

}  // namespace addbook
