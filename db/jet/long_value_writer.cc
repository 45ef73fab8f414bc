#include "db/jet/long_value_writer.h"

#include <algorithm>
#include <vector>

#include "db/jet/data_page.h"
#include "db/jet/format.h"
#include "db/jet/row.h"

namespace addbook::jet {
namespace {

// Bytes of a page that are not a row's: the page header, the row's slot, and
// the pointer a chained row starts with.
constexpr size_t kChainPointerSize = 4;

size_t MaxRow(size_t page_size) {
  return page_size - DataRowTableAt(page_size) - kRowSlotSize - kChainPointerSize;
}

// Jet 3: the longest value in one row, and the value bytes of a chained part
// (the part, its pointer, its slot and the page header fill the page).
constexpr size_t kMaxSingleRowJet3 = 1761;
constexpr size_t kChainPartJet3 = kPageSizeJet3 - 10 - kRowSlotSize - kChainPointerSize;

bool Jet3Pages(size_t page_size) { return page_size == kPageSizeJet3; }

size_t ChainPart(size_t page_size) {
  return Jet3Pages(page_size) ? kChainPartJet3 : MaxRow(page_size) - kChainPointerSize;
}

void PutHeader(std::string& field, uint32_t length, uint8_t kind, RowId first) {
  uint8_t header[kLongValueHeaderSize] = {};
  Put32(header, length | static_cast<uint32_t>(kind) << 24);
  if (kind != kLongValueInline) PutRowPointer(header + 4, first);
  field.assign(reinterpret_cast<const char*>(header), sizeof header);
}

}  // namespace

size_t MaxInlineLongValue(size_t page_size) { return Jet3Pages(page_size) ? 32 : 64; }

uint8_t LongValueKind(size_t size, size_t row_room, size_t page_size) {
  if (size <= MaxInlineLongValue(page_size) && kLongValueHeaderSize + size <= row_room) {
    return kLongValueInline;
  }
  const size_t single = Jet3Pages(page_size) ? kMaxSingleRowJet3 : MaxRow(page_size);
  return size <= single ? kLongValueSingleRow : kLongValueChained;
}

size_t LongValueFieldSize(uint8_t kind, size_t size) {
  return kLongValueHeaderSize + (kind == kLongValueInline ? size : 0);
}

RowId LongValueStore::Place(std::span<const uint8_t> bytes) {
  WritablePage page = pool_.PageFor(bytes.size());
  const uint16_t row = AddRow(page.span(), bytes, 0);
  pool_.Changed(page);
  return RowId{page.number(), row};
}

std::string LongValueStore::Write(std::string_view value, uint8_t kind) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
  const auto length = static_cast<uint32_t>(value.size());
  std::string field;
  switch (kind) {
    case kLongValueInline:
      PutHeader(field, length, kind, {});
      field.append(value);
      break;
    case kLongValueSingleRow:
      PutHeader(field, length, kind, Place({bytes, value.size()}));
      break;
    default: {
      const size_t part = ChainPart(file_.page_size());
      if (Jet3Pages(file_.page_size())) {
        PutHeader(field, length, kLongValueChained, WriteChainInOrder(value, part));
        break;
      }
      // The parts are placed last first, so that each knows where the next
      // one is.
      RowId next;
      std::vector<uint8_t> row;
      for (size_t parts = (value.size() + part - 1) / part; parts > 0; --parts) {
        const size_t from = (parts - 1) * part;
        const size_t size = std::min(part, value.size() - from);
        row.assign(kChainPointerSize, 0);
        if (next.page != 0) PutRowPointer(row.data(), next);
        row.insert(row.end(), bytes + from, bytes + from + size);
        next = Place(row);
      }
      PutHeader(field, length, kLongValueChained, next);
      break;
    }
  }
  return field;
}

RowId LongValueStore::WriteChainInOrder(std::string_view value, size_t part) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
  RowId first, previous;
  std::vector<uint8_t> row;
  for (size_t from = 0; from < value.size(); from += part) {
    const size_t size = std::min(part, value.size() - from);
    row.assign(kChainPointerSize, 0);
    row.insert(row.end(), bytes + from, bytes + from + size);
    const RowId at = Place(row);
    if (from == 0) {
      first = at;
    } else {
      // The part before points to this one.
      WritablePage page = file_.WritePage(previous.page);
      PutRowPointer(page.data() + ReadRowSlot(page.span(), previous.row).start, at);
    }
    previous = at;
  }
  return first;
}

void LongValueStore::Free(std::span<const uint8_t> field) {
  for (const RowId& id : LongValueRows(file_, field)) {
    {
      const PageRef seen = file_.ReadPage(id.page);
      if (seen.data()[0] != kPageData || Get32(seen.data() + kDataOwner) != kLongValueOwner ||
          id.row >= RowCount(seen.span())) {
        continue;
      }
    }
    WritablePage page = file_.WritePage(id.page);
    FreeRow(page.span(), id.row, 0);
    if (!HasLiveRows(page.span()) && IsPacked(page.span())) {
      InitDataPage(page.span(), kLongValueOwner);
    }
    pool_.Changed(page);
  }
}

}  // namespace addbook::jet
