// A table's definition: its columns, indexes, usage maps and counters, read
// from its chain of table-definition pages; and the counters written back.
//
// Table-definition page: 0x02 0x01, two bytes (Jet 4: free bytes; Jet 3:
// "VC"), next page of the chain (4, 0 for the last), then the definition.
// The definition is one byte string cut across the chain; every page after
// the first adds its bytes after its own 8-byte header.  Offsets below are in
// that string, so the definition's own fields start at 8.  A "(n)" is n bytes
// this engine does not interpret.
//
// Jet 4 definition:
//    8  4  length of the definition      16  4  rows in the table
//   20  4  last AutoNumber given          24  1  AutoNumber flag
//   40  1  table type (0x4E user, 0x53 system)
//   41  2  highest column count of any row (max_cols)
//   43  2  variable columns              45  2  columns
//   47  4  logical indexes               51  4  real indexes
//   55  4  used-pages map (row pointer)  59  4  free-space-pages map
//   63     per real index 12 bytes: (4), distinct keys in the index (4), (4)
//   then per column 25 bytes:
//      0 type, 1 (4), 5 column number, 7 variable-column index,
//      9 column index (the SELECT * order), 11 misc (4): Text and Memo:
//     sort order (2), (1), sort version (1); Decimal: precision, scale;
//     15 flags, 16 more flags,
//     17 (4), 21 fixed offset, 23 length
//   then the column names (2-byte length, UTF-16LE)
//   then per real index 52 bytes: (4), 10 x (column number 2, order 1:
//     0x01 ascending; 0xFFFF none), usage map (4), first index page (4),
//     (4), flags (1: 0x01 unique, 0x02 ignore nulls, 0x08 required), (5)
//   then per logical index 28 bytes: (4), index number (4), real index (4),
//     relationship (1+4+4+1+1), type (1: 0x01 primary key, 0x02 foreign), (4)
//   then the logical index names, then per Memo or OLE column the maps of
//   its long-value pages: column number (2), used pages (4), pages with free
//   space (4); up to a column number 0xFFFF.
//
// Jet 3 definition (the same parts, narrower):
//    8  4  length of the definition: the offset of its end, header included
//   12  4  rows in the table              16  4  last AutoNumber given
//   20  1  table type                     21  2  max_cols
//   23  2  variable columns               25  2  columns
//   27  4  logical indexes                31  4  real indexes
//   35  4  used-pages map                 39  4  free-space-pages map
//   43     per real index 8 bytes: (4), distinct keys in the index (4)
//   then per column 18 bytes:
//      0 type, 1 column number, 3 variable-column index, 5 column index
//     (1, 2, ... in user tables, 0 in system tables), 7 (2: 0 or 1, the
//     same in every column of a file), 9 sort order (every column: 1025
//     Arabic), 11 code page of text (every column: 1256), 13 flags, 14 fixed
//     offset, 16 length (Text: bytes, one a character)
//   then the column names (1-byte length, bytes in the file's code page)
//   then per real index 39 bytes: 10 x (column number 2, order 1),
//     usage map (4), first index page (4), flags (1)
//   then per logical index 20 bytes: index number (4), real index (4),
//     relationship (1: type of the other table, 4: its index or -1, 4: its
//     definition page, 2: 04 04 in every index Jet wrote here), type (1)
//   then the logical index names (1-byte length, code page), then the
//   long-value page maps as in Jet 4, ending in 0xFFFF.
#ifndef ADDBOOK_DB_JET_TABLE_DEF_H_
#define ADDBOOK_DB_JET_TABLE_DEF_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/database.h"
#include "db/variant.h"

namespace addbook::jet {

class PageFile;

enum class ColumnType : uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kReplicationId = 0x0F,
  kDecimal = 0x10,
};

// Column flags (byte 15 of the column's entry).
inline constexpr uint8_t kColumnFixed = 0x01;
inline constexpr uint8_t kColumnUpdatable = 0x02;  // set on every ordinary column
inline constexpr uint8_t kColumnAutoNumber = 0x04;
inline constexpr uint8_t kColumnReplication = 0x10;
inline constexpr uint8_t kColumnAutoGuid = 0x40;
inline constexpr uint8_t kColumnHyperlink = 0x80;
// More flags (byte 16).
inline constexpr uint8_t kColumnCompressedUnicode = 0x01;
// ACE 14 and later: a calculated column, its values stored with a header of
// their own: Table::Read refuses it.
inline constexpr uint8_t kColumnCalculated = 0xC0;

// Real index flags.
inline constexpr uint8_t kIndexUnique = 0x01;
inline constexpr uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr uint8_t kIndexRequired = 0x08;

// Logical index types.
inline constexpr uint8_t kIndexPrimaryKey = 0x01;
inline constexpr uint8_t kIndexForeignKey = 0x02;

// The table type of a user's table (byte 40 of a Jet 4 definition, 20 of a
// Jet 3 one); a system table's is 0x53.
inline constexpr uint8_t kUserTable = 0x4E;

