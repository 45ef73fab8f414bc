// ODBC engine.
//
// Text.  Every call goes through the wide (SQL*W) entry points, and text is
// bound and read as SQL_C_WCHAR with its length: ODBC's wide characters are
// UTF-16 units on every platform the installer runs on, so nothing passes
// through a narrow code page.  Long values are read in pieces and bound as
// SQL_WLONGVARCHAR, which the Access driver stores in full in a Memo column
// (as SQL_WVARCHAR past 255 characters it would fail).
//
// Nothing silent.  A call succeeds only when the driver answers SQL_SUCCESS
// (or SQL_NO_DATA where that means "no rows").  SQL_SUCCESS_WITH_INFO, such
// as a value cut short (SQLSTATE 01004), is a failure like any other, with
// the driver's own diagnostics as its description; the one exception is
// SQLGetData reading a long value piece by piece, where 01004 means "more to
// come".  A statement text holding a NUL is refused before the driver sees
// it, since drivers cut text at a NUL.  Statements are sent as built, one per
// call; a driver that refuses a long or a compound text reports it like any
// other failure.
//
// Errors carry the driver's first non-zero native error number, negative as
// engine errors are (Jet's numbers are negative already), and every
// diagnostic record's text with its native number and SQLSTATE.  An error of
// class 40 (the transaction was rolled back) inside the import's transaction
// is a FatalError.
//
// Rows written back.  A query's rows can be written back when it is
// "SELECT * FROM <table> [WHERE <condition>]" (so every result column is a
// column of <table>, under its own name) and it found exactly one row: the
// edit is written with the prepared "UPDATE <table> SET [<column>] = ? ...
// WHERE <condition>", the query's own condition, which inside the import's
// transaction on an exclusively opened file still names that one row, and
// must change exactly one row.  SQLBulkOperations is never used: some drivers
// report success from it and store an empty text.
//
// The transaction.  Begin turns autocommit off, Commit and Rollback end it
// with SQLEndTran and turn autocommit back on.  The Access driver makes a
// commit durable before it returns (its default, UserCommitSync).
#ifdef _WIN32
#include <windows.h>  // the ODBC headers build on its types
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "base/error.h"
#include "base/text.h"
#include "db/odbc_engine.h"
#include "db/sql_scanner.h"

namespace addbook::engine {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters are UTF-16 units");

// The number of an engine failure that has no native number of its own.
constexpr int32_t kEngineFailure = -1;
// Pieces in which long values are read.
constexpr size_t kPieceChars = 32 * 1024;

SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }
SQLWCHAR* Wide(std::u16string_view text) {
  return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.data()));
}

struct Diagnostic {
  std::u16string state;
  SQLINTEGER native = 0;
  std::u16string text;
};

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  for (SQLSMALLINT i = 1; i <= 20; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::u16string text(512, u'\0');
    SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, Wide(text),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (!SQL_SUCCEEDED(rc)) break;
    if (length >= static_cast<SQLSMALLINT>(text.size())) {  // cut short: ask again with room
      text.assign(static_cast<size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(type, handle, i, state, &native, Wide(text),
                          static_cast<SQLSMALLINT>(text.size()), &length);
      if (!SQL_SUCCEEDED(rc)) break;
    }
    text.resize(
        std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), text.size() - 1));
    records.push_back(
        {std::u16string(reinterpret_cast<const char16_t*>(state), 5), native, std::move(text)});
  }
  return records;
}

// The Error for the diagnostics of |handle|; |what| describes the call when
// the driver left none.
Error DriverError(const std::vector<Diagnostic>& records, std::u16string_view what) {
  if (records.empty()) {
    return Error(kEngineFailure, u"The ODBC driver failed (" + std::u16string(what) +
                                     u") and said nothing about why");
  }
  int32_t number = 0;
  std::u16string description;
  for (const Diagnostic& record : records) {
    if (number == 0 && record.native != 0) {
      number = record.native < 0 ? record.native : -record.native;
    }
    if (!description.empty()) description += u" ";
    description += record.text + u" (native error " + Decimal(record.native) + u", SQLSTATE " +
                   record.state + u")";
  }
  return Error(number != 0 ? number : kEngineFailure, description);
}

