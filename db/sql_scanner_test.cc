#include "db/sql_scanner.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "db/sql_text.h"

namespace addbook::sql {
namespace {

// Which texts are one simple query, and what their parts are:
// "<columns>|<table as written>|<table>|<condition>"; "-" for a text that is
// not.
TEST(SqlScannerTest, SimpleSelects) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Select * from Books where BookNo=706", " * |Books|Books| BookNo=706"},
      {"SELECT Name, [from x] FROM \"Odd \"\"Name\"\"\";",
       " Name, [from x] |\"Odd \"\"Name\"\"\"|Odd \"Name\"|"},
      {"select (select 1 from x) from t", " (select 1 from x) |t|t|"},
      {"SELECT a FROM t ORDER BY a", "-"},
      {"SELECT 1", "-"},
      {"SELECT a FROM 'lit'", "-"},
      {"SELECT a FROM \"unclosed", "-"},
      {"SELECTa FROM t", "-"},
  };
  for (const auto& [sql, parts] : cases) {
    const std::optional<SimpleSelect> s = ParseSimpleSelect(sql);
    EXPECT_EQ(
        s ? s->columns + "|" + s->table_token + "|" + s->table + "|" + s->condition.value_or("")
          : "-",
        parts)
        << sql;
  }
}

// Which texts are one insert of plain values, and what it holds:
// "<table>|<columns>|<values>" (texts between apostrophes, as they stand for).
TEST(SqlScannerTest, Inserts) {
  const std::pair<std::string, std::string_view> cases[] = {
      {Utf16ToUtf8(TitleInsert(706, -1, 32767, -32768, 0, u"O'Neil")),
       "Titles|BookNo|Vol|KTB|BAB|SubBAB|Title|706|-1|32767|-32768|0|'O'Neil'"},
      {Utf16ToUtf8(HadeethInsert(706, -1, 3, 3, u"a\r\n\u0628")),
       "Hadeeths|BookNo|TitleID|HadeethID|HadeethNo|Hadeeth|706|-1|3|3|'"
       "a\r\n\u0628\r\n'"},
      {"insert into [Odd Name] ( a , [b c] ) values ( -9223372036854775808 , "
       "'x,)' ) ;",
       "Odd Name|a|b c|-9223372036854775808|'x,)'"},
  };
  for (const auto& [sql, expected] : cases) {
    std::optional<SimpleInsert> insert = ParseInsert(sql);
    ASSERT_TRUE(insert.has_value()) << sql;
    std::string found = insert->table;
    for (const std::string& column : insert->columns) found += "|" + column;
    for (const auto& v : insert->values)
      found += "|" + (v.index() == 0 ? std::to_string(std::get<0>(v)) : "'" + std::get<1>(v) + "'");
    EXPECT_EQ(found, expected);
  }
  // Refused: "INSERT INTO t " and each of these.
  for (const char* rest :
       {"(a, b) VALUES (1)", "(a) VALUES (NULL)", "(a) VALUES (1.5)", "(a) VALUES (- 1)",
        "(a) VALUES (12a)", "(a) VALUES (9223372036854775808)", "(a) VALUES (\"x\")",
        "(a) VALUES ('unclosed)", "(\"a\") VALUES (1)", "() VALUES ()", "VALUES (1)",
        "(a) SELECT 1", "(a) VALUES (1); DELETE FROM t"}) {
    EXPECT_FALSE(ParseInsert(std::string("INSERT INTO t ") + rest).has_value()) << rest;
  }
}

// The installer's lookups taken apart: a condition's equalities
// "<column>=<value>,..." and a count's column name; "-" for text that is
// neither.
TEST(SqlScannerTest, EqualitiesAndCounts) {
  const std::pair<std::string_view, std::string_view> conditions[] = {
      {" [bookNo]=706 AND [Vol]=-1 and\tKTB = 0", "bookNo=706,Vol=-1,KTB=0,"},
      {"BookNo=706 OR BookNo=1", "-"},
      {"BookNo='706'", "-"},
      {"(BookNo=706)", "-"},
      {"BookNo=706 AND", "-"},
      {"\"BookNo\"=706", "-"},
      {"BookNo=706 -- x", "-"},
  };
  for (const auto& [condition, expected] : conditions) {
    std::string found = "-";
    if (auto equalities = ParseEqualities(condition)) {
      found.clear();
      for (const Equality& e : *equalities) found += e.column + "=" + std::to_string(e.value) + ",";
    }
    EXPECT_EQ(found, expected) << condition;
  }
  const std::pair<std::string_view, std::string_view> counts[] = {
      {" Count(*) AS Found ", "Found"},
      {"count ( * ) as [Found it]", "Found it"},
      {"Count(*)", "Expr1000"},
      {"Count(BookNo)", "-"},
      {"Count(*) AS", "-"},
      {"Count(*), Name", "-"},
  };
  for (const auto& [columns, expected] : counts) {
    EXPECT_EQ(ParseCountColumn(columns).value_or("-"), expected) << columns;
  }
}

// Numbers become "#" only where they stand as numbers.
TEST(SqlScannerTest, Shapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"where [TitleID]=-1 AND [HadeethID]=12", "where [TitleID]=-# AND [HadeethID]=#"},
      {"x='12' AND \"3\"=[4] -- 5\n AND 6 /* 7 */", "x='12' AND \"3\"=[4] -- 5\n AND # /* 7 */"},
      {"t2 = a1 + 1e5", "t2 = a1 + 1e5"},
      {"'unclosed 9", "'unclosed 9"},
  };
  for (const auto& [sql, shape] : cases) EXPECT_EQ(QueryShape(sql), shape) << sql;
}

}  // namespace
}  // namespace addbook::sql
