#include "db/jet/row.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#ifndef _WIN32
#include "db/access_readers.h"
#endif
#include "db/jet/catalogue.h"
#include "db/jet/format.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/page_file.h"
#include "db/jet/row_encode.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

// The bytes of |hex|.
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

// Each fixed column type's bytes as database.h gives them.
TEST(RowTest, FixedValuesDecoded) {
  struct Row {
    ColumnType type;
    const char* hex;
    uint8_t scale;
    Variant value;
  };
  const std::vector<Row> rows = {
      {ColumnType::kByte, "ff", 0, Variant(int64_t{255})},
      {ColumnType::kInteger, "feff", 0, Variant(int64_t{-2})},
      {ColumnType::kLong, "00000080", 0, Variant(int64_t{INT32_MIN})},
      // 12345678 ten-thousandths.
      {ColumnType::kCurrency, "4e61bc0000000000", 0, Variant(1234.5678)},
      {ColumnType::kSingle, "0000c03f", 0, Variant(1.5)},
      {ColumnType::kDouble, "00000000000004c0", 0, Variant(-2.5)},
      {ColumnType::kDateTime, "0000000000204b40", 0, Variant(54.0 + 0.25)},
      {ColumnType::kReplicationId, "000102030405060708090a0b0c0d0e0f", 0,
       Variant(std::u16string(u"{03020100-0504-0706-0809-0A0B0C0D0E0F}"))},
      // Sign, then four little-endian words, the most significant first.
      {ColumnType::kDecimal, "8000000000000000000000000039300000", 2,
       Variant(std::u16string(u"-123.45"))},
      {ColumnType::kDecimal, "0000000000000000000500000000000000", 3,
       Variant(std::u16string(u"21474836.480"))},
      {ColumnType::kDecimal, "0000000000000000000000000005000000", 3,
       Variant(std::u16string(u"0.005"))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.type));
    EXPECT_EQ(DecodeFixed(row.type, Bytes(row.hex), row.scale), row.value);
  }
  EXPECT_THROW(DecodeFixed(ColumnType::kDouble, Bytes("00000000"), 0), Error);
}

// Jet 3 rows: a Long, then two variable columns of the lengths given, laid
// out with one-byte offsets, eod an extra offset and a jump table from the
// row's size (a dummy 0xFF where eod's segment has none); each read back.
TEST(RowTest, Jet3RowsWithJumpTables) {
  FileHeader jet3;
  jet3.version = kVersionJet3;
  jet3.page_size = kPageSizeJet3;
  TableDef def;
  def.max_columns = 3;
  def.variable_columns = 2;
  def.columns.resize(3);
  def.columns[0].length = 4;
  def.columns[0].flags = kColumnFixed;
  for (uint16_t i = 1; i < 3; ++i) {
    def.columns[i].type = ColumnType::kText;
    def.columns[i].number = i;
    def.columns[i].var_index = i - 1;
  }
  const struct {
    size_t a, b, min_size, size;
    const char* tail;  // eod, offset[1], offset[0], jumps, n, null mask
  } rows[] = {
      {10, 5, 0, 25,
       "14"
       "0f05"
       ""
       "0207"},
      // eod at 255, the row 261 bytes: one jump entry, a dummy.
      {245, 5, 0, 261,
       "fffa05"
       "ff"
       "0207"},
      // b starts at 256: the first of the second segment.
      {251, 5, 0, 267,
       "050005"
       "01"
       "0207"},
      {300, 300, 0, 612,
       "5d3105"
       "0201"
       "0207"},
      // b starts in the third segment: both entries name it.
      {600, 3, 0, 615,
       "605d05"
       "0101"
       "0207"},
      // Zeros after the data to make the row 520 bytes: two jumps from the
      // size, the second a dummy.
      {300, 1, 520, 520,
       "3231"
       "05"
       "ff01"
       "0207"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.a << " " << r.b << " " << r.min_size);
    const std::vector<Field> fields = {
        {true, "\x01\x02\x03\x04"}, {true, std::string(r.a, 'a')}, {true, std::string(r.b, 'b')}};
    const std::string row = EncodeRow(def, jet3, fields, r.min_size);
    ASSERT_EQ(row.size(), r.size);
    EXPECT_EQ(Hex(row.substr(0, 5)), "0301020304");
    const std::string tail = r.tail;
    EXPECT_EQ(Hex(row.substr(row.size() - tail.size() / 2)), tail);
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(row.data()), row.size());
    const RowView view(def, bytes, jet3);
    for (size_t i = 0; i < 3; ++i) {
      const auto got = view.Bytes(def.columns[i]);
      EXPECT_EQ(std::string(got.begin(), got.end()), fields[i].bytes) << i;
    }
  }
}

