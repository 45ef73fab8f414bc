// SQLite 3 engine.
//
// Errors.  A statement that fails is thrown as Error with the negated
// extended result code (so engine errors are negative, like those of other
// database layers) and SQLite's own message.  Failures to open, and a lock
// that another program keeps past the wait, carry the numbers of the error
// catalogue (errors::DatabaseOpen), with SQLite's code and message in the
// description; a refused statement text is errors::StatementRefused.
//
// Effects.  The import runs in one write transaction: Begin takes the write
// lock at once (BEGIN IMMEDIATE), waiting up to the busy timeout for another
// program to let go of it; statements inside it never wait.  Commit makes the
// whole import permanent, flushed to the disk before it returns
// (synchronous=FULL, whatever the journal mode: the one commit costs one
// flush); ending the process, or closing, before then undoes it all, and the
// journal or log does the same after a crash or a power cut.  SQLite undoes a
// transaction by itself after some full-disk, I/O and memory errors; every
// statement is followed by a check for that, which throws FatalError, since
// statements run after it would each take effect on their own.  A write
// refused because the file or its folder is read-only is a FatalError too:
// every other write would be refused alike.
//
// Rows written back.  A query's rows can be written back when the query reads
// one row of one table per result row:
//
//   SELECT <columns> FROM <table> [WHERE <condition>]
//
// with every result column taken straight from a column of <table>.  For such
// a query the text run is
//
//   SELECT <key>, <columns> FROM <table> WHERE (<condition>
//   )
//
// which gives the same rows with each row's key in front: its rowid (the
// first of _rowid_, rowid and oid that the table does not use as the name of
// an ordinary column) or, for a table without rowids, the columns of its
// primary key.  The parentheses keep the condition one expression: a GROUP
// BY, ORDER BY, LIMIT, compound SELECT or comment that followed the WHERE
// would fail to compile inside them, and the query is then run as written,
// read-only.  Column origins (from SQLite's column metadata) confirm that
// every column comes from <table>; an aggregate or expression has no origin
// and makes the query read-only.  An edit is written with UPDATE ... WHERE
// <key> = ?, binding the values, and must change exactly one row.
#include "db/sqlite/sqlite_engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "db/sql_scanner.h"
#include "db/sqlite/sqlite_statement.h"

namespace addbook::engine {
namespace {

using namespace sqlite;

using sql::IsSqlSpace;
using sql::SimpleSelect;

// The catalogue number for a failure to open with SQLite's result |code|.
int32_t OpenFailureNumber(int code, const std::filesystem::path& path) {
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return errors::kDatabaseInUse;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return errors::kNotADatabase;
    case SQLITE_CANTOPEN: {
      std::error_code ec;
      return std::filesystem::exists(path, ec) ? errors::kCannotOpenDatabase
                                               : errors::kDatabaseNotFound;
    }
    default:
      return errors::kCannotOpenDatabase;
  }
}

Error OpenError(int code, const std::filesystem::path& path, std::string_view reason) {
  return errors::DatabaseOpen(OpenFailureNumber(code, path), PathToUtf8(path),
                              std::string(reason) + " (SQLite error " + std::to_string(code) + ")");
}

// The open database, shared by its session and the row writers of its
// queries.
struct SqliteDb {
  SqliteDb(sqlite3* handle, std::filesystem::path path, std::chrono::milliseconds busy_timeout)
      : handle(handle), path(std::move(path)), busy_timeout(busy_timeout) {}
  // Closing undoes a transaction still open.
  ~SqliteDb() { sqlite3_close_v2(handle); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* const handle;
  const std::filesystem::path path;
  const std::chrono::milliseconds busy_timeout;
  bool in_transaction = false;  // Begin succeeded; neither Commit nor Rollback since
};

void SetBusyTimeout(const SqliteDb& db, std::chrono::milliseconds timeout) {
  sqlite3_busy_timeout(db.handle, static_cast<int>(std::min<int64_t>(timeout.count(), INT_MAX)));
}

// Throws FatalError when the transaction begun by Begin is no longer open
// although neither Commit nor Rollback ended it: SQLite has undone it by
// itself.  |cause| is the error that made it do so, when there was one.
void CheckTransaction(SqliteDb& db, const Error* cause) {
  if (!db.in_transaction || !sqlite3_get_autocommit(db.handle)) return;
  db.in_transaction = false;
  throw ImportUndone(cause);
}

// Runs |step|, one call into the engine on |db|, then checks that the
// transaction is still open, whether the step failed or not.
template <typename Step>
auto Guarded(SqliteDb& db, Step&& step) -> decltype(step()) {
  try {
    if constexpr (std::is_void_v<decltype(step())>) {
      step();
      CheckTransaction(db, nullptr);
    } else {
      auto result = step();
      CheckTransaction(db, nullptr);
      return result;
    }
  } catch (const Error& e) {
    CheckTransaction(db, &e);
    // A file or folder that cannot be written refuses every write alike.
    if (db.in_transaction && e.number() < 0 && ((-e.number()) & 0xFF) == SQLITE_READONLY) {
      throw WritesRefused(e);
    }
    throw;
  }
}

using DbHandle = std::shared_ptr<SqliteDb>;

// How the rows of a table are found again: by its rowid, under |columns|'
// one name, or by the columns of its primary key.
struct RowKey {
  std::vector<std::string> columns;  // as they stand in the query text
  bool rowid = false;
};

class SqliteRowWriter : public RowWriter {
 public:
  SqliteRowWriter(DbHandle db, std::string schema, std::string table, RowKey key,
                  std::vector<std::string> origins, std::vector<std::vector<Variant>> row_keys)
      : db_(std::move(db)),
        schema_(std::move(schema)),
        table_(std::move(table)),
        key_(std::move(key)),
        origins_(std::move(origins)),
        row_keys_(std::move(row_keys)) {}

