// Every offset read from a row is checked against the row's bounds before
// use, so a damaged page yields an Error, never a read outside the page.
#include "db/jet/row.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/long_value.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

// How many times a moved row's pointer is followed before the chain counts
// as damaged.
constexpr int kMaxMoves = 4;

std::string Where(RowId id) {
  return "row " + std::to_string(id.row) + " of page " + std::to_string(id.page);
}

// |bytes| (16 of them) as a GUID in its usual text form, the first three
// groups stored little-endian.
std::u16string GuidText(std::span<const uint8_t> b) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::u16string text = u"{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += u'-';
    text += kDigits[b[kOrder[i]] >> 4];
    text += kDigits[b[kOrder[i]] & 0xF];
  }
  return text + u"}";
}

// A Decimal: a sign byte (0x80 negative), then a 128-bit whole number as
// four 32-bit little-endian words, the most significant first; the value is
// that number over 10^scale.  Written in plain decimal with |scale| digits
// after the point.
std::u16string DecimalText(std::span<const uint8_t> b, uint8_t scale) {
  uint32_t words[4];
  for (int i = 0; i < 4; ++i) words[i] = Get32(&b[1 + 4 * i]);
  std::u16string digits;
  bool zero = false;
  while (!zero) {
    uint64_t rest = 0;
    zero = true;
    for (uint32_t& word : words) {
      const uint64_t part = rest << 32 | word;
      word = static_cast<uint32_t>(part / 10);
      rest = part % 10;
      if (word) zero = false;
    }
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + rest));
  }
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), u'0');
  if (scale) digits.insert(digits.size() - scale, 1, u'.');
  const bool negative = (b[0] & 0x80) && digits.find_first_not_of(u"0.") != std::u16string::npos;
  return negative ? u"-" + digits : digits;
}

template <typename T>
T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

RowSlot ReadRowSlot(std::span<const uint8_t> page, uint16_t row) {
  const size_t row_table = DataRowTableAt(page.size());
  const size_t count = Get16(&page[DataRowCountAt(page.size())]);
  if (row >= count || row_table + 2 * count > page.size()) {
    throw Damaged("a data page has no row " + std::to_string(row));
  }
  const uint16_t entry = Get16(&page[row_table + 2 * row]);
  RowSlot slot;
  slot.start = entry & kRowOffsetMask;
  slot.end = row == 0 ? static_cast<uint16_t>(page.size())
                      : Get16(&page[row_table + 2 * (row - 1)]) & kRowOffsetMask;
  slot.deleted = entry & kRowDeleted;
  slot.moved = entry & kRowMoved;
  if (!slot.deleted && (slot.start < row_table + 2 * count || slot.end < slot.start)) {
    throw Damaged("row " + std::to_string(row) + " of a data page lies outside its page");
  }
  return slot;
}

std::optional<RowBytes> LocateRow(PageFile& file, RowId id) {
  RowBytes found;
  found.at = id;
  for (int moves = 0;; ++moves) {
    found.page = file.ReadPage(found.at.page);
    if (found.page.data()[0] != kPageData)
      throw Damaged(Where(found.at) + " is not on a data page");
    const RowSlot slot = ReadRowSlot(found.page.span(), found.at.row);
    // The new place of a moved row is flagged deleted so that scans pass
    // it by; only the row's first place can be deleted for real.
    if (slot.deleted && moves == 0) return std::nullopt;
    found.bytes = found.page.span().subspan(slot.start, slot.end - slot.start);
    if (!slot.moved) return found;
    if (found.bytes.size() < 4 || moves == kMaxMoves) {
      throw Damaged(Where(id) + " points to another place that cannot be followed");
    }
    found.at = GetRowPointer(found.bytes.data());
  }
}

