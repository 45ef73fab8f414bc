// SQLite 3 engine.
//
// Statement text.  SQLite compiles text only up to the first NUL character
// and, given several statements, compiles the first and hands back the rest.
// Either way part of what the caller built would be dropped without a word.
// So a statement text is refused, with nothing run, when it holds a NUL
// anywhere, when it holds nothing but white space, or when anything other
// than white space follows its first statement.  Values that reach the
// database as parameters (row updates) are bound with their length and stored
// exactly, NUL characters included.
//
// Errors.  An engine failure is thrown as Error with the negated extended
// result code (so engine errors are negative, like those of other database
// layers) and SQLite's own message; failures to open also name the file.  A
// refused statement text is error -1 (SQLITE_ERROR) with a description of
// what was wrong.
//
// Effects.  Every statement runs in autocommit mode and takes effect on its
// own; no transaction is begun here.  The journal mode is left as the
// database file has it.  A file in WAL mode is written with synchronous=NORMAL:
// a commit is in the log, in the system's file cache, when its statement
// returns, so ending the process loses nothing, while the log is flushed to
// the disk at checkpoints; a power cut can lose the last commits before one,
// never the file's consistency.  In any other journal mode NORMAL could leave
// a damaged file after a power cut, so those files are written with
// synchronous=FULL, every commit flushed before its statement returns.
//
// Rows written back.  A query's rows can be written back when the query reads
// one row of one rowid table per result row:
//
//   SELECT <columns> FROM <table> [WHERE <condition>]
//
// with every result column taken straight from a column of <table>.  For such
// a query the text run is
//
//   SELECT <rowid>, <columns> FROM <table> WHERE (<condition>
//   )
//
// which gives the same rows with each row's rowid in front.  The parentheses
// keep the condition one expression: a GROUP BY, ORDER BY, LIMIT, compound
// SELECT or comment that followed the WHERE would fail to compile inside them,
// and the query is then run as written, read-only.  Column origins (from
// SQLite's column metadata) confirm that every column comes from <table>; an
// aggregate or expression has no origin and makes the query read-only.  An
// edit is written with UPDATE ... WHERE <rowid> = ?, binding the values, and
// must change exactly one row.  <rowid> is the first of _rowid_, rowid and oid
// that the table does not use as the name of an ordinary column.
#include "db/sqlite_engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/error.h"
#include "base/text.h"

namespace addbook::engine {
namespace {

using DbHandle = std::shared_ptr<sqlite3>;

struct StmtDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// A statement text that is refused before SQLite sees it.
constexpr int32_t kRefused = -SQLITE_ERROR;

Error EngineError(sqlite3* db) {
  return Error(-sqlite3_extended_errcode(db), Utf8ToUtf16(sqlite3_errmsg(db)));
}

Error OpenError(int32_t code, const std::string& path, std::string_view reason) {
  return Error(-code, "Cannot open the database file " + path + ": " + std::string(reason));
}

bool IsSqlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool IsIdentifierChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Refuses a statement text that holds a NUL (see the note above).
void RefuseNul(std::u16string_view sql) {
  if (size_t nul = sql.find(u'\0'); nul != std::u16string_view::npos) {
    throw Error(kRefused, "The statement holds a NUL character (at character " +
                              std::to_string(nul + 1) + "); nothing was run");
  }
}

// Compiles the one statement that |text|, a statement text in UTF-8 that
// RefuseNul let pass, must hold (see the note above).
Stmt PrepareText(sqlite3* db, const std::string& text) {
  if (text.size() > INT_MAX) throw Error(kRefused, "The statement is too long; nothing was run");
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &raw, &tail);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) throw EngineError(db);
  if (!stmt) throw Error(kRefused, "The statement is empty; nothing was run");
  for (const char* p = tail; p != text.data() + text.size(); ++p) {
    if (!IsSqlSpace(*p)) {
      throw Error(kRefused,
                  "The text holds more than one statement, or text after its statement; "
                  "nothing was run");
    }
  }
  return stmt;
}