  std::optional<Error> Write(size_t row, const std::vector<size_t>& columns,
                             const std::vector<Variant>& values) override {
    if (row >= row_keys_.size()) throw errors::NoCurrentRecord();
    if (columns.empty()) return std::nullopt;
    std::string sql = "UPDATE " + QuoteName(schema_) + "." + QuoteName(table_) + " SET ";
    int param = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += QuoteName(origins_.at(columns[i])) + " = ?" + std::to_string(++param);
    }
    for (size_t i = 0; i < key_.columns.size(); ++i) {
      sql += i == 0 ? " WHERE " : " AND ";
      sql += key_.columns[i] + " = ?" + std::to_string(++param);
    }

    Guarded(*db_, [&] {
      sqlite3* db = db_->handle;
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw EngineError(db);
      }
      Stmt stmt(raw);
      int index = 0;
      for (const Variant& value : values) Bind(db, raw, ++index, value);
      for (const Variant& value : row_keys_[row]) Bind(db, raw, ++index, value);
      StepAll(db, raw, [] {});
      // The row may have been deleted since it was read, or a trigger may
      // have dropped the change.
      if (sqlite3_changes(db) != 1) throw errors::NoCurrentRecord();
    });
    return std::nullopt;
  }

 private:
  DbHandle db_;
  std::string schema_;
  std::string table_;
  RowKey key_;
  std::vector<std::string> origins_;            // per query column
  std::vector<std::vector<Variant>> row_keys_;  // per query row
};

const char* NullToEmpty(const char* text) { return text ? text : ""; }

// True when |alias| names the rowid of |schema|.|table| (an INTEGER PRIMARY
// KEY column or the hidden rowid), not an ordinary column of that name.
bool IsRowid(sqlite3* db, const char* schema, const char* table, const char* alias) {
  const char* type = nullptr;
  const char* collation = nullptr;
  int not_null = 0, primary_key = 0, autoincrement = 0;
  if (sqlite3_table_column_metadata(db, schema, table, alias, &type, &collation, &not_null,
                                    &primary_key, &autoincrement) != SQLITE_OK) {
    return false;
  }
  return primary_key && EqualsIgnoringAsciiCase(NullToEmpty(type), "INTEGER");
}

// How the rows of |schema|.|table| are found again: the first rowid alias
// that the table does not use as the name of an ordinary column, else its
// primary key.  nullopt when it has neither (a table without rowids always
// has a primary key; a rowid table may have shadowed every alias).
std::optional<RowKey> KeyOf(sqlite3* db, const std::string& schema, const std::string& table) {
  for (const char* alias : {"_rowid_", "rowid", "oid"}) {
    if (IsRowid(db, schema.c_str(), table.c_str(), alias)) return RowKey{{alias}, true};
  }
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(
      db, "SELECT name FROM pragma_table_info(?1, ?2) WHERE pk > 0 ORDER BY pk", -1, &raw, nullptr);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) return std::nullopt;
  sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(raw, 2, schema.c_str(), -1, SQLITE_STATIC);
  RowKey key;
  while (sqlite3_step(raw) == SQLITE_ROW) {
    key.columns.push_back(
        QuoteName(NullToEmpty(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)))));
  }
  if (key.columns.empty()) return std::nullopt;
  return key;
}

