#include "db/jet/table_def.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "db/jet/format.h"

namespace addbook::jet {
namespace {

std::string Le(uint32_t value, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::string Name(std::u16string_view name) {
  std::string out = Le(static_cast<uint32_t>(2 * name.size()), 2);
  for (char16_t c : name) out += Le(c, 2);
  return out;
}

std::string Chunk(uint16_t type, const std::string& body) {
  return Le(static_cast<uint32_t>(6 + body.size()), 4) + Le(type, 2) + body;
}

std::string Value(uint8_t type, uint16_t name, const std::string& data) {
  return Le(static_cast<uint32_t>(8 + data.size()), 2) + '\0' + static_cast<char>(type) +
         Le(name, 2) + Le(static_cast<uint32_t>(data.size()), 2) + data;
}

// Column properties as Access stores them in the catalogue: Required,
// AllowZeroLength and DefaultValue, the default kept only when constant.
TEST(TableDefTest, ColumnPropertiesApplied) {
  struct Row {
    std::u16string column;
    std::optional<std::u16string> default_text;
    bool required;
    bool allow_zero_length;
    std::optional<Variant> value;
  };
  const std::vector<Row> rows = {
      {u"Text", u"\"a\"\"b\"", true, true, Variant(std::u16string(u"a\"b"))},
      {u"Whole", u"0", false, true, Variant(int64_t{0})},
      {u"Negative", u"=-12", false, true, Variant(int64_t{-12})},
      {u"Real", u"1.5", false, true, Variant(1.5)},
      {u"YesNo", u"Yes", false, true, Variant(int64_t{-1})},
      {u"Expression", u"Date()", false, true, std::nullopt},
      {u"BadQuote", u"\"a\"b\"", false, true, std::nullopt},
      {u"Memo", std::nullopt, false, false, std::nullopt},
      {u"Plain", std::nullopt, false, true, std::nullopt},
  };
  TableDef def;
  std::string blocks;
  for (const Row& row : rows) {
    Column column;
    column.name = row.column;
    def.columns.push_back(column);
    std::string values;
    if (row.required) values += Value(0x01, 0, "\x01");
    if (!row.allow_zero_length) values += Value(0x01, 2, std::string(1, '\0'));
    if (row.default_text) {
      std::string text;
      for (char16_t c : *row.default_text) text += Le(c, 2);
      values += Value(0x0C, 1, text);
    }
    const std::string name = Name(row.column);
    blocks += Chunk(1, Le(static_cast<uint32_t>(4 + name.size()), 4) + name + values);
  }
  const std::string names =
      Chunk(0x80, Name(u"Required") + Name(u"DefaultValue") + Name(u"AllowZeroLength"));
  // The table's own block (no name) comes first and changes no column.
  const std::string table = Chunk(0, Le(6, 4) + Le(0, 2) + Value(0x01, 0, "\x01"));
  ApplyProperties(def, std::string("MR2\0", 4) + names + table + blocks);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(Utf16ToUtf8(rows[i].column));
    const Column& column = def.columns[i];
    EXPECT_EQ(column.required, rows[i].required);
    EXPECT_EQ(column.allow_zero_length, rows[i].allow_zero_length);
    EXPECT_EQ(column.default_value, rows[i].value);
    EXPECT_EQ(column.default_expression, rows[i].value ? u"" : rows[i].default_text.value_or(u""));
  }
}

}  // namespace
}  // namespace addbook::jet