#ifndef _WIN32  // the readers run on Linux only (access_readers.h)
// Every row of every table of the Access 97 files that Jet wrote reads as
// mdbtools reads it (Long and Byte numbers, Text and Memo in Windows-1256,
// memos inline, on one long-value row and chained), and its fields encode
// back to Jet's bytes.
TEST(RowTest, RealJet3FilesReadAsMdbtoolsAndEncodeAsJet) {
  if (const auto missing = AccessReadersMissing()) GTEST_SKIP() << *missing;
  const std::filesystem::path folder = TestFolder();
  size_t files = 0, rows = 0, differing = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kFixtures / "real")) {
    if (entry.path().extension() != ".mdb" && entry.path().extension() != ".bok") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    const std::filesystem::path copy = CopyFixture(entry.path(), folder);
    std::vector<TableShape> shapes;
    std::vector<std::vector<Row>> ours;
    {
      const std::unique_ptr<PageFile> file = PageFile::Open(copy);
      for (const CatalogueTable& table : ReadCatalogue(*file)) {
        const TableDef def = ReadTableDef(*file, table.definition_page, table.name);
        TableShape& shape = shapes.emplace_back(TableShape{Utf16ToUtf8(def.name), {}});
        for (const Column& column : def.columns) shape.columns.push_back(Utf16ToUtf8(column.name));
        auto& got = ours.emplace_back();
        ScanRows(*file, def, UsageMap::Read(*file, def.used_pages), [&](RowId, const RowView& row) {
          // Jet's bytes are what the encoder makes of the row's fields.  A
          // Null fixed column keeps whatever bytes it held (0x80000000 in
          // one book, zeros elsewhere): those count as zeros.
          std::string jet(row.bytes().begin(), row.bytes().end());
          std::vector<Field> fields;
          for (const Column& column : def.columns) {
            const bool bit = column.type == ColumnType::kBoolean;
            const bool present = bit ? row.BoolValue(column) : !row.IsNull(column);
            if (present && !bit) {
              const auto stored = row.Bytes(column);
              fields.push_back({true, std::string(stored.begin(), stored.end())});
            } else {
              fields.push_back({present, {}});
              if (column.fixed() && !bit)
                jet.replace(1 + column.fixed_offset, column.length, column.length, '\0');
            }
          }
          if (EncodeRow(def, file->header(), fields) != jet) ++differing;
          Row& values = got.emplace_back();
          for (const Column& column : def.columns) {
            const Variant value = row.Value(*file, column);
            if (value.type() == Variant::Type::kInteger) {
              values.push_back(std::to_string(value.integer()));
            } else if (value.type() == Variant::Type::kText && !value.text().empty()) {
              values.push_back(Utf16ToUtf8(value.text()));
            } else {
              values.emplace_back();
            }
          }
        });
        rows += got.size();
      }
    }
    const ReadBack mdbtools = ReadAccess(AccessReader::kMdbtools, copy, shapes);
    EXPECT_EQ(mdbtools.complaints, "");
    EXPECT_TRUE(SameRows(shapes, ours, mdbtools.tables));
  }
  EXPECT_EQ(files, 6u);
  EXPECT_EQ(differing, 0u);
  EXPECT_GT(rows, 12000u);
}
#endif  // _WIN32

}  // namespace
}  // namespace addbook::jet
