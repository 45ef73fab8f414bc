#include "db/jet/data_page.h"

#include <algorithm>
#include <cstring>

#include "db/jet/format.h"

namespace addbook::jet {
namespace {

// Where the slot of row |row| is.
size_t SlotAt(std::span<const uint8_t> page, uint16_t row) {
  return DataRowTableAt(page.size()) + kRowSlotSize * row;
}

uint16_t SlotValue(std::span<const uint8_t> page, uint16_t row) {
  return Get16(page.data() + SlotAt(page, row));
}
uint16_t StartOf(std::span<const uint8_t> page, uint16_t row) {
  return SlotValue(page, row) & kRowOffsetMask;
}
// One past the last byte of row |row|: where the row before it starts.
size_t EndOf(std::span<const uint8_t> page, uint16_t row) {
  return row == 0 ? page.size() : StartOf(page, row - 1);
}
// The lowest byte any row uses: the end of the free gap.
size_t LowestRow(std::span<const uint8_t> page) {
  const uint16_t rows = RowCount(page);
  return rows == 0 ? page.size() : StartOf(page, rows - 1);
}

void SetRowCount(std::span<uint8_t> page, uint16_t rows) {
  Put16(page.data() + DataRowCountAt(page.size()), rows);
}
void SetFreeBytes(std::span<uint8_t> page, size_t free) {
  Put16(page.data() + kDataFreeSpace, static_cast<uint16_t>(free));
}
void SetSlot(std::span<uint8_t> page, uint16_t row, size_t start, uint16_t flags) {
  Put16(page.data() + SlotAt(page, row), static_cast<uint16_t>(start | flags));
}

constexpr uint16_t kRowFreed = kRowDeleted | kRowMoved;

}  // namespace

void InitDataPage(std::span<uint8_t> page, uint32_t owner) {
  std::fill(page.begin(), page.end(), uint8_t{0});
  page[0] = kPageData;
  page[1] = 0x01;
  Put32(page.data() + kDataOwner, owner);
  SetFreeBytes(page, page.size() - DataRowTableAt(page.size()));
}

uint16_t RowCount(std::span<const uint8_t> page) {
  return Get16(page.data() + DataRowCountAt(page.size()));
}

uint16_t FreeBytes(std::span<const uint8_t> page) { return Get16(page.data() + kDataFreeSpace); }

bool IsPacked(std::span<const uint8_t> page) {
  const uint16_t rows = RowCount(page);
  if (SlotAt(page, rows) > page.size()) return false;
  for (uint16_t row = 0; row < rows; ++row) {
    if (StartOf(page, row) > EndOf(page, row)) return false;
  }
  const size_t lowest = LowestRow(page);
  return lowest >= SlotAt(page, rows) && FreeBytes(page) == lowest - SlotAt(page, rows);
}

bool FitsNewRow(std::span<const uint8_t> page, size_t size) {
  return RowCount(page) < kMaxRowsPerPage && FreeBytes(page) >= size + kRowSlotSize &&
         IsPacked(page);
}

uint16_t AddRow(std::span<uint8_t> page, std::span<const uint8_t> bytes, uint16_t flags) {
  const uint16_t row = RowCount(page);
  const size_t start = LowestRow(page) - bytes.size();
  std::copy(bytes.begin(), bytes.end(), page.begin() + start);
  SetSlot(page, row, start, flags);
  SetRowCount(page, row + 1);
  SetFreeBytes(page, FreeBytes(page) - bytes.size() - kRowSlotSize);
  return row;
}

void ReplaceRow(std::span<uint8_t> page, uint16_t row, std::span<const uint8_t> bytes,
                uint16_t flags) {
  const size_t start = StartOf(page, row);
  const size_t end = EndOf(page, row);
  if (!IsPacked(page)) {
    // Only in place: the bytes, then zeros to the row's old end.
    std::copy(bytes.begin(), bytes.end(), page.begin() + start);
    std::fill(page.begin() + start + bytes.size(), page.begin() + end, uint8_t{0});
    SetSlot(page, row, start, flags);
    return;
  }
  // The rows stored after |row| (below it in the page) move by |shift|
  // bytes towards the front when the row grows, towards the end when it
  // shrinks; the bytes a shrink leaves free become zero.
  const size_t lowest = LowestRow(page);
  const ptrdiff_t shift =
      static_cast<ptrdiff_t>(bytes.size()) - static_cast<ptrdiff_t>(end - start);
  std::memmove(page.data() + lowest - shift, page.data() + lowest, start - lowest);
  if (shift < 0) std::fill(page.begin() + lowest, page.begin() + lowest - shift, uint8_t{0});
  const uint16_t rows = RowCount(page);
  for (uint16_t later = row + 1; later < rows; ++later) {
    const uint16_t value = SlotValue(page, later);
    SetSlot(page, later, (value & kRowOffsetMask) - shift, value & ~kRowOffsetMask);
  }
  const size_t new_start = end - bytes.size();
  std::copy(bytes.begin(), bytes.end(), page.begin() + new_start);
  SetSlot(page, row, new_start, flags);
  SetFreeBytes(page, FreeBytes(page) - shift);
}

void FreeRow(std::span<uint8_t> page, uint16_t row, uint16_t flags) {
  if (!IsPacked(page)) {
    SetSlot(page, row, StartOf(page, row), flags);
    return;
  }
  ReplaceRow(page, row, {}, flags);
  // No row is empty but a freed one: every row holds some bytes.
  uint16_t rows = RowCount(page);
  while (rows > 0 && StartOf(page, rows - 1) == EndOf(page, rows - 1)) {
    --rows;
    Put16(page.data() + SlotAt(page, rows), 0);
    SetRowCount(page, rows);
    SetFreeBytes(page, FreeBytes(page) + kRowSlotSize);
  }
}

bool HasLiveRows(std::span<const uint8_t> page) {
  const uint16_t rows = RowCount(page);
  for (uint16_t row = 0; row < rows; ++row) {
    if ((SlotValue(page, row) & kRowFreed) != kRowFreed && StartOf(page, row) < EndOf(page, row)) {
      return true;
    }
  }
  return false;
}

}  // namespace addbook::jet
