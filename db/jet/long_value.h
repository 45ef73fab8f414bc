// Memo and OLE values ("long values"): the 12 bytes a row holds for them,
// and the value itself, kept in the row or on long-value pages.
//
// In the row:
//   0  3  length of the value in bytes
//   3  1  where it is: 0x80 right after these 12 bytes (inline), 0x40 alone
//         in one row of a long-value page, 0x00 in a chain of such rows
//   4  4  row pointer of that row (0x40, 0x00)
//   8  4  0
// A chained row starts with the row pointer of the next part (0 on the last),
// then holds its part of the value.  Long-value pages are data pages whose
// owner is "LVAL".
#ifndef ADDBOOK_DB_JET_LONG_VALUE_H_
#define ADDBOOK_DB_JET_LONG_VALUE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "db/jet/database.h"

namespace addbook::jet {

class PageFile;

inline constexpr size_t kLongValueHeaderSize = 12;
inline constexpr uint8_t kLongValueInline = 0x80;
inline constexpr uint8_t kLongValueSingleRow = 0x40;
inline constexpr uint8_t kLongValueChained = 0x00;
inline constexpr uint32_t kLongValueLengthMask = 0x3FFFFFFF;

struct LongValueHeader {
  uint32_t length = 0;
  uint8_t kind = kLongValueInline;  // kLongValue...
  RowId first;                      // kLongValueSingleRow, kLongValueChained
};

// Decodes the 12 bytes at the start of |field|.  Throws Damaged (format.h)
// when |field| is shorter or its kind is unknown.
LongValueHeader ReadLongValueHeader(std::span<const uint8_t> field);

// The value's bytes (for Memo, its stored text bytes: see DecodeText).
// Throws Damaged (format.h) when the pages do not hold the value's length,
// or a chain loops.
std::string ReadLongValue(PageFile& file, std::span<const uint8_t> field);

// Every row that holds a part of the value, first to last (none for an
// inline value): what must be freed when the value is replaced.
std::vector<RowId> LongValueRows(PageFile& file, std::span<const uint8_t> field);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_LONG_VALUE_H_