RowView::RowView(const TableDef& def, std::span<const uint8_t> bytes, const FileHeader& format)
    : bytes_(bytes), jet3_(format.jet3()) {
  const auto damaged = [&def](const char* what) {
    return Damaged("a row of " + Utf16ToUtf8(def.name) + " " + what);
  };
  // The column count and n take one byte in Jet 3, two in Jet 4.
  const size_t count_size = jet3_ ? 1 : 2;
  if (bytes.size() < count_size) throw damaged("is empty");
  columns_in_row_ = jet3_ ? bytes[0] : Get16(bytes.data());
  const size_t mask = (columns_in_row_ + 7) / 8;
  if (mask + count_size > bytes.size()) throw damaged("is cut short");
  null_mask_at_ = bytes.size() - mask;
  if (def.variable_columns == 0) return;
  if (null_mask_at_ < 2 * count_size) throw damaged("is cut short");
  variables_in_row_ = jet3_ ? bytes[null_mask_at_ - 1] : Get16(&bytes[null_mask_at_ - 2]);
  size_t table_start = 0;  // where eod is
  if (jet3_) {
    const size_t jumps = (bytes.size() - 1) / 256;
    jumps_at_ = null_mask_at_ - 2;
    if (null_mask_at_ < jumps + 2 + variables_in_row_ + 1) {
      throw damaged("has more variable columns than bytes");
    }
    offsets_at_ = jumps_at_ - jumps;
    table_start = offsets_at_ - variables_in_row_;
    // Only an offset at or past eod's place can be 256 * (k + 1) or more:
    // the entries past that are dummies.
    jumps_ = std::min(jumps, table_start / 256);
  } else {
    offsets_at_ = null_mask_at_ - 4;
    if (offsets_at_ < 2 * static_cast<size_t>(variables_in_row_) + 2) {
      throw damaged("has more variable columns than bytes");
    }
    table_start = offsets_at_ - 2 * variables_in_row_;
  }
  // offset[0 .. n-1] and eod, every one inside the row.
  for (size_t i = 0; i <= variables_in_row_; ++i) {
    if (Offset(i) > table_start) throw damaged("has a column outside the row");
  }
}

size_t RowView::Offset(size_t i) const {
  if (!jet3_) return Get16(&bytes_[offsets_at_ - 2 * i]);
  size_t high = 0;
  while (high < jumps_ && bytes_[jumps_at_ - high] <= i) ++high;
  return high * 256 + bytes_[offsets_at_ - i];
}

bool RowView::IsNull(const Column& column) const {
  if (column.type == ColumnType::kBoolean) return false;
  if (column.number >= columns_in_row_) return true;
  if (!(bytes_[null_mask_at_ + column.number / 8] >> (column.number % 8) & 1)) return true;
  // A variable column the row was written without.
  return !column.fixed() && column.var_index >= variables_in_row_;
}

bool RowView::BoolValue(const Column& column) const {
  return column.number < columns_in_row_ &&
         (bytes_[null_mask_at_ + column.number / 8] >> (column.number % 8) & 1);
}

std::span<const uint8_t> RowView::Bytes(const Column& column) const {
  if (column.fixed()) {
    const size_t start = (jet3_ ? 1 : 2) + static_cast<size_t>(column.fixed_offset);
    if (start + column.length > null_mask_at_) {
      throw Damaged("column " + Utf16ToUtf8(column.name) + " runs past its row");
    }
    return bytes_.subspan(start, column.length);
  }
  const size_t start = Offset(column.var_index);
  const size_t end = Offset(column.var_index + 1u);
  if (end < start) throw Damaged("a variable column's bytes end before they start");
  return bytes_.subspan(start, end - start);
}

bool IsWholeNumber(ColumnType type) {
  return type == ColumnType::kBoolean || type == ColumnType::kByte ||
         type == ColumnType::kInteger || type == ColumnType::kLong;
}

