#include "db/odbc_calls.h"

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

}  // namespace

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

bool HasState(const std::vector<Diagnostic>& records, std::u16string_view prefix) {
  return std::any_of(records.begin(), records.end(),
                     [&](const Diagnostic& d) { return d.state.starts_with(prefix); });
}

void Check(SQLRETURN rc, const Handle& handle, OdbcDb& db, std::u16string_view what, bool no_data) {
  if (rc == SQL_SUCCESS || (no_data && rc == SQL_NO_DATA)) return;
  std::vector<Diagnostic> records = Diagnostics(handle.type(), handle.get());
  Error error = DriverError(records, what);
  if (db.in_transaction && HasState(records, u"40")) {
    db.in_transaction = false;
    throw ImportUndone(&error);
  }
  throw error;
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
