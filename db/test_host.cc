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
#include "db/odbc_engine.h"
#include "db/sqlite_engine.h"

namespace addbook {
namespace {

std::string SchemaText() {
  std::ifstream in(ADDBOOK_SOURCE_DIR "/db/schema.sql", std::ios::binary);
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
      {"ODBC",
       [](const auto& path, auto timeout) { return engine::OpenOdbcDatabase(path, timeout); },
       true}};
  return engines;
}

bool TestOdbcDriverAvailable() {
  const char* folder = getenv("ODBCSYSINI");
  if (!folder || !*folder) return false;
  std::ifstream ini(std::filesystem::path(folder) / "odbcinst.ini");
  const std::string text{std::istreambuf_iterator<char>(ini), {}};
  return text.find("[Microsoft Access Driver (*.mdb)]") != std::string::npos;
}

void PrintTo(const TestEngine& engine, std::ostream* os) { *os << engine.name; }

TestHost::TestHost(Contents contents, engine::SessionOpener reader) : reader_(std::move(reader)) {
  folder_ = MakeFolder();
  if (contents == Contents::kSchema) {
    const std::string schema = SchemaText();
    const std::string error = schema.empty() ? "cannot read it" : Exec(schema);
    if (!error.empty()) Fatal("db/schema.sql: " + error);
  }
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
  if (sqlite3_exec(db(), std::string(sql).c_str(), nullptr, nullptr, &message) == SQLITE_OK) {
    return {};
  }
  std::string error = message ? message : "error";
  sqlite3_free(message);
  return error;
}

std::vector<TestHost::Row> TestHost::Rows(std::string_view sql) {
  std::vector<Row> rows;
  try {
    if (!session_) session_ = reader_(file(), std::chrono::seconds(5));
    engine::QueryResult result = session_->Query(Utf8ToUtf16(sql));
    for (const std::vector<Variant>& values : result.rows) {
      Row& row = rows.emplace_back();
      for (const Variant& value : values) {
        using Type = Variant::Type;
        row.push_back(value.type() == Type::kNull    ? std::nullopt
                      : value.type() == Type::kBytes ? Row::value_type(value.bytes())
                                                     : Utf16ToUtf8(value.ToText()));
      }
    }
  } catch (const Error& e) {
    ADD_FAILURE() << Utf16ToUtf8(e.description()) << " in " << sql;
  }
  return rows;
}

std::optional<std::string> TestHost::Value(std::string_view sql) {
  std::vector<Row> rows = Rows(sql);
  if (rows.size() != 1 || rows[0].size() != 1) {
    ADD_FAILURE() << "expected one value from " << sql << ", got " << rows.size() << " rows";
    return std::nullopt;
  }
  return rows[0][0];
}

}  // namespace addbook
