#include "db/odbc/odbc_calls.h"

#include <algorithm>
#include <limits>
#include <span>

#include "base/text.h"
#include "db/sql_scanner.h"

namespace addbook::engine::odbc {
namespace {

// Reads column |column| of the current row in pieces; SQL_C_WCHAR text or
// SQL_C_BINARY bytes.
template <typename Unit>
std::optional<std::basic_string<Unit>> ReadPieces(const Handle& stmt, OdbcDb& db,
                                                  SQLUSMALLINT column, SQLSMALLINT c_type) {
  std::basic_string<Unit> value;
  const std::span<Unit> piece(reinterpret_cast<Unit*>(db.pieces.data()),
                              db.pieces.size() / sizeof(Unit));
  const size_t terminator = c_type == SQL_C_WCHAR ? 1 : 0;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt.get(), column, c_type, piece.data(),
                              static_cast<SQLLEN>(piece.size_bytes()), &indicator);
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

// Column |column| of the current row read as the number type |Number| (C
// type |c_type|), held as |Held|; Null as Null.
template <typename Number, typename Held>
Variant ReadNumber(const Handle& stmt, OdbcDb& db, SQLUSMALLINT column, SQLSMALLINT c_type) {
  Number number = 0;
  SQLLEN indicator = 0;
  Check(SQLGetData(stmt.get(), column, c_type, &number, sizeof number, &indicator), stmt, db,
        u"reading a number");
  return indicator == SQL_NULL_DATA ? Variant() : Variant(static_cast<Held>(number));
}

// A diagnostic record after which the import cannot go on, and how it
// ends.  A record matches when each field given matches: the SQLSTATE's
// beginning, the native number, a piece of the text.
struct FatalCase {
  std::u16string_view state;  // empty: any
  SQLINTEGER native;          // 0: any
  std::u16string_view text;   // empty: any
  FatalError::Kind kind;
};
constexpr FatalError::Kind kUndone = FatalError::Kind::kImportUndone;
constexpr FatalError::Kind kRefused = FatalError::Kind::kWritesRefused;
constexpr FatalCase kFatalCases[] = {
    {u"40", 0, u"", kUndone},     // the transaction was rolled back
    {u"08", 0, u"", kUndone},     // the connection is lost
    {u"HY001", 0, u"", kUndone},  // no memory
    // SQLite drivers: SQLite's result code as the native number, its message.
    {u"", 10, u"disk I/O error", kUndone},               // SQLITE_IOERR
    {u"", 13, u"database or disk is full", kUndone},     // SQLITE_FULL
    {u"", 7, u"out of memory", kUndone},                 // SQLITE_NOMEM
    {u"", 8, u"attempt to write a readonly", kRefused},  // SQLITE_READONLY
    // The Access driver: Jet's messages.
    {u"", 0, u"Disk or network error.", kUndone},
    {u"", 0, u"Disk I/O error during read.", kUndone},
    {u"", 0, u"Not enough space on disk.", kUndone},
    {u"", 0, u"Not enough space on temporary disk.", kUndone},
    {u"", 0, u"System resource exceeded.", kUndone},
    {u"", -1809, u"", kRefused},  // the file is read-only
    {u"", 0, u"Database or object is read-only.", kRefused},
    {u"", 0, u"Operation must use an updat", kRefused},  // no lock file: the folder is read-only
};

// How the import ends after |records|; nullopt when it goes on.
std::optional<FatalError::Kind> FatalKind(const std::vector<Diagnostic>& records) {
  for (const FatalCase& c : kFatalCases) {
    for (const Diagnostic& d : records) {
      if (d.state.starts_with(c.state) && (c.native == 0 || d.native == c.native) &&
          d.text.find(c.text) != std::u16string::npos) {
        return c.kind;
      }
    }
  }
  return std::nullopt;
}

// Reads column |column| of the current row of |stmt| as text; empty for Null.
std::u16string TextAt(const Handle& stmt, OdbcDb& db, SQLUSMALLINT column) {
  Variant value = ReadValue(stmt, db, column, SQL_WVARCHAR);
  return value.is_null() ? std::u16string() : value.text();
}

}  // namespace

void UndoTransaction(OdbcDb& db) {
  db.in_transaction = false;
  SQLEndTran(SQL_HANDLE_DBC, db.dbc->get(), SQL_ROLLBACK);
  SQLSetConnectAttrW(db.dbc->get(), SQL_ATTR_AUTOCOMMIT,
                     reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
}

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

void Check(SQLRETURN rc, const Handle& handle, OdbcDb& db, std::u16string_view what, bool no_data) {
  if (rc == SQL_SUCCESS || (no_data && rc == SQL_NO_DATA)) return;
  std::vector<Diagnostic> records = Diagnostics(handle.type(), handle.get());
  Error error = DriverError(records, what);
  if (!SQL_SUCCEEDED(rc) && db.in_transaction) {
    if (std::optional<FatalError::Kind> kind = FatalKind(records)) {
      if (*kind == FatalError::Kind::kWritesRefused) throw WritesRefused(error);
      UndoTransaction(db);
      throw ImportUndone(&error);
    }
  }
  throw error;
}

Executed Run(OdbcDb& db, std::u16string_view sql, const std::vector<Variant>* values) {
  Handle stmt(SQL_HANDLE_STMT, db.dbc->get());
  SQLRETURN rc;
  std::vector<Parameter> parameters(values ? values->size() : 0);
  if (values) {
    Check(SQLPrepareW(stmt.get(), Wide(sql), StatementLength(sql)), stmt, db,
          u"preparing a statement");
    for (size_t i = 0; i < values->size(); ++i) {
      BindParameter(stmt, db, static_cast<SQLUSMALLINT>(i + 1), (*values)[i], parameters[i]);
    }
    rc = SQLExecute(stmt.get());
  } else {
    rc = SQLExecDirectW(stmt.get(), Wide(sql), StatementLength(sql));
  }
  Executed done;
  if (rc == SQL_SUCCESS_WITH_INFO) {
    done.warning = DriverError(Diagnostics(SQL_HANDLE_STMT, stmt.get()), u"running a statement");
  } else {
    Check(rc, stmt, db, u"running a statement", /*no_data=*/true);
  }
  if (rc == SQL_NO_DATA) return done;  // an update or delete that matched nothing
  SQLLEN changed = 0;
  Check(SQLRowCount(stmt.get(), &changed), stmt, db, u"counting rows");
  done.rows = changed > 0 ? changed : 0;  // -1: a query, whose rows are dropped
  return done;
}

const ColumnSizes& TextColumnSizes(OdbcDb& db, std::u16string_view table) {
  const std::u16string key = FoldAsciiCase(table);
  if (auto known = db.column_sizes.find(key); known != db.column_sizes.end()) return known->second;
  ColumnSizes sizes;
  Handle stmt(SQL_HANDLE_STMT, db.dbc->get());
  std::u16string name(table);
  // The name is a pattern here ('_' and '%' match any character): the rows
  // of other tables are dropped below.
  Check(SQLColumnsW(stmt.get(), nullptr, 0, nullptr, 0, Wide(name),
                    static_cast<SQLSMALLINT>(name.size()), nullptr, 0),
        stmt, db, u"reading the columns of a table");
  for (SQLRETURN rc; (rc = SQLFetch(stmt.get())) != SQL_NO_DATA;) {
    Check(rc, stmt, db, u"reading the columns of a table");
    // TABLE_NAME, COLUMN_NAME, DATA_TYPE and COLUMN_SIZE, in that order.
    const std::u16string found_table = TextAt(stmt, db, 3), column = TextAt(stmt, db, 4);
    const Variant type = ReadValue(stmt, db, 5, SQL_SMALLINT);
    const Variant size = ReadValue(stmt, db, 7, SQL_INTEGER);
    if (!EqualsIgnoringAsciiCase(found_table, table) || type.is_null() || size.is_null()) continue;
    switch (type.integer()) {
      case SQL_CHAR:
      case SQL_VARCHAR:
      case SQL_LONGVARCHAR:
      case SQL_WCHAR:
      case SQL_WVARCHAR:
      case SQL_WLONGVARCHAR:
        if (size.integer() > 0) sizes[FoldAsciiCase(column)] = static_cast<size_t>(size.integer());
    }
  }
  return db.column_sizes[key] = std::move(sizes);
}

void CheckFits(const ColumnSizes& sizes, std::u16string_view column, const Variant& value) {
  if (value.type() != Variant::Type::kText) return;
  const auto size = sizes.find(FoldAsciiCase(column));
  if (size != sizes.end() && value.text().size() > size->second) {
    throw errors::FieldTooSmall(column, value.text().size(), size->second);
  }
}

SQLINTEGER StatementLength(std::u16string_view sql) {
  sql::RefuseNul(sql);
  if (sql.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max())) {
    throw errors::StatementRefused("The statement is too long; nothing was run");
  }
  return static_cast<SQLINTEGER>(sql.size());
}

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
    case Variant::Type::kReal:
      // Access has no 64-bit integers: a number past 32 bits goes as a double.
      if (value.type() == Variant::Type::kInteger &&
          value.integer() >= std::numeric_limits<SQLINTEGER>::min() &&
          value.integer() <= std::numeric_limits<SQLINTEGER>::max()) {
        p.integer = static_cast<SQLINTEGER>(value.integer());
        rc = SQLBindParameter(stmt.get(), index, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                              &p.integer, 0, nullptr);
        break;
      }
      p.real = value.type() == Variant::Type::kInteger ? static_cast<double>(value.integer())
                                                       : value.real();
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

Variant ReadValue(const Handle& stmt, OdbcDb& db, SQLUSMALLINT column, SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ReadNumber<SQLBIGINT, int64_t>(stmt, db, column, SQL_C_SBIGINT);
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ReadNumber<double, double>(stmt, db, column, SQL_C_DOUBLE);
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

}  // namespace addbook::engine::odbc
