// Rows in data pages: where a row's bytes are, and what its columns hold.
//
// Jet 4 row, front to back:
//   2  number of columns the row was written with (its null-mask bits)
//      the fixed columns, each at 2 + its fixed offset
//      the variable columns' bytes, one after the other
//   2  eod: where the variable columns' bytes end, from the row's start
//   2 per variable column, last first: offset[n-1] ... offset[0], where
//      each variable column's bytes start (it ends where the next starts)
//   2  number n of variable columns the row was written with
//      null mask, (columns + 7) / 8 bytes: bit = column number, 1 not Null;
//      for a Yes/No column the bit is the value
// A table without variable columns has neither offsets nor n.
//
// Jet 3 row: the same parts, with one-byte numbers:
//   1  number of columns; the fixed columns at 1 + their fixed offset
//      the variable columns' bytes
//   1  eod, low byte
//   1 per variable column, last first: offset[n-1] ... offset[0], low bytes
//   J  jump table, last first: jump[J-1] ... jump[0]
//   1  n
//      null mask, as in Jet 4
// An offset's high byte is the number of jump entries at most its index in
// offset[0 .. n-1], eod (eod counting as index n): jump[k] is the first index
// whose offset is 256 * (k + 1) or more.  J is (row size - 1) / 256, taken
// from the whole row's size, so an entry past eod's segment is a dummy 0xFF.
#ifndef ADDBOOK_DB_JET_ROW_H_
#define ADDBOOK_DB_JET_ROW_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "db/jet/database.h"
#include "db/jet/format.h"
#include "db/jet/page_file.h"
#include "db/jet/table_def.h"
#include "db/variant.h"

namespace addbook::jet {

// A row's entry in its page's row table.
struct RowSlot {
  uint16_t start = 0;  // first byte of the row in the page
  uint16_t end = 0;    // one past its last byte
  bool deleted = false;
  bool moved = false;  // the row holds a pointer to where it is now
};

// The slot of row |row| of the data page |page|.  Throws Damaged (format.h)
// when the page has no such row or its bounds do not fit.
RowSlot ReadRowSlot(std::span<const uint8_t> page, uint16_t row);

// A live row's bytes, with the page that holds them kept alive.
struct RowBytes {
  PageRef page;
  RowId at;  // where the bytes are: |id|, or where a moved row went
  std::span<const uint8_t> bytes;
};

// The bytes of row |id|, following the pointer of a row that an update moved
// elsewhere; nothing when the row is deleted.  Throws as ReadRowSlot.
std::optional<RowBytes> LocateRow(PageFile& file, RowId id);

// Whether row |row| of a data page counts as a row of the table in a scan:
// neither deleted nor the new place of a moved row (flagged deleted, which
// the pointer left at the row's old place reaches).
inline bool ScanSees(const RowSlot& slot) { return !slot.deleted; }

class RowView;
class UsageMap;

// Calls |visit| for every row of the table |def| in its physical order: the
// pages of |used_pages| ascending (pages of another kind or owner passed by),
// each page's rows in row-table order; deleted rows left out, a moved row
// read at its new place and reported by its first.
void ScanRows(PageFile& file, const TableDef& def, const UsageMap& used_pages,
              const std::function<void(RowId, const RowView&)>& visit);

// One row's columns.  The view only points into |bytes|.
class RowView {
 public:
  // Checks the row's layout (that of |format|'s version) against |def|;
  // throws Damaged (format.h) when the counts or offsets do not fit in the
  // row.
  RowView(const TableDef& def, std::span<const uint8_t> bytes, const FileHeader& format);

  // True when the column holds Null (a column added after the row was
  // written counts as Null).  A Yes/No column is never Null.
  bool IsNull(const Column& column) const;
  // A Yes/No column's value.
  bool BoolValue(const Column& column) const;
  // The bytes stored for a non-Null column other than Yes/No: a fixed
  // column's length, a variable column's stored bytes (a long value's 12-byte
  // header and inline data included).
  std::span<const uint8_t> Bytes(const Column& column) const;

  // The value as database.h describes, long values read through |file|,
  // text decoded as its header says.
  // Throws errors::kTypeMismatch for a calculated column.
  Variant Value(PageFile& file, const Column& column) const;
  // Whole-number columns only (Byte, Integer, Long, Yes/No): the value, or
  // nothing for Null.
  std::optional<int64_t> WholeNumber(const Column& column) const;
  // The row's bytes.
  std::span<const uint8_t> bytes() const { return bytes_; }

 private:
  // Entry |i| of the variable-offset table (offset[i], eod for i = n).
  size_t Offset(size_t i) const;

  std::span<const uint8_t> bytes_;
  bool jet3_ = false;
  uint16_t columns_in_row_ = 0;
  uint16_t variables_in_row_ = 0;
  size_t null_mask_at_ = 0;
  size_t offsets_at_ = 0;  // offset[0]; offset[i] is i entries before it
  size_t jumps_at_ = 0;    // Jet 3: jump[0]; jump[k] is k bytes before it
  size_t jumps_ = 0;       // Jet 3: jump entries that are not dummies
};

// A fixed column's value (Byte .. Date/Time, Replication ID, Decimal) from
// its stored bytes, as database.h describes.
Variant DecodeFixed(ColumnType type, std::span<const uint8_t> bytes, uint8_t scale);

// True for the columns Table::Find can take: Byte, Integer, Long, Yes/No.
bool IsWholeNumber(ColumnType type);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_ROW_H_
