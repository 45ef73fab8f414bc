// Rows put into, changed in and freed from a data page (long-value pages
// too); the page layout is in format.h.
//
// A packed page keeps its rows back to back from the end of the page in row
// order (row i ends where row i-1 starts, row 0 at the page's end) and its
// free-byte count equal to the gap between the row table and the lowest row:
// as Jet writes pages, and as every reader finds a row's end.  On a packed
// page a row can grow or shrink in place, the rows stored after it moving by
// the difference; their numbers, which indexes and pointers use, stay.  A
// page that is not packed takes no new rows and no longer ones.
#ifndef ADDBOOK_DB_JET_DATA_PAGE_H_
#define ADDBOOK_DB_JET_DATA_PAGE_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace addbook::jet {

// A row number is one byte in every pointer to a row.
inline constexpr size_t kMaxRowsPerPage = 255;
// Bytes a row takes in the row table.
inline constexpr size_t kRowSlotSize = 2;

// Makes |page| an empty data page of |owner| (a table definition's page, or
// kLongValueOwner).
void InitDataPage(std::span<uint8_t> page, uint32_t owner);

uint16_t RowCount(std::span<const uint8_t> page);
// The free bytes the page's header records.
uint16_t FreeBytes(std::span<const uint8_t> page);
// Whether the page is packed (see above).
bool IsPacked(std::span<const uint8_t> page);
// Whether a new row of |size| bytes fits: a packed page, a row number left,
// and room for the bytes and the row's slot.
bool FitsNewRow(std::span<const uint8_t> page, size_t size);

// Adds a row holding |bytes| with the flags |flags| (kRowDeleted ...) and
// returns its number.  The caller checked FitsNewRow.
uint16_t AddRow(std::span<uint8_t> page, std::span<const uint8_t> bytes, uint16_t flags);

// Puts |bytes| in place of the bytes of row |row|, with the flags |flags|.
// On a packed page the row takes exactly |bytes| (growing by at most
// FreeBytes); on another page |bytes| must be no longer than the row, whose
// bytes after them become zero.
void ReplaceRow(std::span<uint8_t> page, uint16_t row, std::span<const uint8_t> bytes,
                uint16_t flags);

// Frees the bytes of row |row|: it keeps its number, empty, with the flags
// |flags|, and empty rows at the end of the row table leave it.  On a page
// that is not packed only the flags change.  A freed row of a table is
// flagged kRowDeleted | kRowMoved, as Jet flags a deleted row; one of a
// long-value page is not flagged, since a reader of long values may take
// the flags of a row for part of its offset.
void FreeRow(std::span<uint8_t> page, uint16_t row, uint16_t flags);

// Whether any row of the page holds bytes and is not flagged deleted as
// Jet flags a deleted row.
bool HasLiveRows(std::span<const uint8_t> page);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_DATA_PAGE_H_
