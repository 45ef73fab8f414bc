// A value on long-value pages is gathered row by row until its length is
// reached; a chain that ends early, or runs on past as many parts as the
// value has bytes, is damage.
#include "db/jet/long_value.h"

#include <string>

#include "db/jet/format.h"
#include "db/jet/page_file.h"
#include "db/jet/row.h"

namespace addbook::jet {
namespace {

constexpr uint8_t kKindMask = 0xC0;

// The bytes of the long-value row |id|.
std::span<const uint8_t> PartAt(PageFile& file, RowId id, PageRef& holder) {
  holder = file.ReadPage(id.page);
  if (holder.data()[0] != kPageData) {
    throw Damaged("a memo or OLE value points to page " + std::to_string(id.page) +
                  ", which is not a data page");
  }
  const RowSlot slot = ReadRowSlot(holder.span(), id.row);
  return holder.span().subspan(slot.start, slot.end - slot.start);
}

// Calls |part| with each part of the value in order, its row and its data.
template <typename Visit>
void VisitParts(PageFile& file, const LongValueHeader& header, Visit part) {
  PageRef holder;
  if (header.kind == kLongValueSingleRow) {
    part(header.first, PartAt(file, header.first, holder));
    return;
  }
  RowId at = header.first;
  for (size_t parts = 0;; ++parts) {
    if (parts > header.length) throw Damaged("the parts of a memo or OLE value run in a loop");
    const std::span<const uint8_t> row = PartAt(file, at, holder);
    if (row.size() < 4) throw Damaged("a part of a memo or OLE value is cut short");
    if (!part(at, row.subspan(4))) return;
    at = GetRowPointer(row.data());
    if (at.page == 0) return;
  }
}

}  // namespace

LongValueHeader ReadLongValueHeader(std::span<const uint8_t> field) {
  if (field.size() < kLongValueHeaderSize) throw Damaged("a memo or OLE column is cut short");
  LongValueHeader header;
  header.length = Get32(field.data()) & kLongValueLengthMask;
  header.kind = field[3] & kKindMask;
  header.first = GetRowPointer(&field[4]);
  if (header.kind == kKindMask) throw Damaged("a memo or OLE value is of an unknown kind");
  return header;
}

std::string ReadLongValue(PageFile& file, std::span<const uint8_t> field) {
  const LongValueHeader header = ReadLongValueHeader(field);
  std::string value;
  if (header.kind == kLongValueInline) {
    if (field.size() - kLongValueHeaderSize < header.length) {
      throw Damaged("a memo or OLE value kept in its row is cut short");
    }
    const auto data = field.subspan(kLongValueHeaderSize, header.length);
    return std::string(data.begin(), data.end());
  }
  value.reserve(header.length);
  VisitParts(file, header, [&](RowId, std::span<const uint8_t> data) {
    const size_t take = std::min<size_t>(data.size(), header.length - value.size());
    value.append(data.begin(), data.begin() + take);
    return value.size() < header.length;
  });
  if (value.size() < header.length) {
    throw Damaged("a memo or OLE value ends " + std::to_string(header.length - value.size()) +
                  " bytes early");
  }
  return value;
}

std::vector<RowId> LongValueRows(PageFile& file, std::span<const uint8_t> field) {
  const LongValueHeader header = ReadLongValueHeader(field);
  std::vector<RowId> rows;
  if (header.kind == kLongValueInline) return rows;
  size_t seen = 0;
  VisitParts(file, header, [&](RowId at, std::span<const uint8_t> data) {
    rows.push_back(at);
    seen += data.size();
    return seen < header.length;
  });
  return rows;
}

}  // namespace addbook::jet