// The UTF-8 form of |sql|, as Utf16ToUtf8 gives it.  Statements and values
// carry whole records, so the common case, text without surrogates, is
// encoded here in one tight pass.
std::string TextUtf8(std::u16string_view sql) {
  std::string text(sql.size() * 3, '\0');
  char* out = text.data();
  for (char16_t c : sql) {
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *out++ = static_cast<char>(0xC0 | (c >> 6));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if ((c & 0xF800) != 0xD800) {
      *out++ = static_cast<char>(0xE0 | (c >> 12));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      return Utf16ToUtf8(sql);
    }
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

// The UTF-8 form of the statement text |sql|; refuses a text that holds a
// NUL.
std::string StatementText(std::u16string_view sql) {
  std::string text = TextUtf8(sql);
  // U+0000 is the one character whose UTF-8 form holds a zero byte.
  if (text.find('\0') != std::string::npos) RefuseNul(sql);
  return text;
}

Stmt PrepareOne(sqlite3* db, std::u16string_view sql) {
  return PrepareText(db, StatementText(sql));
}

// |sql| with every whole number outside literals, quoted names and comments
// replaced by "#": two texts of the same shape differ only in the values of
// their numbers, which never change how a text divides into tokens.
std::string Shape(std::string_view sql) {
  std::string shape;
  shape.reserve(sql.size());
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      end = sql.find(close, i + 1);  // a doubled quote is two quoted runs
      end = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '-' && sql.substr(i, 2) == "--") {
      end = sql.find('\n', i);
      end = end == std::string_view::npos ? sql.size() : end;
    } else if (c == '/' && sql.substr(i, 2) == "/*") {
      end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? sql.size() : end + 2;
    } else if (IsIdentifierChar(c)) {
      bool digits = true;
      for (end = i; end < sql.size() && IsIdentifierChar(sql[end]); ++end) {
        digits = digits && sql[end] >= '0' && sql[end] <= '9';
      }
      if (digits) {
        shape.push_back('#');
        i = end;
        continue;
      }
    }
    shape.append(sql.substr(i, end - i));
    i = end;
  }
  return shape;
}

Variant ColumnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return Variant(static_cast<int64_t>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
      const unsigned char* text = sqlite3_column_text(stmt, column);
      int size = sqlite3_column_bytes(stmt, column);
      if (!text) return Variant(std::u16string());
      return Variant(Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(text), size)));
    }
    case SQLITE_BLOB: {
      const void* bytes = sqlite3_column_blob(stmt, column);
      int size = sqlite3_column_bytes(stmt, column);
      if (!bytes) return Variant::Bytes({});
      return Variant::Bytes(std::string(static_cast<const char*>(bytes), size));
    }
    default:
      return Variant();
  }
}

