#include "db/test_host.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"

namespace addbook {
namespace {

std::string SchemaText() {
  std::ifstream in(ADDBOOK_SOURCE_DIR "/db/schema.sql", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void Fatal(const std::string& what) {
  fprintf(stderr, "TestHost: %s\n", what.c_str());
  abort();
}

}  // namespace

TestHost::TestHost(Contents contents) {
  std::string pattern = (std::filesystem::temp_directory_path() / "addbook-host-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fatal("cannot make a folder at " + pattern);
  folder_ = pattern;
  if (contents == Contents::kSchema) {
    std::string schema = SchemaText();
    if (schema.empty()) Fatal("cannot read db/schema.sql");
    if (std::string error = Exec(schema); !error.empty()) Fatal("schema: " + error);
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
  if (!db_ && sqlite3_open(file().c_str(), &db_) != SQLITE_OK) {
    Fatal("cannot open " + file());
  }
  return db_;
}

void TestHost::Disconnect() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::string TestHost::Exec(std::string_view sql) {
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
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db(), sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db()) << " in " << sql;
    return rows;
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    Row& row = rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
        row.push_back(std::nullopt);
      } else {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        row.push_back(std::string(text, sqlite3_column_bytes(stmt, i)));
      }
    }
  }
  if (rc != SQLITE_DONE) ADD_FAILURE() << sqlite3_errmsg(db()) << " in " << sql;
  sqlite3_finalize(stmt);
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
