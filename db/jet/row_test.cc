#include "db/jet/row.h"

#include <gtest/gtest.h>

#include "db/jet/format.h"

namespace addbook::jet {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> bytes) {
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Each fixed column type's bytes as database.h gives them.
TEST(RowTest, FixedValuesDecoded) {
  struct Row {
    ColumnType type;
    std::vector<uint8_t> bytes;
    uint8_t scale;
    Variant value;
  };
  const std::vector<Row> rows = {
      {ColumnType::kByte, Bytes({0xFF}), 0, Variant(int64_t{255})},
      {ColumnType::kInteger, Bytes({0xFE, 0xFF}), 0, Variant(int64_t{-2})},
      {ColumnType::kLong, Bytes({0x00, 0x00, 0x00, 0x80}), 0, Variant(int64_t{INT32_MIN})},
      // 12345678 ten-thousandths.
      {ColumnType::kCurrency, Bytes({0x4E, 0x61, 0xBC, 0, 0, 0, 0, 0}), 0, Variant(1234.5678)},
      {ColumnType::kSingle, Bytes({0, 0, 0xC0, 0x3F}), 0, Variant(1.5)},
      {ColumnType::kDouble, Bytes({0, 0, 0, 0, 0, 0, 0x04, 0xC0}), 0, Variant(-2.5)},
      {ColumnType::kDateTime, Bytes({0, 0, 0, 0, 0, 0x20, 0x4B, 0x40}), 0, Variant(54.0 + 0.25)},
      {ColumnType::kReplicationId,
       Bytes({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
              0x0E, 0x0F}),
       0, Variant(std::u16string(u"{03020100-0504-0706-0809-0A0B0C0D0E0F}"))},
      // Sign, then four little-endian words, the most significant first.
      {ColumnType::kDecimal, Bytes({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0}), 2,
       Variant(std::u16string(u"-123.45"))},
      {ColumnType::kDecimal, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}), 3,
       Variant(std::u16string(u"21474836.480"))},
      {ColumnType::kDecimal, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}), 3,
       Variant(std::u16string(u"0.005"))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.type));
    EXPECT_EQ(DecodeFixed(row.type, row.bytes, row.scale), row.value);
  }
  EXPECT_THROW(DecodeFixed(ColumnType::kDouble, Bytes({0, 0, 0, 0}), 0), Error);
}

// Text as stored: UTF-16LE, or compressed, switching at each 00 byte.
TEST(RowTest, TextDecoded) {
  const std::vector<std::pair<std::vector<uint8_t>, std::u16string>> rows = {
      {Bytes({0x41, 0x00, 0x28, 0x06}), u"A\u0628"},
      {Bytes({0xFF, 0xFE, 0x41, 0x42, 0x00, 0x28, 0x06, 0x29, 0x06, 0x00, 0x43}),
       u"AB\u0628\u0629C"},
      {Bytes({0xFF, 0xFE}), u""},
  };
  for (const auto& [bytes, text] : rows) EXPECT_EQ(DecodeText(bytes), text);
}

}  // namespace
}  // namespace addbook::jet