std::optional<int64_t> RowView::WholeNumber(const Column& column) const {
  if (column.type == ColumnType::kBoolean) return BoolValue(column) ? -1 : 0;
  if (IsNull(column)) return std::nullopt;
  const std::span<const uint8_t> b = Bytes(column);
  switch (column.type) {
    case ColumnType::kByte:
      return b[0];
    case ColumnType::kInteger:
      return static_cast<int16_t>(Get16(b.data()));
    case ColumnType::kLong:
      return static_cast<int32_t>(Get32(b.data()));
    default:
      return std::nullopt;
  }
}

Variant DecodeFixed(ColumnType type, std::span<const uint8_t> b, uint8_t scale) {
  const auto need = [&](size_t n) {
    if (b.size() < n) throw Damaged("a column is shorter than its type");
  };
  switch (type) {
    case ColumnType::kByte:
      need(1);
      return Variant(static_cast<int64_t>(b[0]));
    case ColumnType::kInteger:
      need(2);
      return Variant(static_cast<int64_t>(static_cast<int16_t>(Get16(b.data()))));
    case ColumnType::kLong:
      need(4);
      return Variant(static_cast<int64_t>(static_cast<int32_t>(Get32(b.data()))));
    case ColumnType::kCurrency:
      need(8);
      return Variant(static_cast<double>(Load<int64_t>(b.data())) / 10000.0);
    case ColumnType::kSingle:
      need(4);
      return Variant(static_cast<double>(Load<float>(b.data())));
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      need(8);
      return Variant(Load<double>(b.data()));
    case ColumnType::kReplicationId:
      need(16);
      return Variant(GuidText(b));
    case ColumnType::kDecimal:
      need(17);
      return Variant(DecimalText(b, scale));
    default:
      throw Damaged("a fixed column has type " + std::to_string(static_cast<int>(type)));
  }
}

Variant RowView::Value(PageFile& file, const Column& column) const {
  if (column.more_flags & kColumnCalculated) {
    throw Error(errors::kTypeMismatch, "The column " + Utf16ToUtf8(column.name) +
                                           " is calculated, which this program "
                                           "does not read");
  }
  if (column.type == ColumnType::kBoolean) return Variant(int64_t{BoolValue(column) ? -1 : 0});
  if (IsNull(column)) return Variant();
  const std::span<const uint8_t> b = Bytes(column);
  switch (column.type) {
    case ColumnType::kText:
      return Variant(DecodeStoredText(file.header(), b));
    case ColumnType::kBinary:
      return Variant::Bytes(std::string(b.begin(), b.end()));
    case ColumnType::kMemo: {
      const std::string value = ReadLongValue(file, b);
      return Variant(DecodeStoredText(
          file.header(), std::span(reinterpret_cast<const uint8_t*>(value.data()), value.size())));
    }
    case ColumnType::kOle:
      return Variant::Bytes(ReadLongValue(file, b));
    default:
      return DecodeFixed(column.type, b, column.scale);
  }
}

void ScanRows(PageFile& file, const TableDef& def, const UsageMap& used_pages,
              const std::function<void(RowId, const RowView&)>& visit) {
  for (std::optional<uint32_t> page = used_pages.Next(0); page; page = used_pages.Next(*page + 1)) {
    if (*page >= file.page_count()) break;
    const PageRef data = file.ReadPage(*page);
    if (data.data()[0] != kPageData || Get32(data.data() + kDataOwner) != def.page) continue;
    const uint16_t count = Get16(data.data() + DataRowCountAt(data.span().size()));
    for (uint16_t row = 0; row < count; ++row) {
      const RowId id{*page, row};
      const RowSlot slot = ReadRowSlot(data.span(), row);
      if (!ScanSees(slot)) continue;
      if (!slot.moved) {
        visit(id,
              RowView(def, data.span().subspan(slot.start, slot.end - slot.start), file.header()));
      } else if (const std::optional<RowBytes> bytes = LocateRow(file, id)) {
        visit(id, RowView(def, bytes->bytes, file.header()));
      }
    }
  }
}

}  // namespace addbook::jet