bool HasState(const std::vector<Diagnostic>& records, std::u16string_view prefix) {
  return std::any_of(records.begin(), records.end(),
                     [&](const Diagnostic& d) { return d.state.starts_with(prefix); });
}

// An environment, connection or statement handle, freed with it.
class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
      throw Error(kEngineFailure, "The ODBC driver manager could not make a handle");
    }
  }
  ~Handle() { SQLFreeHandle(type_, handle_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The open connection, shared by its session and the row writers of its
// queries.
struct OdbcDb {
  OdbcDb() : env(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    dbc.emplace(SQL_HANDLE_DBC, env.get());
  }
  ~OdbcDb() {
    if (connected) {
      // Closing with the transaction open undoes it; say so plainly.
      if (in_transaction) SQLEndTran(SQL_HANDLE_DBC, dbc->get(), SQL_ROLLBACK);
      SQLDisconnect(dbc->get());
    }
  }

  Handle env;
  std::optional<Handle> dbc;
  bool connected = false;
  bool in_transaction = false;
};

// Throws unless |rc| is SQL_SUCCESS (or SQL_NO_DATA when |no_data| is
// allowed).  Inside the import's transaction, a failure that rolled the
// transaction back is a FatalError.
void Check(SQLRETURN rc, const Handle& handle, OdbcDb& db, std::u16string_view what,
           bool no_data = false) {
  if (rc == SQL_SUCCESS || (no_data && rc == SQL_NO_DATA)) return;
  std::vector<Diagnostic> records = Diagnostics(handle.type(), handle.get());
  Error error = DriverError(records, what);
  if (db.in_transaction && HasState(records, u"40")) {
    db.in_transaction = false;
    throw FatalError(
        FatalError::Kind::kImportUndone,
        Error(error.number(), u"The database undid the whole import after this error: " +
                                  error.description() + u". Nothing of the book was stored."));
  }
  throw error;
}

void RefuseNul(std::u16string_view sql) {
  if (size_t nul = sql.find(u'\0'); nul != std::u16string_view::npos) {
    throw errors::StatementRefused("The statement holds a NUL character (at character " +
                                   std::to_string(nul + 1) + "); nothing was run");
  }
}

SQLINTEGER TextLength(std::u16string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max())) {
    throw errors::StatementRefused("The statement is too long; nothing was run");
  }
  return static_cast<SQLINTEGER>(text.size());
}

// A value bound as a parameter, kept alive until the statement has run.
struct Parameter {
  std::u16string text;
  std::string bytes;
  SQLINTEGER integer = 0;
  double real = 0;
  SQLLEN indicator = 0;
};

void BindParameter(const Handle& stmt, OdbcDb& db, SQLUSMALLINT index, const Variant& value,
                   Parameter& p) {
  SQLRETURN rc = SQL_ERROR;
  switch (value.type()) {
    case Variant::Type::kNull:
      p.indicator = SQL_NULL_DATA;
      rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0,
                            nullptr, 0, &p.indicator);
      break;
    case Variant::Type::kInteger:
      if (value.integer() >= std::numeric_limits<SQLINTEGER>::min() &&
          value.integer() <= std::numeric_limits<SQLINTEGER>::max()) {
        p.integer = static_cast<SQLINTEGER>(value.integer());
        rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                              &p.integer, 0, nullptr);
        break;
      }
      p.real = static_cast<double>(value.integer());
      rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                            &p.real, 0, nullptr);
      break;
    case Variant::Type::kReal:
      p.real = value.real();
      rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                            &p.real, 0, nullptr);
      break;
    case Variant::Type::kText:
      p.text = value.text();
      p.indicator = static_cast<SQLLEN>(p.text.size() * sizeof(SQLWCHAR));
      rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR,
                            std::max<SQLULEN>(p.text.size(), 1), 0, Wide(p.text), p.indicator,
                            &p.indicator);
      break;
    case Variant::Type::kBytes:
      p.bytes = value.bytes();
      p.indicator = static_cast<SQLLEN>(p.bytes.size());
      rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                            std::max<SQLULEN>(p.bytes.size(), 1), 0, p.bytes.data(), p.indicator,
                            &p.indicator);
      break;
  }
  Check(rc, stmt, db, u"binding a value");
}

