// Statements of the SQLite engine: compiling exactly the one statement a
// text holds, binding values, reading columns, and SQLite's errors as the
// program's.  Used by sqlite_engine.cc only.
//
// Statement text.  SQLite compiles text only up to the first NUL character
// and, given several statements, compiles the first and hands back the rest.
// Either way part of what the caller built would be dropped without a word.
// So a statement text is refused, with nothing run, when it holds a NUL
// anywhere, when it holds nothing but white space, or when anything other
// than white space follows its first statement.  Values that reach the
// database as parameters (row updates) are bound with their length and stored
// exactly, NUL characters included.
#ifndef ADDBOOK_DB_SQLITE_SQLITE_STATEMENT_H_
#define ADDBOOK_DB_SQLITE_SQLITE_STATEMENT_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/error.h"
#include "db/variant.h"

namespace addbook::engine::sqlite {

struct StmtDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// The number of an engine failure that has no result code of its own.
inline constexpr int32_t kEngineFailure = -SQLITE_ERROR;

// The last failure on |db|: the negated extended result code and SQLite's
// message.
Error EngineError(sqlite3* db);

// Compiles the one statement that |text|, a statement text in UTF-8 without
// NUL, must hold; throws errors::StatementRefused for an empty text or text
// after the statement, EngineError when SQLite refuses it.
Stmt PrepareText(sqlite3* db, const std::string& text);
// The UTF-8 form of the statement text |sql|; refuses a text that holds a
// NUL.
std::string StatementText(std::u16string_view sql);
// PrepareText of StatementText.
Stmt PrepareOne(sqlite3* db, std::u16string_view sql);

// Column |column| of the current row of |stmt|.
Variant ColumnValue(sqlite3_stmt* stmt, int column);
// Binds |value| to parameter |index|, text and bytes with their length.
void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const Variant& value);

// Steps |stmt| to its end; |on_row| sees every row.  Throws EngineError.
template <typename OnRow>
void StepAll(sqlite3* db, sqlite3_stmt* stmt, OnRow on_row) {
  for (;;) {
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return;
    if (rc != SQLITE_ROW) throw EngineError(db);
    on_row();
  }
}

// |name| as a quoted SQL name.
std::string QuoteName(std::string_view name);

}  // namespace addbook::engine::sqlite

#endif  // ADDBOOK_DB_SQLITE_SQLITE_STATEMENT_H_