void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const Variant& value) {
  int rc = SQLITE_OK;
  switch (value.type()) {
    case Variant::Type::kNull:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case Variant::Type::kInteger:
      rc = sqlite3_bind_int64(stmt, index, value.integer());
      break;
    case Variant::Type::kReal:
      rc = sqlite3_bind_double(stmt, index, value.real());
      break;
    case Variant::Type::kText: {
      std::string text = TextUtf8(value.text());
      rc =
          sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    }
    case Variant::Type::kBytes:
      rc = sqlite3_bind_blob64(stmt, index, value.bytes().data(), value.bytes().size(),
                               SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) throw EngineError(db);
}

// Steps |stmt| to its end; |on_row| sees every row.
template <typename OnRow>
void StepAll(sqlite3* db, sqlite3_stmt* stmt, OnRow on_row) {
  for (;;) {
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return;
    if (rc != SQLITE_ROW) throw EngineError(db);
    on_row();
  }
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  quoted.push_back('"');
  return quoted;
}

// The parts of "SELECT <columns> FROM <table> [WHERE <condition>]".
struct SimpleSelect {
  std::string columns;
  std::string table_token;  // as written, quotes included
  std::string table;        // the name it stands for
  std::optional<std::string> condition;
};

// Scans SQL text outside of literals, quoted names, comments and
// parentheses.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  size_t pos() const { return pos_; }
  bool at_end() const { return pos_ >= text_.size(); }

  void SkipSpace() {
    while (!at_end() && IsSqlSpace(text_[pos_])) ++pos_;
  }

  // Consumes |keyword| when it stands next as a whole word.
  bool Keyword(std::string_view keyword) {
    if (text_.size() - pos_ < keyword.size()) return false;
    if (!EqualsIgnoringCase(text_.substr(pos_, keyword.size()), keyword)) return false;
    size_t end = pos_ + keyword.size();
    if (end < text_.size() && IsIdentifierChar(text_[end])) return false;
    pos_ = end;
    return true;
  }

  // Moves to the next |keyword| standing as a whole word at the top level;
  // false when there is none.
  bool FindTopLevel(std::string_view keyword) {
    int depth = 0;
    while (!at_end()) {
      char c = text_[pos_];
      if (c == '\'' || c == '"' || c == '`' || c == '[') {
        SkipQuoted();
      } else if (c == '-' && text_.substr(pos_, 2) == "--") {
        size_t eol = text_.find('\n', pos_);
        pos_ = eol == std::string_view::npos ? text_.size() : eol + 1;
      } else if (c == '/' && text_.substr(pos_, 2) == "/*") {
        size_t close = text_.find("*/", pos_ + 2);
        pos_ = close == std::string_view::npos ? text_.size() : close + 2;
      } else if (c == '(') {
        ++depth;
        ++pos_;
      } else if (c == ')') {
        --depth;
        ++pos_;
      } else if (IsIdentifierChar(c)) {
        size_t start = pos_;
        if (depth == 0 && Keyword(keyword)) {
          pos_ = start;
          return true;
        }
        while (!at_end() && IsIdentifierChar(text_[pos_])) ++pos_;
      } else {
        ++pos_;
      }
    }
    return false;
  }

  // Consumes one table name, bare or quoted; sets |name| to what it stands
  // for.  False when none stands next.
  bool Name(std::string& name) {
    if (at_end()) return false;
    char c = text_[pos_];
    if (c == '"' || c == '`' || c == '[') {
      size_t start = pos_;
      if (!SkipQuoted()) return false;
      std::string_view inner = text_.substr(start + 1, pos_ - start - 2);
      name.clear();
      for (size_t i = 0; i < inner.size(); ++i) {
        name.push_back(inner[i]);
        if (c != '[' && inner[i] == c) ++i;  // a doubled quote stands for one
      }
      return true;
    }
    if (!IsIdentifierChar(c) || (c >= '0' && c <= '9') || c == '$') return false;
    size_t start = pos_;
    while (!at_end() && IsIdentifierChar(text_[pos_])) ++pos_;
    name = std::string(text_.substr(start, pos_ - start));
    return true;
  }

 private:
  // Skips a literal or quoted name that opens at pos_; false when it is not
  // closed.
  bool SkipQuoted() {
    char close = text_[pos_] == '[' ? ']' : text_[pos_];
    size_t i = pos_ + 1;
    for (;;) {
      size_t end = text_.find(close, i);
      if (end == std::string_view::npos) {
        pos_ = text_.size();
        return false;
      }
      if (close != ']' && end + 1 < text_.size() && text_[end + 1] == close) {
        i = end + 2;  // doubled quote inside
        continue;
      }
      pos_ = end + 1;
      return true;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<SimpleSelect> ParseSimpleSelect(std::string_view sql) {
  // Drop what may follow the statement: white space and one semicolon.
  while (!sql.empty() && IsSqlSpace(sql.back())) sql.remove_suffix(1);
  if (!sql.empty() && sql.back() == ';') sql.remove_suffix(1);

  Scanner scan(sql);
  scan.SkipSpace();
  if (!scan.Keyword("select")) return std::nullopt;
  size_t columns_start = scan.pos();
  if (!scan.FindTopLevel("from")) return std::nullopt;
  SimpleSelect select;
  select.columns = std::string(sql.substr(columns_start, scan.pos() - columns_start));
  scan.Keyword("from");
  scan.SkipSpace();
  size_t table_start = scan.pos();
  if (!scan.Name(select.table)) return std::nullopt;
  select.table_token = std::string(sql.substr(table_start, scan.pos() - table_start));
  scan.SkipSpace();
  if (scan.at_end()) return select;
  if (!scan.Keyword("where")) return std::nullopt;
  select.condition = std::string(sql.substr(scan.pos()));
  return select;
}

class SqliteRowWriter : public RowWriter {
 public:
  SqliteRowWriter(DbHandle db, std::string schema, std::string table, std::string rowid,
                  std::vector<std::string> origins, std::vector<int64_t> row_ids)
      : db_(std::move(db)),
        schema_(std::move(schema)),
        table_(std::move(table)),
        rowid_(std::move(rowid)),
        origins_(std::move(origins)),
        row_ids_(std::move(row_ids)) {}

  void Write(size_t row, const std::vector<size_t>& columns,
             const std::vector<Variant>& values) override {
    if (row >= row_ids_.size()) throw errors::NoCurrentRecord();
    if (columns.empty()) return;
    std::string sql = "UPDATE " + QuoteName(schema_) + "." + QuoteName(table_) + " SET ";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += QuoteName(origins_.at(columns[i])) + " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE " + rowid_ + " = ?" + std::to_string(columns.size() + 1);

    sqlite3* db = db_.get();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      sqlite3_finalize(raw);
      throw EngineError(db);
    }
    Stmt stmt(raw);
    for (size_t i = 0; i < values.size(); ++i) Bind(db, raw, static_cast<int>(i + 1), values[i]);
    sqlite3_bind_int64(raw, static_cast<int>(columns.size() + 1), row_ids_[row]);
    StepAll(db, raw, [] {});
    // The row may have been deleted since it was read, or a trigger may
    // have dropped the change.
    if (sqlite3_changes(db) != 1) throw errors::NoCurrentRecord();
  }

 private:
  DbHandle db_;
  std::string schema_;
  std::string table_;
  std::string rowid_;
  std::vector<std::string> origins_;  // per query column
  std::vector<int64_t> row_ids_;      // per query row
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
  return primary_key && EqualsIgnoringCase(NullToEmpty(type), "INTEGER");
}

class SqliteSession : public Session {
 public:
  explicit SqliteSession(DbHandle db) : db_(std::move(db)) {}

  QueryResult Query(std::u16string_view sql) override {
    const std::string text = StatementText(sql);
    std::optional<SimpleSelect> select = ParseSimpleSelect(text);
    // A query compiles as written and in the rowid form alike, or fails in
    // both, once a query of its shape has compiled both ways: the two forms
    // differ only in the text put around its parts.  Such a query is compiled
    // in the rowid form alone; every check on what that form reads is still
    // made.
    std::string shape;
    if (select) {
      shape = Shape(text);
      if (rowid_shapes_.contains(shape)) {
        if (std::optional<QueryResult> result = QueryWithRowids(*select, nullptr)) {
          return std::move(*result);
        }
      }
    }
    Stmt stmt = PrepareText(db_.get(), text);
    if (select && sqlite3_stmt_readonly(stmt.get()) && sqlite3_column_count(stmt.get()) > 0) {
      if (std::optional<QueryResult> result = QueryWithRowids(*select, stmt.get())) {
        if (rowid_shapes_.size() >= kMaxShapes) rowid_shapes_.clear();
        rowid_shapes_.insert(std::move(shape));
        return std::move(*result);
      }
    }
    return Load(stmt.get(), 0, nullptr);
  }

  int64_t Execute(std::u16string_view sql) override {
    Stmt stmt = PrepareOne(db_.get(), sql);
    StepAll(db_.get(), stmt.get(), [] {});
    // Only a statement that writes rows changes the count.
    return sqlite3_stmt_readonly(stmt.get()) ? 0 : sqlite3_changes64(db_.get());
  }

 private:
  // Runs |stmt|; its first |skip| columns are left out of the result, the
  // first of them collected into |row_ids| when given.
  QueryResult Load(sqlite3_stmt* stmt, int skip, std::vector<int64_t>* row_ids) {
    QueryResult result;
    int count = sqlite3_column_count(stmt);
    for (int i = skip; i < count; ++i) {
      result.columns.push_back(Utf8ToUtf16(NullToEmpty(sqlite3_column_name(stmt, i))));
    }
    StepAll(db_.get(), stmt, [&] {
      if (row_ids) row_ids->push_back(sqlite3_column_int64(stmt, 0));
      std::vector<Variant>& row = result.rows.emplace_back();
      row.reserve(count - skip);
      for (int i = skip; i < count; ++i) row.push_back(ColumnValue(stmt, i));
    });
    return result;
  }

  // Runs the query |select| with each row's rowid in front when its rows can
  // be written back (see the note above); nullopt when they cannot.  The
  // columns are checked against |original|, the query compiled as written,
  // when given.
  std::optional<QueryResult> QueryWithRowids(const SimpleSelect& select, sqlite3_stmt* original) {
    sqlite3* db = db_.get();

    for (const char* alias : {"_rowid_", "rowid", "oid"}) {
      std::string text =
          std::string("SELECT ") + alias + ", " + select.columns + " FROM " + select.table_token;
      if (select.condition) text += " WHERE (" + *select.condition + "\n)";
      sqlite3_stmt* raw = nullptr;
      const char* tail = nullptr;
      int rc = sqlite3_prepare_v2(db, text.c_str(), -1, &raw, &tail);
      Stmt stmt(raw);
      if (rc != SQLITE_OK || !stmt || *tail != '\0') return std::nullopt;
      int count = sqlite3_column_count(raw) - 1;
      if (original && sqlite3_column_count(original) != count) return std::nullopt;

      const char* schema = sqlite3_column_database_name(raw, 0);
      const char* table = sqlite3_column_table_name(raw, 0);
      if (!schema || !table || !EqualsIgnoringCase(table, select.table)) return std::nullopt;
      if (!IsRowid(db, schema, table, alias)) continue;

      std::vector<std::string> origins;
      for (int i = 1; i <= count; ++i) {
        const char* column_schema = sqlite3_column_database_name(raw, i);
        const char* column_table = sqlite3_column_table_name(raw, i);
        const char* origin = sqlite3_column_origin_name(raw, i);
        if (!column_schema || !column_table || !origin ||
            std::string_view(column_schema) != schema || std::string_view(column_table) != table ||
            (original && std::string_view(NullToEmpty(sqlite3_column_name(raw, i))) !=
                             NullToEmpty(sqlite3_column_name(original, i - 1)))) {
          return std::nullopt;
        }
        origins.emplace_back(origin);
      }

      // Column metadata lives only until the statement steps; keep copies.
      std::string schema_name(schema);
      std::string table_name(table);
      std::vector<int64_t> row_ids;
      QueryResult result = Load(raw, 1, &row_ids);
      result.writer =
          std::make_unique<SqliteRowWriter>(db_, std::move(schema_name), std::move(table_name),
                                            alias, std::move(origins), std::move(row_ids));
      return result;
    }
    return std::nullopt;
  }

  // Shapes of queries that compiled as written and in the rowid form.
  static constexpr size_t kMaxShapes = 64;
  std::unordered_set<std::string> rowid_shapes_;
  DbHandle db_;
};

// Picks how hard each commit waits for the disk (see "Effects" above).
void SetSynchronous(sqlite3* db, const std::string& path) {
  bool wal = false;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &raw, nullptr);
  Stmt stmt(raw);
  if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
    wal = EqualsIgnoringCase(
        NullToEmpty(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))), "wal");
  }
  if ((rc != SQLITE_ROW && rc != SQLITE_DONE) ||
      sqlite3_exec(db, wal ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL", nullptr,
                   nullptr, nullptr) != SQLITE_OK) {
    throw OpenError(sqlite3_extended_errcode(db), path, sqlite3_errmsg(db));
  }
}

}  // namespace