// Reads column |column| of the current row in pieces; SQL_C_WCHAR text or
// SQL_C_BINARY bytes.
template <typename Unit>
std::optional<std::basic_string<Unit>> ReadPieces(const Handle& stmt, OdbcDb& db,
                                                  SQLUSMALLINT column, SQLSMALLINT c_type) {
  std::basic_string<Unit> value;
  std::vector<Unit> piece(kPieceChars);
  const size_t terminator = c_type == SQL_C_WCHAR ? 1 : 0;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt.get(), column, c_type, piece.data(),
                              static_cast<SQLLEN>(piece.size() * sizeof(Unit)), &indicator);
    if (rc == SQL_NO_DATA) return value;  // every piece read
    if (rc == SQL_SUCCESS_WITH_INFO) {
      std::vector<Diagnostic> records = Diagnostics(SQL_HANDLE_STMT, stmt.get());
      if (records.size() == 1 && records[0].state == u"01004") {  // more to come
        value.append(piece.data(), piece.size() - terminator);
        continue;
      }
    }
    Check(rc, stmt, db, u"reading a value");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    size_t units = indicator == SQL_NO_TOTAL ? piece.size() - terminator
                                             : static_cast<size_t>(indicator) / sizeof(Unit);
    value.append(piece.data(), std::min(units, piece.size() - terminator));
    return value;
  }
}

Variant ReadValue(const Handle& stmt, OdbcDb& db, SQLUSMALLINT column, SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT number = 0;
      SQLLEN indicator = 0;
      Check(SQLGetData(stmt.get(), column, SQL_C_SBIGINT, &number, sizeof number, &indicator), stmt,
            db, u"reading a number");
      return indicator == SQL_NULL_DATA ? Variant() : Variant(static_cast<int64_t>(number));
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      double number = 0;
      SQLLEN indicator = 0;
      Check(SQLGetData(stmt.get(), column, SQL_C_DOUBLE, &number, sizeof number, &indicator), stmt,
            db, u"reading a number");
      return indicator == SQL_NULL_DATA ? Variant() : Variant(number);
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      std::optional<std::string> bytes = ReadPieces<char>(stmt, db, column, SQL_C_BINARY);
      return bytes ? Variant::Bytes(std::move(*bytes)) : Variant();
    }
    default: {
      std::optional<std::u16string> text = ReadPieces<char16_t>(stmt, db, column, SQL_C_WCHAR);
      return text ? Variant(std::move(*text)) : Variant();
    }
  }
}

class OdbcRowWriter : public RowWriter {
 public:
  OdbcRowWriter(std::shared_ptr<OdbcDb> db, std::u16string table, std::u16string condition,
                std::vector<std::u16string> columns, size_t rows)
      : db_(std::move(db)),
        table_(std::move(table)),
        condition_(std::move(condition)),
        columns_(std::move(columns)),
        rows_(rows) {}

  void Write(size_t row, const std::vector<size_t>& columns,
             const std::vector<Variant>& values) override {
    if (row >= rows_) throw errors::NoCurrentRecord();
    if (rows_ != 1) {
      throw errors::NotUpdatable(
          u"More than one row matches the query's condition, which cannot tell them apart.");
    }
    if (columns.empty()) return;
    std::u16string sql = u"UPDATE " + table_ + u" SET ";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += u", ";
      sql += u"[" + columns_.at(columns[i]) + u"] = ?";
    }
    if (!condition_.empty()) sql += u" WHERE " + condition_;

    Handle stmt(SQL_HANDLE_STMT, db_->dbc->get());
    Check(SQLPrepareW(stmt.get(), Wide(sql), TextLength(sql)), stmt, *db_, u"preparing an update");
    std::vector<Parameter> parameters(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      BindParameter(stmt, *db_, static_cast<SQLUSMALLINT>(i + 1), values[i], parameters[i]);
    }
    SQLRETURN rc = SQLExecute(stmt.get());
    Check(rc, stmt, *db_, u"writing a row", /*no_data=*/true);
    SQLLEN changed = 0;
    if (rc != SQL_NO_DATA) Check(SQLRowCount(stmt.get(), &changed), stmt, *db_, u"counting rows");
    // The row may have been deleted since it was read.
    if (changed != 1) throw errors::NoCurrentRecord();
  }

 private:
  std::shared_ptr<OdbcDb> db_;
  std::u16string table_;      // as the query wrote it
  std::u16string condition_;  // the query's own; empty for none
  std::vector<std::u16string> columns_;
  size_t rows_;
};

