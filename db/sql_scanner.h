// Reading SQL text without compiling it: the one shape of query whose rows
// an engine can write back, the one shape of insert whose values an engine
// can take apart, the conditions and counts of the installer's lookups, and
// the shape of a statement with its numbers left out.
// Works on UTF-8 text; literals, quoted names ('...', "...", `...`, [...])
// and comments (--, /* */) are skipped whole, so nothing inside them is taken
// for a keyword or a number.
#ifndef ADDBOOK_DB_SQL_SCANNER_H_
#define ADDBOOK_DB_SQL_SCANNER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace addbook::sql {

// SQL white space: space, tab, line feed, form feed, carriage return.
bool IsSqlSpace(char c);

// Throws errors::StatementRefused when the statement text |sql| holds a NUL:
// engines and drivers cut text there, and part of what was built would be
// dropped without a word.
void RefuseNul(std::u16string_view sql);

// The parts of "SELECT <columns> FROM <table> [WHERE <condition>]".
struct SimpleSelect {
  std::string columns;
  std::string table_token;  // as written, quotes included
  std::string table;        // the name it stands for
  std::optional<std::string> condition;
};

// The parts of |sql| when it is one query of the form
// "SELECT <columns> FROM <table> [WHERE <condition>]" (any letter case,
// white space and one ";" may follow it); nullopt for anything else.
// <columns> is everything between the two keywords; <condition> runs to the
// end of the text.
std::optional<SimpleSelect> ParseSimpleSelect(std::string_view sql);

// The parts of "INSERT INTO <table> (<column>, ...) VALUES (<value>, ...)".
struct SimpleInsert {
  std::string table_token;  // as written, quotes included
  std::string table;        // the name it stands for
  std::vector<std::string> columns;
  // One per column, in the same order: a number, or the text a literal
  // stands for.
  std::vector<std::variant<int64_t, std::string>> values;
};

// The parts of |sql| when it is one insert of exactly this form, keywords in
// any letter case, white space between any two parts, one ";" and white
// space after it:
//
//   INSERT INTO <table> ( <column> [, <column>]... )
//     VALUES ( <value> [, <value>]... )
//
// <table> bare or quoted as in a query; <column> a bare name or one in
// [brackets]; <value> a whole number with an optional "-" before it (one
// that fits 64 bits), or a text literal '...' in which '' stands for one
// apostrophe; as many values as columns.  nullopt for anything else: other
// values (Null, expressions, "..." texts), comments, a second statement.
std::optional<SimpleInsert> ParseInsert(std::string_view sql);

// One "<column> = <number>" of a condition.
struct Equality {
  std::string column;  // the name it stands for
  int64_t value = 0;
};

// The equalities of |condition| when it is exactly
//
//   <column> = <number> [AND <column> = <number>]...
//
// (AND in any letter case, white space between any two parts): <column> a
// bare name or one in [brackets], <number> a whole number with an optional
// "-" before it that fits 64 bits.  nullopt for anything else: OR, NOT,
// parentheses, comments, texts, other comparisons.
std::optional<std::vector<Equality>> ParseEqualities(std::string_view condition);

// The name of the one column of a query's column list |columns| when it is
// "Count(*)" with an optional "AS <name>" (a bare name or one in
// [brackets]): the name given, or "Expr1000", the name Access gives an
// expression column without one.  nullopt for anything else.
std::optional<std::string> ParseCountColumn(std::string_view columns);

// |sql| with every whole number outside literals, quoted names and comments
// replaced by "#": two texts of the same shape differ only in the values of
// their numbers, which never change how a text divides into tokens.
std::string QueryShape(std::string_view sql);

}  // namespace addbook::sql

#endif  // ADDBOOK_DB_SQL_SCANNER_H_