// A place in a table definition: the page and the offset in it.
struct DefSpot {
  uint32_t page = 0;
  uint16_t offset = 0;
};

struct Column {
  std::u16string name;
  ColumnType type = ColumnType::kLong;
  uint16_t number = 0;         // its bit in the null mask (counts deleted columns)
  uint16_t var_index = 0;      // its entry in the row's variable-offset table
  uint16_t fixed_offset = 0;   // where a fixed column starts after the column count
  uint16_t length = 0;         // bytes: fixed size, or Text's maximum (2 per character)
  uint8_t flags = 0;           // kColumn... of byte 15
  uint8_t more_flags = 0;      // kColumnCompressedUnicode ...
  uint16_t sort_order = 0;     // Text and Memo: LCID of the collating order
  uint16_t sort_version = 0;   // Text and Memo
  uint8_t bytes_per_char = 2;  // Text: 1 in Jet 3, which stores text in the code page
  uint8_t precision = 0;       // Decimal
  uint8_t scale = 0;           // Decimal
  // From the table's properties in the catalogue.
  bool required = false;
  bool allow_zero_length = true;
  // The default value when it is a constant: a number, or a quoted text.
  // Null when there is none or it is an expression this engine does not
  // evaluate (default_expression then holds its text).
  std::optional<Variant> default_value;
  std::u16string default_expression;

  bool fixed() const { return flags & kColumnFixed; }
  bool auto_number() const { return flags & kColumnAutoNumber; }
  bool auto_guid() const { return flags & kColumnAutoGuid; }
  bool compressed_unicode() const { return more_flags & kColumnCompressedUnicode; }
  bool long_value() const { return type == ColumnType::kMemo || type == ColumnType::kOle; }
  bool text() const { return type == ColumnType::kText || type == ColumnType::kMemo; }
  // Characters a Text column holds.
  size_t max_chars() const { return length / bytes_per_char; }
};

struct RealIndex {
  struct KeyColumn {
    uint16_t column_number = 0;  // Column::number
    bool ascending = true;
  };
  std::vector<KeyColumn> columns;
  uint8_t flags = 0;  // kIndex...
  RowId usage_map;    // the index's pages
  uint32_t first_page = 0;
  uint32_t row_count = 0;  // distinct keys, as stored; Jet does not keep it exact
  DefSpot row_count_at;
  DefSpot first_page_at;

  bool unique() const { return flags & kIndexUnique; }
  bool ignore_nulls() const { return flags & kIndexIgnoreNulls; }
  bool required() const { return flags & kIndexRequired; }
};

struct LogicalIndex {
  std::u16string name;
  uint32_t number = 0;
  uint32_t real_index = 0;  // into TableDef::real_indexes
  uint8_t type = 0;         // kIndexPrimaryKey, kIndexForeignKey or 0
  bool primary_key() const { return type == kIndexPrimaryKey; }
};

struct TableDef {
  bool jet3 = false;  // read from a Jet 3 file
  std::u16string name;
  uint32_t page = 0;  // first page of the definition: the table's id in rows
  uint8_t table_type = 0;
  uint16_t max_columns = 0;  // columns counted in the null mask of new rows
  uint16_t variable_columns = 0;
  // In the table's column order (column index).
  std::vector<Column> columns;
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> indexes;
  RowId used_pages;        // map of the table's data pages
  RowId free_space_pages;  // map of its pages with room for rows
  uint32_t row_count = 0;
  uint32_t last_auto_number = 0;  // the AutoNumber given last; the next is one more
  DefSpot row_count_at;
  DefSpot last_auto_number_at;
  // The long-value page maps of each Memo and OLE column that has them.
  struct LongValueMaps {
    uint16_t column_number = 0;
    RowId used_pages;
    RowId free_space_pages;
  };
  std::vector<LongValueMaps> long_value_maps;

  // The column whose Column::number is |number|, or null.
  const Column* ColumnByNumber(uint16_t number) const;
  // The index in |columns| of the column named |name| (without regard to
  // case), or npos.
  size_t ColumnIndex(std::u16string_view name) const;
};

// Reads the definition that starts at page |page| for the table |name|, in
// the layout of the file's format.  Throws Damaged (format.h) when the pages
// are not a table definition or it runs past its pages.
TableDef ReadTableDef(PageFile& file, uint32_t page, std::u16string name);

// Applies the column properties of the table's LvProp value (the catalogue's
// property block: "MR2\0" then chunks whose names and texts are UTF-16, or in
// Jet 3 "KKD\0" then the same chunks in the file's code page): Required,
// AllowZeroLength and constant DefaultValue per column.  Unknown chunks are
// skipped; a damaged block leaves the columns as they are.
void ApplyProperties(TableDef& def, std::string_view lv_prop);

// Writes def.row_count, def.last_auto_number and every real index's
// row_count and first_page back to their places in the definition.
void WriteCounters(PageFile& file, const TableDef& def);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_TABLE_DEF_H_
