#include "db/jet/row.h"

#include <gtest/gtest.h>

#include "db/jet/format.h"

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

}  // namespace
}  // namespace addbook::jet