class OdbcSession : public Session {
 public:
  explicit OdbcSession(std::shared_ptr<OdbcDb> db) : db_(std::move(db)) {}

  QueryResult Query(std::u16string_view sql) override {
    RefuseNul(sql);
    Handle stmt(SQL_HANDLE_STMT, db_->dbc->get());
    SQLRETURN rc = SQLExecDirectW(stmt.get(), Wide(sql), TextLength(sql));
    Check(rc, stmt, *db_, u"running a query", /*no_data=*/true);
    QueryResult result;
    SQLSMALLINT count = 0;
    if (rc != SQL_NO_DATA) Check(SQLNumResultCols(stmt.get(), &count), stmt, *db_, u"a query");
    std::vector<SQLSMALLINT> types;
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
      std::u16string name(256, u'\0');
      SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      Check(SQLDescribeColW(stmt.get(), i, Wide(name), static_cast<SQLSMALLINT>(name.size()),
                            &length, &type, &size, &digits, &nullable),
            stmt, *db_, u"describing a column");
      name.resize(
          std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), name.size() - 1));
      result.columns.push_back(std::move(name));
      types.push_back(type);
    }
    while (count > 0) {
      rc = SQLFetch(stmt.get());
      if (rc == SQL_NO_DATA) break;
      Check(rc, stmt, *db_, u"reading a row");
      std::vector<Variant>& row = result.rows.emplace_back();
      for (SQLUSMALLINT i = 1; i <= count; ++i)
        row.push_back(ReadValue(stmt, *db_, i, types[i - 1]));
    }
    AttachWriter(sql, result);
    return result;
  }

  int64_t Execute(std::u16string_view sql) override {
    RefuseNul(sql);
    Handle stmt(SQL_HANDLE_STMT, db_->dbc->get());
    SQLRETURN rc = SQLExecDirectW(stmt.get(), Wide(sql), TextLength(sql));
    Check(rc, stmt, *db_, u"running a statement", /*no_data=*/true);
    if (rc == SQL_NO_DATA) return 0;  // an update or delete that matched nothing
    SQLLEN changed = 0;
    Check(SQLRowCount(stmt.get(), &changed), stmt, *db_, u"counting rows");
    return changed > 0 ? changed : 0;  // -1: a query, whose rows are dropped
  }

  void Begin() override {
    Check(SQLSetConnectAttrW(db_->dbc->get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
          *db_->dbc, *db_, u"beginning the transaction");
    db_->in_transaction = true;
  }

  void Commit() override {
    db_->in_transaction = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db_->dbc->get(), SQL_COMMIT);
    if (rc != SQL_SUCCESS) {
      Error error = DriverError(Diagnostics(SQL_HANDLE_DBC, db_->dbc->get()), u"committing");
      // Undo the import here rather than leave it to the driver.
      SQLEndTran(SQL_HANDLE_DBC, db_->dbc->get(), SQL_ROLLBACK);
      AutocommitOn();
      throw error;
    }
    AutocommitOn();
  }

  void Rollback() override {
    if (!db_->in_transaction) return;
    db_->in_transaction = false;
    Check(SQLEndTran(SQL_HANDLE_DBC, db_->dbc->get(), SQL_ROLLBACK), *db_->dbc, *db_,
          u"undoing the transaction");
    AutocommitOn();
  }

 private:
  void AutocommitOn() {
    Check(SQLSetConnectAttrW(db_->dbc->get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER),
          *db_->dbc, *db_, u"ending the transaction");
  }

  // Gives |result| a writer when the query's rows can be written back (see
  // the note above), or says why not.
  void AttachWriter(std::u16string_view sql, QueryResult& result) {
    std::optional<sql::SimpleSelect> select = sql::ParseSimpleSelect(Utf16ToUtf8(sql));
    std::string columns = select ? select->columns : "";
    columns.erase(std::remove_if(columns.begin(), columns.end(), sql::IsSqlSpace), columns.end());
    const bool names_plain = std::none_of(
        result.columns.begin(), result.columns.end(),
        [](const std::u16string& name) { return name.empty() || name.find(u']') != name.npos; });
    if (!select || columns != "*" || !names_plain) {
      result.read_only_reason =
          u"Its rows do not come straight from the rows of one table, every column under its own "
          u"name.";
      return;
    }
    result.writer = std::make_unique<OdbcRowWriter>(db_, Utf8ToUtf16(select->table_token),
                                                    Utf8ToUtf16(select->condition.value_or("")),
                                                    result.columns, result.rows.size());
  }

  std::shared_ptr<OdbcDb> db_;
};