std::unique_ptr<Session> OpenSqliteDatabase(const std::string& path,
                                            std::chrono::milliseconds busy_timeout) {
  sqlite3* raw = nullptr;
  // One thread uses the connection: it needs no lock of its own.
  int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  DbHandle db(raw, sqlite3_close_v2);
  if (rc != SQLITE_OK) {
    if (!raw) throw OpenError(rc, path, sqlite3_errstr(rc));
    throw OpenError(sqlite3_extended_errcode(raw), path, sqlite3_errmsg(raw));
  }
  sqlite3_extended_result_codes(raw, 1);
  // SQLite falls back to reading only when the file cannot be written.
  if (sqlite3_db_readonly(raw, "main") != 0) {
    throw OpenError(SQLITE_READONLY, path, "the file is read-only");
  }
  sqlite3_busy_timeout(raw, static_cast<int>(std::min<int64_t>(busy_timeout.count(), INT_MAX)));
  // Read the schema now, so that a damaged file, or one that another program
  // keeps locked, fails here rather than at the first statement.
  if (sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    throw OpenError(sqlite3_extended_errcode(raw), path, sqlite3_errmsg(raw));
  }
  SetSynchronous(raw, path);
  return std::make_unique<SqliteSession>(std::move(db));
}

}  // namespace addbook::engine