constexpr char16_t kNotFromOneTable[] =
    u"Its rows do not come straight from the rows of one table.";

class SqliteSession : public Session {
 public:
  explicit SqliteSession(DbHandle db) : db_(std::move(db)) {}

  QueryResult Query(std::u16string_view sql) override {
    return Guarded(*db_, [&] { return RunQuery(sql); });
  }

  Executed Execute(std::u16string_view sql) override {
    return Guarded(*db_, [&]() -> Executed {
      Stmt stmt = PrepareOne(db_->handle, sql);
      StepAll(db_->handle, stmt.get(), [] {});
      // Only a statement that writes rows changes the count.
      return {sqlite3_stmt_readonly(stmt.get()) ? 0 : sqlite3_changes64(db_->handle), {}};
    });
  }

  void Begin() override {
    sqlite3* db = db_->handle;
    SetBusyTimeout(*db_, db_->busy_timeout);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_BUSY) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", db_->busy_timeout.count() / 1000.0);
        throw Error(errors::kDatabaseInUse,
                    "The database file " + PathToUtf8(db_->path) +
                        " is in use by another program, which kept it locked for longer than " +
                        seconds + " seconds (database is locked, SQLite error " +
                        std::to_string(sqlite3_extended_errcode(db)) +
                        "); close that program and run again");
      }
      throw EngineError(db);
    }
    db_->in_transaction = true;
    // The write lock is held: no statement of the import waits for another
    // program from here on.
    SetBusyTimeout(*db_, std::chrono::milliseconds(0));
  }

  std::optional<Error> Commit() override {
    sqlite3* db = db_->handle;
    // In a rollback-journal file the commit waits for readers to finish.
    SetBusyTimeout(*db_, db_->busy_timeout);
    db_->in_transaction = false;
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      Error error = EngineError(db);
      // Undo the import here rather than leave it to the file's journal.
      if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw error;
    }
    return std::nullopt;
  }

  void Rollback() override {
    sqlite3* db = db_->handle;
    db_->in_transaction = false;
    if (sqlite3_get_autocommit(db)) return;
    if (sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw EngineError(db);
    }
  }

 private:
  QueryResult RunQuery(std::u16string_view sql) {
    const std::string text = StatementText(sql);
    std::optional<SimpleSelect> select = sql::ParseSimpleSelect(text);
    // A query compiles as written and in the keyed form alike, or fails in
    // both, once a query of its shape has compiled both ways: the two forms
    // differ only in the text put around its parts.  Such a query is compiled
    // in the keyed form alone; every check on what that form reads is still
    // made.
    std::string shape;
    if (select) {
      shape = sql::QueryShape(text);
      if (auto known = keyed_shapes_.find(shape); known != keyed_shapes_.end()) {
        if (std::optional<QueryResult> result = QueryWithKeys(*select, known->second, nullptr)) {
          return std::move(*result);
        }
      }
    }
    Stmt stmt = PrepareText(db_->handle, text);
    std::u16string read_only_reason = kNotFromOneTable;
    if (select && sqlite3_stmt_readonly(stmt.get()) && sqlite3_column_count(stmt.get()) > 0) {
      const char* schema = sqlite3_column_database_name(stmt.get(), 0);
      const char* table = sqlite3_column_table_name(stmt.get(), 0);
      if (schema && table) {
        if (std::optional<RowKey> key = KeyOf(db_->handle, schema, table)) {
          if (std::optional<QueryResult> result = QueryWithKeys(*select, *key, stmt.get())) {
            if (keyed_shapes_.size() >= kMaxShapes) keyed_shapes_.clear();
            keyed_shapes_.emplace(std::move(shape), std::move(*key));
            return std::move(*result);
          }
        } else {
          read_only_reason = u"The table " + Utf8ToUtf16(table) +
                             u" has neither a row id nor a primary key to find its rows by.";
        }
      }
    }
    QueryResult result = Load(stmt.get(), 0, nullptr);
    result.read_only_reason = std::move(read_only_reason);
    return result;
  }

  // Runs |stmt|; its first |skip| columns are left out of the result and
  // collected into |row_keys| when given.
  QueryResult Load(sqlite3_stmt* stmt, int skip, std::vector<std::vector<Variant>>* row_keys) {
    QueryResult result;
    int count = sqlite3_column_count(stmt);
    for (int i = skip; i < count; ++i) {
      result.columns.push_back(Utf8ToUtf16(NullToEmpty(sqlite3_column_name(stmt, i))));
    }
    StepAll(db_->handle, stmt, [&] {
      if (row_keys) {
        std::vector<Variant>& key = row_keys->emplace_back();
        for (int i = 0; i < skip; ++i) key.push_back(ColumnValue(stmt, i));
      }
      std::vector<Variant>& row = result.rows.emplace_back();
      row.reserve(count - skip);
      for (int i = skip; i < count; ++i) row.push_back(ColumnValue(stmt, i));
    });
    return result;
  }

  // Runs the query |select| with each row's |key| columns in front when its
  // rows can be written back (see the note above); nullopt when they cannot.
  // The columns are checked against |original|, the query compiled as
  // written, when given.
  std::optional<QueryResult> QueryWithKeys(const SimpleSelect& select, const RowKey& key,
                                           sqlite3_stmt* original) {
    sqlite3* db = db_->handle;
    std::string text = "SELECT ";
    for (const std::string& column : key.columns) text += column + ", ";
    text += select.columns + " FROM " + select.table_token;
    if (select.condition) text += " WHERE (" + *select.condition + "\n)";
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, text.c_str(), -1, &raw, &tail);
    Stmt stmt(raw);
    if (rc != SQLITE_OK || !stmt || *tail != '\0') return std::nullopt;
    const int keys = static_cast<int>(key.columns.size());
    const int count = sqlite3_column_count(raw) - keys;
    if (count <= 0 || (original && sqlite3_column_count(original) != count)) return std::nullopt;

    const char* schema = sqlite3_column_database_name(raw, 0);
    const char* table = sqlite3_column_table_name(raw, 0);
    if (!schema || !table || !EqualsIgnoringAsciiCase(table, select.table)) return std::nullopt;
    // The key must be what it was taken for: the rowid itself, or the
    // primary key's own columns, all of the one table.
    if (key.rowid && !IsRowid(db, schema, table, key.columns[0].c_str())) return std::nullopt;
    std::vector<std::string> origins;
    for (int i = 0; i < keys + count; ++i) {
      const char* column_schema = sqlite3_column_database_name(raw, i);
      const char* column_table = sqlite3_column_table_name(raw, i);
      const char* origin = sqlite3_column_origin_name(raw, i);
      if (!column_schema || !column_table || !origin || std::string_view(column_schema) != schema ||
          std::string_view(column_table) != table ||
          (original && i >= keys &&
           std::string_view(NullToEmpty(sqlite3_column_name(raw, i))) !=
               NullToEmpty(sqlite3_column_name(original, i - keys)))) {
        return std::nullopt;
      }
      if (i >= keys) origins.emplace_back(origin);
    }

    // Column metadata lives only until the statement steps; keep copies.
    std::string schema_name(schema);
    std::string table_name(table);
    std::vector<std::vector<Variant>> row_keys;
    QueryResult result = Load(raw, keys, &row_keys);
    result.writer =
        std::make_unique<SqliteRowWriter>(db_, std::move(schema_name), std::move(table_name), key,
                                          std::move(origins), std::move(row_keys));
    return result;
  }

  // How the rows of queries of each shape that compiled as written and in
  // the keyed form are found again.
  static constexpr size_t kMaxShapes = 64;
  std::unordered_map<std::string, RowKey> keyed_shapes_;
  DbHandle db_;
};

}  // namespace