// The names of the ODBC drivers installed.
std::vector<std::u16string> InstalledDrivers(const Handle& env) {
  std::vector<std::u16string> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    std::u16string name(512, u'\0');
    std::u16string attributes(4096, u'\0');
    SQLSMALLINT name_length = 0, attributes_length = 0;
    SQLRETURN rc = SQLDriversW(
        env.get(), direction, Wide(name), static_cast<SQLSMALLINT>(name.size()), &name_length,
        Wide(attributes), static_cast<SQLSMALLINT>(attributes.size()), &attributes_length);
    if (!SQL_SUCCEEDED(rc)) break;
    name.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(name_length, 0)),
                                 name.size() - 1));
    names.push_back(std::move(name));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

std::u16string KeyValue(std::u16string_view value) {
  if (value.find_first_of(u";{}") == std::u16string_view::npos && !value.starts_with(u' ') &&
      !value.ends_with(u' ')) {
    return std::u16string(value);
  }
  std::u16string braced = u"{";
  for (char16_t c : value) {
    braced.push_back(c);
    if (c == u'}') braced.push_back(u'}');
  }
  return braced + u"}";
}

}  // namespace

std::u16string AccessConnectionString(std::u16string_view driver,
                                      const std::filesystem::path& path) {
  return u"Driver={" + std::u16string(driver) + u"};DBQ=" + KeyValue(PathToUtf16(path)) +
         u";Exclusive=1";
}

std::unique_ptr<Session> OpenOdbcDatabase(const std::filesystem::path& path,
                                          std::chrono::milliseconds,
                                          const std::vector<std::u16string>& drivers) {
  const std::string shown = PathToUtf8(path);
  // The driver may make a file that is not there; this program never does.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw errors::DatabaseOpen(errors::kDatabaseNotFound, shown, "no such file");
  }
  auto db = std::make_shared<OdbcDb>();
  const std::vector<std::u16string> installed = InstalledDrivers(db->env);
  std::optional<std::u16string> driver;
  for (const std::u16string& wanted : drivers) {
    for (const std::u16string& name : installed) {
      if (EqualsIgnoringAsciiCase(name, wanted)) driver = name;
    }
    if (driver) break;
  }
  if (!driver) {
    std::u16string looked_for;
    for (const std::u16string& wanted : drivers) {
      looked_for += (looked_for.empty() ? u"\"" : u" or \"") + wanted + u"\"";
    }
    throw errors::DatabaseOpen(
        errors::kCannotOpenDatabase, shown,
        "it is an Access database, and no ODBC driver that writes one is installed (looked for " +
            Utf16ToUtf8(looked_for) + ")");
  }

  std::u16string connection = AccessConnectionString(*driver, path);
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnectW(db->dbc->get(), nullptr, Wide(connection),
                                   static_cast<SQLSMALLINT>(connection.size()), nullptr, 0,
                                   &out_length, SQL_DRIVER_NOPROMPT);
  if (rc != SQL_SUCCESS) {
    std::vector<Diagnostic> records = Diagnostics(SQL_HANDLE_DBC, db->dbc->get());
    if (SQL_SUCCEEDED(rc)) {
      db->connected = true;  // connected, with a warning: refused all the same
    }
    const Error error = DriverError(records, u"connecting");
    // The Access driver's "file already in use" and "exclusively locked".
    const bool in_use = std::any_of(records.begin(), records.end(), [](const Diagnostic& d) {
      return d.native == -1032 || d.native == -1045;
    });
    throw errors::DatabaseOpen(
        in_use ? errors::kDatabaseInUse : errors::kCannotOpenDatabase, shown,
        Utf16ToUtf8(error.description()) +
            (in_use ? "; the host program has it open: close it and run again" : ""));
  }
  db->connected = true;
  return std::make_unique<OdbcSession>(std::move(db));
}

}  // namespace addbook::engine
