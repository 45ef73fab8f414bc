// The ODBC calls of the ODBC engine, with the checks that no driver's answer
// passes unexamined.  Used by odbc_engine.cc only.
//
// Text.  Every call goes through the wide (SQL*W) entry points, and text is
// bound and read as SQL_C_WCHAR with its length: ODBC's wide characters are
// UTF-16 units on every platform the installer runs on, so nothing passes
// through a narrow code page.  Long values are read in pieces and bound as
// SQL_WLONGVARCHAR, which the Access driver stores in full in a Memo column
// (as SQL_WVARCHAR past 255 characters it would fail).
//
// Nothing silent.  A call succeeds only when the driver answers SQL_SUCCESS
// (or SQL_NO_DATA where that means "no rows").  A statement or row write
// that the driver answers with SQL_SUCCESS_WITH_INFO has run and is kept:
// its warning comes back with it, the driver's own diagnostics as the
// description, for the caller to report.  Everywhere else, queries included,
// SQL_SUCCESS_WITH_INFO is a failure like any other; the one exception is
// SQLGetData reading a long value piece by piece, where 01004 means "more to
// come".  A statement text holding a NUL is refused before the driver sees
// it, since drivers cut text there.
//
// Values that fit.  The Access driver stores a text longer than its Text
// column cut short without a word, so every text bound for a column is
// first measured against the column's size as SQLColumns gives it (read
// once per table and connection): a text that does not fit is refused with
// 3163 before anything runs.  A size the driver gives as 0 or less is no
// limit.
//
// Errors carry the driver's first non-zero native error number, negative as
// engine errors are (Jet's numbers are negative already), and every
// diagnostic record's text with its native number and SQLSTATE.  Inside the
// import's transaction some failures end the import (FatalError): those
// after which the transaction cannot be trusted to hold (rolled back, the
// connection lost, a disk, I/O or memory failure), which the engine undoes
// at once so that nothing after them takes effect on its own; and a write
// refused because the database is read-only, since every other write would
// be refused alike.
#ifndef ADDBOOK_DB_ODBC_ODBC_CALLS_H_
#define ADDBOOK_DB_ODBC_ODBC_CALLS_H_

#ifdef _WIN32
#include <windows.h>  // the ODBC headers build on its types
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "db/engine.h"
#include "db/variant.h"

namespace addbook::engine::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters are UTF-16 units");

// The number of an engine failure that has no native number of its own.
inline constexpr int32_t kEngineFailure = -1;

// UTF-16 text as ODBC's wide characters.
inline SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }
inline SQLWCHAR* Wide(std::u16string_view text) {
  return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.data()));
}

// One diagnostic record of a handle.
struct Diagnostic {
  std::u16string state;
  SQLINTEGER native = 0;
  std::u16string text;
};

// The diagnostic records of |handle|.
std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle);
// The Error for |records|; |what| describes the call when the driver left
// none.
Error DriverError(const std::vector<Diagnostic>& records, std::u16string_view what);

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

// The sizes of the text columns of one table that hold a bounded number of
// characters, by column name with ASCII letters folded.
using ColumnSizes = std::map<std::u16string, size_t>;

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
  // Where long values are read, piece by piece: one buffer for every read,
  // since a lookup reads a long text for every record.
  std::vector<unsigned char> pieces = std::vector<unsigned char>(64 * 1024);
  // The ColumnSizes of every table written so far, by table name with ASCII
  // letters folded.
  std::map<std::u16string, ColumnSizes> column_sizes;
};

// Undoes the open transaction and turns autocommit back on, whatever the
// driver says: after a failure that ended the import, or a failed commit,
// nothing done since Begin may stay, and nothing after it may wait for a
// commit.
void UndoTransaction(OdbcDb& db);

// Throws unless |rc| is SQL_SUCCESS (or SQL_NO_DATA when |no_data| is
// allowed).  Inside the import's transaction, a failure that ends the import
// is a FatalError (see the note above).
void Check(SQLRETURN rc, const Handle& handle, OdbcDb& db, std::u16string_view what,
           bool no_data = false);

// Runs |sql|, one statement, as it is; or, with |values|, prepared, each
// value bound to its parameter in order.  Returns the rows it inserted,
// changed or deleted (none for a query: its rows are dropped), and the
// driver's warning when it ran with one.  Throws as Check.
Executed Run(OdbcDb& db, std::u16string_view sql, const std::vector<Variant>* values = nullptr);

// The bounded text columns of |table| (by its name, unquoted), from the
// driver once per connection.  Throws as Check.
const ColumnSizes& TextColumnSizes(OdbcDb& db, std::u16string_view table);
// Throws errors::FieldTooSmall when |value| is a text longer than |sizes|
// allows for |column|.
void CheckFits(const ColumnSizes& sizes, std::u16string_view column, const Variant& value);

// Refuses a statement text that holds a NUL (drivers cut text there) or is
// longer than ODBC can say; returns its length.
SQLINTEGER StatementLength(std::u16string_view sql);

// A value bound as a parameter, kept alive until the statement has run.
struct Parameter {
  std::u16string text;
  std::string bytes;
  SQLINTEGER integer = 0;
  double real = 0;
  SQLLEN indicator = 0;
};
// Binds |value| to parameter |index| of |stmt|; |p| keeps it alive.
void BindParameter(const Handle& stmt, OdbcDb& db, SQLUSMALLINT index, const Variant& value,
                   Parameter& p);

// Column |column| (of SQL type |sql_type|) of the current row of |stmt|,
// long values read in pieces.
Variant ReadValue(const Handle& stmt, OdbcDb& db, SQLUSMALLINT column, SQLSMALLINT sql_type);

}  // namespace addbook::engine::odbc

#endif  // ADDBOOK_DB_ODBC_ODBC_CALLS_H_
