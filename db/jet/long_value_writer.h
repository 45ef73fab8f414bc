// Memo and OLE values written as Jet stores them (the layout is in
// long_value.h), and the rows of a replaced value freed.
//
// By the value's stored length (a Memo's text after compression), Jet 4:
//   at most 64 bytes, and room left in the row:   inline, in the row;
//   at most page size - 20 (4076) bytes:          one row of a long-value page;
//   longer:                                       a chain of rows, each the
//     pointer to the next (0 on the last) and up to 4072 bytes of the value,
//     all but the last alone on their page.
// Jet 3 (2048-byte pages), as Jet 3 wrote the files it left:
//   at most 32 bytes, and room left in the row:   inline;
//   at most 1761 bytes:                           one row;
//   longer:                                       a chain, even of one row,
//     of parts of up to 2032 bytes that fill their page, first part first,
//     each on a page after the one before.
// Long-value pages are the column's own: its used-pages and free-space maps
// list them, and a freed row's bytes go back to its page at once.  Jet 4
// puts a new row on the fullest page with room; Jet 3 on the column's last
// page when it has room, else on a new page (PagePool::Pick::kLast).
#ifndef ADDBOOK_DB_JET_LONG_VALUE_WRITER_H_
#define ADDBOOK_DB_JET_LONG_VALUE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "db/jet/long_value.h"
#include "db/jet/page_pool.h"

namespace addbook::jet {

// The longest value kept in the row, on pages of |page_size| bytes.
size_t MaxInlineLongValue(size_t page_size);

// The form (kLongValueInline, kLongValueSingleRow or kLongValueChained) of a
// value of |size| bytes when |row_room| bytes are left in its row for it,
// its 12-byte header included, on pages of |page_size| bytes.
uint8_t LongValueKind(size_t size, size_t row_room, size_t page_size);

// The bytes the row holds for a value of that form: the header and, inline,
// the value.
size_t LongValueFieldSize(uint8_t kind, size_t size);

// One Memo or OLE column's long-value pages.
class LongValueStore {
 public:
  // |pool| holds the column's long-value pages (owner kLongValueOwner) and
  // must outlive the store.
  LongValueStore(PageFile& file, PagePool& pool) : file_(file), pool_(pool) {}

  // Writes |value| in the form |kind| (LongValueKind) and returns the bytes
  // the row holds for it.
  std::string Write(std::string_view value, uint8_t kind);

  // Frees the long-value rows of the value whose row bytes are |field|; a
  // page left without rows is emptied for new values.  Rows that are not on
  // a long-value page are left alone.
  void Free(std::span<const uint8_t> field);

 private:
  // Puts |bytes| in a new row of a page with room and returns where.
  RowId Place(std::span<const uint8_t> bytes);
  // Writes |value| as a chain of parts of |part| bytes, first part first,
  // and returns where the first is.
  RowId WriteChainInOrder(std::string_view value, size_t part);

  PageFile& file_;
  PagePool& pool_;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_LONG_VALUE_WRITER_H_
