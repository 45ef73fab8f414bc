// ODBC engine.
//
// Inserts.  An insert of plain values (sql::ParseInsert: every insert the
// writers build) is run prepared, "INSERT INTO <table> ([<column>], ...)
// VALUES (?, ...)", its numbers bound as integers and its texts as long
// texts: no value counts against the Access driver's limit of 65,000
// characters a statement, and each text is measured against its column
// before anything runs (see odbc_calls.h), since the driver would store one
// that does not fit cut short.  Any other statement is sent as built, one
// per call, however long: a driver refuses a text longer than it takes with
// an error of its own.
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
#include "db/odbc/odbc_engine.h"

#include <algorithm>
#include <optional>
#include <variant>

#include "base/error.h"
#include "base/text.h"
#include "db/odbc/odbc_calls.h"
#include "db/sql_scanner.h"

namespace addbook::engine {
namespace {

using namespace odbc;

class OdbcRowWriter : public RowWriter {
 public:
  OdbcRowWriter(std::shared_ptr<OdbcDb> db, sql::SimpleSelect select,
                std::vector<std::u16string> columns, size_t rows)
      : db_(std::move(db)),
        table_token_(Utf8ToUtf16(select.table_token)),
        table_(Utf8ToUtf16(select.table)),
        condition_(Utf8ToUtf16(select.condition.value_or(""))),
        columns_(std::move(columns)),
        rows_(rows) {}

  std::optional<Error> Write(size_t row, const std::vector<size_t>& columns,
                             const std::vector<Variant>& values) override {
    if (row >= rows_) throw errors::NoCurrentRecord();
    if (rows_ != 1) {
      throw errors::NotUpdatable(
          u"More than one row matches the query's condition, which cannot tell them apart.");
    }
    if (columns.empty()) return std::nullopt;
    std::u16string sql = u"UPDATE " + table_token_ + u" SET ";
    const ColumnSizes& sizes = TextColumnSizes(*db_, table_);
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += u", ";
      sql += u"[" + columns_.at(columns[i]) + u"] = ?";
      CheckFits(sizes, columns_.at(columns[i]), values.at(i));
    }
    if (!condition_.empty()) sql += u" WHERE " + condition_;
    Executed written = Run(*db_, sql, &values);
    // The row may have been deleted since it was read.
    if (written.rows != 1) throw errors::NoCurrentRecord();
    return written.warning;
  }

 private:
  std::shared_ptr<OdbcDb> db_;
  std::u16string table_token_;  // as the query wrote it
  std::u16string table_;        // the name it stands for
  std::u16string condition_;    // the query's own; empty for none
  std::vector<std::u16string> columns_;
  size_t rows_;
};

class OdbcSession : public Session {
 public:
  explicit OdbcSession(std::shared_ptr<OdbcDb> db) : db_(std::move(db)) {}

  QueryResult Query(std::u16string_view sql) override {
    Handle stmt(SQL_HANDLE_STMT, db_->dbc->get());
    SQLRETURN rc = SQLExecDirectW(stmt.get(), Wide(sql), StatementLength(sql));
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

  Executed Execute(std::u16string_view sql) override {
    StatementLength(sql);  // refuses a NUL before anything else
    const std::string utf8 = Utf16ToUtf8(sql);
    std::optional<sql::SimpleInsert> insert = sql::ParseInsert(utf8);
    // A text with a surrogate out of its pair does not survive UTF-8.
    if (!insert || Utf8ToUtf16(utf8) != sql) return Run(*db_, sql);

    const std::u16string table = Utf8ToUtf16(insert->table);
    const ColumnSizes& sizes = TextColumnSizes(*db_, table);
    std::u16string columns, parameters;
    std::vector<Variant> values;
    for (size_t i = 0; i < insert->columns.size(); ++i) {
      const std::u16string column = Utf8ToUtf16(insert->columns[i]);
      columns += (i > 0 ? u",[" : u"[") + column + u"]";
      parameters += i > 0 ? u",?" : u"?";
      const auto* number = std::get_if<int64_t>(&insert->values[i]);
      Variant value = number ? Variant(*number)
                             : Variant(Utf8ToUtf16(std::get<std::string>(insert->values[i])));
      CheckFits(sizes, column, value);
      values.push_back(std::move(value));
    }
    return Run(*db_,
               u"INSERT INTO " + Utf8ToUtf16(insert->table_token) + u" (" + columns +
                   u") VALUES (" + parameters + u")",
               &values);
  }

  void Begin() override {
    Check(SQLSetConnectAttrW(db_->dbc->get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
          *db_->dbc, *db_, u"beginning the transaction");
    db_->in_transaction = true;
  }

  std::optional<Error> Commit() override {
    db_->in_transaction = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db_->dbc->get(), SQL_COMMIT);
    std::optional<Error> warning;
    if (rc != SQL_SUCCESS) {
      Error error = DriverError(Diagnostics(SQL_HANDLE_DBC, db_->dbc->get()), u"committing");
      if (rc != SQL_SUCCESS_WITH_INFO) {
        // Undo the import here rather than leave it to the driver.
        UndoTransaction(*db_);
        throw error;
      }
      warning = std::move(error);  // committed, with a warning
    }
    AutocommitOn();
    return warning;
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
    result.writer =
        std::make_unique<OdbcRowWriter>(db_, *select, result.columns, result.rows.size());
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

// The first of |wanted| among |installed|, as the system names it.
std::optional<std::u16string> FirstInstalled(const std::vector<std::u16string>& installed,
                                             const std::vector<std::u16string>& wanted) {
  for (const std::u16string& name : wanted) {
    for (const std::u16string& found : installed) {
      if (EqualsIgnoringAsciiCase(found, name)) return found;
    }
  }
  return std::nullopt;
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

bool AccessDriverInstalled(const std::vector<std::u16string>& drivers) {
  try {
    OdbcDb db;
    return FirstInstalled(InstalledDrivers(db.env), drivers).has_value();
  } catch (const Error&) {
    return false;  // no driver manager to ask
  }
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
  const std::optional<std::u16string> driver = FirstInstalled(InstalledDrivers(db->env), drivers);
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
