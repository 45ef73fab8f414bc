#include "db/jet/table_def.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/page_file.h"

namespace addbook::jet {
namespace {

std::string Le(uint32_t value, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// |text| as a property block stores it: UTF-16LE, or in Jet 3 the code
// page's bytes.
std::string Text(std::u16string_view text, bool code_page) {
  std::string out;
  if (code_page) {
    EXPECT_FALSE(EncodeCodePageText(text, out));
  } else {
    for (char16_t c : text) out += Le(c, 2);
  }
  return out;
}

std::string Name(std::u16string_view name, bool code_page) {
  const std::string text = Text(name, code_page);
  return Le(static_cast<uint32_t>(text.size()), 2) + text;
}

std::string Chunk(uint16_t type, const std::string& body) {
  return Le(static_cast<uint32_t>(6 + body.size()), 4) + Le(type, 2) + body;
}

std::string Value(uint8_t type, uint16_t name, const std::string& data) {
  return Le(static_cast<uint32_t>(8 + data.size()), 2) + '\0' + static_cast<char>(type) +
         Le(name, 2) + Le(static_cast<uint32_t>(data.size()), 2) + data;
}

// Column properties as Access stores them in the catalogue: Required,
// AllowZeroLength and DefaultValue, the default kept only when constant; in
// UTF-16 ("MR2") and in Jet 3's code page ("KKD").
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
      {u"\u0646\u0635", u"\"\u0639\u0631\u0628\u064A\"", false, true,
       Variant(std::u16string(u"\u0639\u0631\u0628\u064A"))},
      {u"Whole", u"0", false, true, Variant(int64_t{0})},
      {u"Negative", u"=-12", false, true, Variant(int64_t{-12})},
      {u"Real", u"1.5", false, true, Variant(1.5)},
      {u"YesNo", u"Yes", false, true, Variant(int64_t{-1})},
      {u"Expression", u"Date()", false, true, std::nullopt},
      {u"BadQuote", u"\"a\"b\"", false, true, std::nullopt},
      {u"Memo", std::nullopt, false, false, std::nullopt},
      {u"Plain", std::nullopt, false, true, std::nullopt},
  };
  for (const bool code_page : {false, true}) {
    SCOPED_TRACE(code_page ? "KKD" : "MR2");
    TableDef def;
    std::string blocks;
    for (const Row& row : rows) {
      Column column;
      column.name = row.column;
      def.columns.push_back(column);
      std::string values;
      if (row.required) values += Value(0x01, 0, "\x01");
      if (!row.allow_zero_length) values += Value(0x01, 2, std::string(1, '\0'));
      if (row.default_text) values += Value(0x0C, 1, Text(*row.default_text, code_page));
      const std::string name = Name(row.column, code_page);
      blocks += Chunk(1, Le(static_cast<uint32_t>(4 + name.size()), 4) + name + values);
    }
    const std::string names =
        Chunk(0x80, Name(u"Required", code_page) + Name(u"DefaultValue", code_page) +
                        Name(u"AllowZeroLength", code_page));
    // The table's own block (no name) comes first and changes no column.
    const std::string table = Chunk(0, Le(6, 4) + Le(0, 2) + Value(0x01, 0, "\x01"));
    ApplyProperties(def, std::string(code_page ? "KKD" : "MR2", 3) + '\0' + names + table + blocks);
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(Utf16ToUtf8(rows[i].column));
      const Column& column = def.columns[i];
      EXPECT_EQ(column.required, rows[i].required);
      EXPECT_EQ(column.allow_zero_length, rows[i].allow_zero_length);
      EXPECT_EQ(column.default_value, rows[i].value);
      EXPECT_EQ(column.default_expression,
                rows[i].value ? u"" : rows[i].default_text.value_or(u""));
    }
  }
}

// The counters of a Jet 3 definition go back to where Jet keeps them, and
// no other byte of the page changes: rows at 12, last AutoNumber at 16, the
// index's distinct keys at 43 + 4 and its first page 34 bytes into its
// entry (after two 18-byte columns and the names "wrd" and "pos").
TEST(TableDefTest, Jet3CountersWrittenInPlace) {
  if (!std::filesystem::is_directory(kFixtures / "real")) {
    GTEST_SKIP() << "no Access 97 fixtures in " << kFixtures / "real";
  }
  const std::filesystem::path folder = TestFolder();
  const std::filesystem::path file = CopyFixture("real/mie00_160111.mdb", folder);
  {
    const std::unique_ptr<PageFile> pages = PageFile::Open(file);
    TableDef def = ReadTableDef(*pages, 27, u"Ix");
    ASSERT_EQ(def.row_count, 4516u);
    ASSERT_EQ(def.real_indexes.size(), 1u);
    const PageRef page = pages->ReadPage(27);
    std::vector<uint8_t> want(page.data(), page.data() + page.size());
    def.row_count = 0x01020304;
    def.last_auto_number = 0x05060708;
    def.real_indexes[0].row_count = 0x090A0B0C;
    def.real_indexes[0].first_page = 0x0D0E0F10;
    Put32(&want[12], def.row_count);
    Put32(&want[16], def.last_auto_number);
    Put32(&want[43], def.real_indexes[0].row_count);  // twice in a user table
    Put32(&want[43 + 4], def.real_indexes[0].row_count);
    Put32(&want[43 + 8 + 2 * 18 + 4 + 4 + 34], def.real_indexes[0].first_page);
    WriteCounters(*pages, def);
    pages->Flush();
    EXPECT_EQ(std::vector<uint8_t>(page.data(), page.data() + page.size()), want);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace addbook::jet