std::unique_ptr<Session> OpenSqliteDatabase(const std::filesystem::path& path,
                                            std::chrono::milliseconds busy_timeout) {
  sqlite3* raw = nullptr;
  // One thread uses the connection: it needs no lock of its own.
  int rc = sqlite3_open_v2(PathToUtf8(path).c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto db = std::make_shared<SqliteDb>(raw, path, busy_timeout);
  if (rc != SQLITE_OK) {
    if (!raw) throw OpenError(rc, path, sqlite3_errstr(rc));
    throw OpenError(sqlite3_extended_errcode(raw), path, sqlite3_errmsg(raw));
  }
  sqlite3_extended_result_codes(raw, 1);
  // SQLite falls back to reading only when the file cannot be written.
  if (sqlite3_db_readonly(raw, "main") != 0) {
    throw OpenError(SQLITE_READONLY, path, "the file is read-only");
  }
  SetBusyTimeout(*db, busy_timeout);
  // Read the schema now, so that a damaged file, or one that another program
  // keeps locked, fails here rather than at the first statement.  Then make
  // the one commit of the import wait for the disk (see "Effects" above).
  if (sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
          SQLITE_OK ||
      sqlite3_exec(raw, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw OpenError(sqlite3_extended_errcode(raw), path, sqlite3_errmsg(raw));
  }
  return std::make_unique<SqliteSession>(std::move(db));
}

}  // namespace addbook::engine
