#include "db/sqlite/sqlite_statement.h"

#include <climits>

#include "base/text.h"
#include "db/sql_scanner.h"

namespace addbook::engine::sqlite {

Error EngineError(sqlite3* db) {
  return Error(-sqlite3_extended_errcode(db), Utf8ToUtf16(sqlite3_errmsg(db)));
}

Stmt PrepareText(sqlite3* db, const std::string& text) {
  if (text.size() > INT_MAX) {
    throw errors::StatementRefused("The statement is too long; nothing was run");
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &raw, &tail);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) throw EngineError(db);
  if (!stmt) throw errors::StatementRefused("The statement is empty; nothing was run");
  for (const char* p = tail; p != text.data() + text.size(); ++p) {
    if (!sql::IsSqlSpace(*p)) {
      throw errors::StatementRefused(
          "The text holds more than one statement, or text after its statement; nothing was "
          "run");
    }
  }
  return stmt;
}

std::string StatementText(std::u16string_view sql) {
  std::string text = Utf16ToUtf8(sql);
  // U+0000 is the one character whose UTF-8 form holds a zero byte.
  if (text.find('\0') != std::string::npos) sql::RefuseNul(sql);
  return text;
}

Stmt PrepareOne(sqlite3* db, std::u16string_view sql) {
  return PrepareText(db, StatementText(sql));
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
      std::string text = Utf16ToUtf8(value.text());
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

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace addbook::engine::sqlite
