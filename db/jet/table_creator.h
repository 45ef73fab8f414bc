// New tables in an Access 97 (Jet 3) file, made as Jet makes them: a table
// definition page, a data page holding the table's usage maps (its pages,
// its pages with room, each Memo column's long-value pages, each index's
// pages), an empty root page per index, and the table's row in the catalogue
// (MSysObjects), entered in the catalogue's own indexes by the row writer.
//
// Jet 3 table definition, one page (a longer one is refused):
//    0  1  kPageTableDef     1  1  0x01     2  2  "VC"
//    4  4  next page of the definition: 0
//    8  4  length of the definition, from the page's start, through its end
//   12  4  rows in the table          16  4  last AutoNumber given
//   20  1  table type (0x4E user)     21  2  highest column count of any row
//   23  2  variable columns           25  2  columns
//   27  4  logical indexes            31  4  real indexes
//   35  4  used-pages map (row pointer)     39  4  free-space-pages map
//   43     per real index 8 bytes: (4), rows in the index (4)
//   then per column 18 bytes:
//      0 type, 1 column number (2), 3 variable-column index (2; a fixed
//      column: the variable columns before it), 5 column number + 1 (2),
//      7 collation (6: see ColumnCollation), 13 flags, 14 fixed offset
//      (2), 16 length (2: Text in characters, Memo 0)
//   then the column names (1-byte length, the file's code page)
//   then per real index 39 bytes: 10 x (column number 2, order 1: 0x01
//     ascending; 0xFFFF none), usage map (4), root page (4), flags (1)
//   then per logical index 20 bytes: index number (4), real index (4),
//     0x00, 0xFFFFFFFF, 0 (4), 0x04, 0x04, type (1: 0x01 primary key)
//   then the logical index names (1-byte length), then per Memo or OLE
//   column: column number (2), used pages (4), pages with room (4); then
//   0xFFFF.
// Logical indexes are listed in name order, each over the real index of the
// same number (its place in the table's list of indexes).  A primary key's
// real index is flagged unique and required (0x09), a unique index 0x01,
// another 0x00.  Usage maps are rows of 133 bytes (type 0, first page 0, a
// bitmap of 128 bytes) on a data page whose owner is 0.
#ifndef ADDBOOK_DB_JET_TABLE_CREATOR_H_
#define ADDBOOK_DB_JET_TABLE_CREATOR_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "db/jet/database.h"
#include "db/jet/format.h"
#include "db/jet/table_def.h"

namespace addbook::jet {

class PageFile;

// Jet's number for a table created under a name that the file has.
inline constexpr int32_t kTableExists = 3010;

struct ColumnDesign {
  std::u16string name;
  ColumnType type = ColumnType::kLong;
  uint16_t text_length = 0;  // Text: the characters it holds (1 to 255)
  bool auto_number = false;  // Long only
};

struct IndexDesign {
  std::u16string name;
  std::vector<std::u16string> columns = {};  // ascending keys, 1 to 10 columns
  bool primary_key = false;                  // unique, no Null in a key column
  bool unique = false;
};

struct TableDesign {
  std::u16string name;
  std::vector<ColumnDesign> columns = {};
  std::vector<IndexDesign> indexes = {};
};

// Bytes 7 to 12 of every column's entry, the same in every column of a
// file: a value of the file (0 or 1 in the files Jet wrote), the sort order
// and the code page of text.
struct ColumnCollation {
  uint16_t variant = 0;
  uint16_t sort_order = kSortArabic;
  uint16_t code_page = 1256;
};

// The collation of the catalogue's first column (definition page 2), which
// new columns share.  Throws Damaged (format.h) when page 2 is not a Jet 3
// table definition.
ColumnCollation CatalogueCollation(PageFile& file);

// Where the pages of a new table are.
struct TableLayout {
  uint32_t definition_page = 0;
  RowId used_pages;
  RowId free_space_pages;
  // Per Memo or OLE column, in column order: its used and free-space maps.
  std::vector<std::pair<RowId, RowId>> long_value_maps = {};
  // Per index of the design: its usage map and its root page.
  std::vector<RowId> index_maps = {};
  std::vector<uint32_t> index_roots = {};
};

// The Jet 3 definition page (|page_size| bytes) of the table |design| laid
// out as |layout| says, its columns of |collation|.  Throws Error (errors::kInvalidArgument) naming
// what is wrong for a design this format cannot hold: no columns or more than 255, a name empty,
// longer than 64 characters or not in the code page, a column named twice, a Text length out of
// range, an AutoNumber that is not Long, an index over no column, more than 10 or a column not in
// the table, more than one primary key, or a definition longer than a page.
std::vector<uint8_t> EncodeTableDef(size_t page_size, const ColumnCollation& collation,
                                    const TableDesign& design, const TableLayout& layout);

// Creates the table |design| in the Jet 3 file |file| and returns its
// definition page; |now| (days since 30 December 1899) is its creation time
// in the catalogue.  The pages change through |file|; Flush makes them
// durable.  Throws Error as EncodeTableDef does, kTableExists ("Table 'X'
// already exists.") when the catalogue holds a table of that name (without
// regard to case), and errors::kNotADatabase for a file that is not Jet 3,
// before any page changes; an error of the catalogue's row writer leaves the
// pages written so far, and the file is then to be thrown away.
uint32_t CreateTable(PageFile& file, const TableDesign& design, double now);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_TABLE_CREATOR_H_
