#include "db/sql_scanner.h"

#include <gtest/gtest.h>

namespace addbook::sql {
namespace {

// Which texts are one simple query, and what their parts are; "-" for a
// text that is not.
TEST(SqlScannerTest, SimpleSelects) {
  struct Case {
    std::string_view sql, columns, table_token = "", table = "", condition = "";
  } cases[] = {
      {"Select * from Books where BookNo=706", " * ", "Books", "Books", " BookNo=706"},
      {"select * from titles where [bookNo]=706 AND [Vol]=1", " * ", "titles", "titles",
       " [bookNo]=706 AND [Vol]=1"},
      {"SELECT Name, [from x] FROM \"Odd \"\"Name\"\"\";", " Name, [from x] ",
       "\"Odd \"\"Name\"\"\"", "Odd \"Name\"", ""},
      {"SELECT a FROM [t] WHERE b = 'where from'", " a ", "[t]", "t", " b = 'where from'"},
      {"select (select 1 from x) from t", " (select 1 from x) ", "t", "t", ""},
      {"SELECT a FROM t ORDER BY a", "-"},
      {"SELECT a FROM t1, t2", "-"},
      {"SELECT a FROM t JOIN u", "-"},
      {"UPDATE t SET a = 1", "-"},
      {"SELECT 1", "-"},
      {"SELECT a FROM 'lit'", "-"},
      {"SELECT a FROM \"unclosed", "-"},
      {"SELECTa FROM t", "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    std::optional<SimpleSelect> select = ParseSimpleSelect(c.sql);
    if (c.columns == "-") {
      EXPECT_FALSE(select.has_value());
      continue;
    }
    ASSERT_TRUE(select.has_value());
    EXPECT_EQ(select->columns, c.columns);
    EXPECT_EQ(select->table_token, c.table_token);
    EXPECT_EQ(select->table, c.table);
    EXPECT_EQ(select->condition.value_or(""), c.condition);
  }
}

// Numbers become "#" only where they stand as numbers.
TEST(SqlScannerTest, Shapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Select * from titles where TitleID=40000", "Select * from titles where TitleID=#"},
      {"where [TitleID]=-1 AND [HadeethID]=12", "where [TitleID]=-# AND [HadeethID]=#"},
      {"x='12' AND \"3\"=[4] -- 5\n AND 6 /* 7 */", "x='12' AND \"3\"=[4] -- 5\n AND # /* 7 */"},
      {"t2 = a1 + 1e5", "t2 = a1 + 1e5"},
      {"'unclosed 9", "'unclosed 9"},
  };
  for (const auto& [sql, shape] : cases) EXPECT_EQ(QueryShape(sql), shape) << sql;
}

}  // namespace
}  // namespace addbook::sql
