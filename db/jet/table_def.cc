// The definition is read as one byte string gathered from its pages, with
// a note of where each page's part begins, so that a counter's offset in the
// string gives back its page and its offset in that page for writing.
#include "db/jet/table_def.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <string>

#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/page_file.h"

namespace addbook::jet {
namespace {

constexpr size_t kTableDefHeader = 8;  // kind, 0x01, free bytes, next page
constexpr size_t kNextPage = 4;
constexpr size_t kDefLength = 8;
constexpr size_t kRowCount = 16;
constexpr size_t kLastAutoNumber = 20;
constexpr size_t kTableType = 40;
constexpr size_t kMaxColumns = 41;
constexpr size_t kVariableColumns = 43;
constexpr size_t kColumnCount = 45;
constexpr size_t kLogicalIndexCount = 47;
constexpr size_t kRealIndexCount = 51;
constexpr size_t kUsedPages = 55;
constexpr size_t kFreeSpacePages = 59;
constexpr size_t kRealIndexCounts = 63;
constexpr size_t kRealIndexCountSize = 12;
constexpr size_t kColumnSize = 25;
constexpr size_t kRealIndexSize = 52;
constexpr size_t kRealIndexKeyColumns = 10;
constexpr size_t kLogicalIndexSize = 28;
constexpr uint16_t kNoColumn = 0xFFFF;

// The definition's bytes and where each page's part of them starts.
struct DefBytes {
  std::vector<uint8_t> bytes;
  struct Part {
    size_t start;  // in |bytes|
    uint32_t page;
    size_t page_offset;  // where |start| is in the page
  };
  std::vector<Part> parts;

  DefSpot SpotOf(size_t at) const {
    const Part* part = &parts.front();
    for (const Part& p : parts) {
      if (p.start <= at) part = &p;
    }
    return DefSpot{part->page, static_cast<uint16_t>(part->page_offset + (at - part->start))};
  }
};

DefBytes Gather(PageFile& file, uint32_t page, const std::string& table) {
  DefBytes def;
  std::set<uint32_t> seen;
  for (uint32_t at = page; at != 0;) {
    if (!seen.insert(at).second) throw Damaged("the definition of " + table + " runs in a loop");
    const PageRef p = file.ReadPage(at);
    if (p.data()[0] != kPageTableDef) {
      throw Damaged("page " + std::to_string(at) + " of the definition of " + table +
                    " is not a table definition");
    }
    const size_t skip = def.parts.empty() ? 0 : kTableDefHeader;
    def.parts.push_back({def.bytes.size(), at, skip});
    def.bytes.insert(def.bytes.end(), p.data() + skip, p.data() + p.size());
    at = Get32(p.data() + kNextPage);
  }
  return def;
}

// Reads the definition front to back, every read checked against its end.
class Cursor {
 public:
  Cursor(const std::vector<uint8_t>& bytes, std::string table)
      : bytes_(bytes), table_(std::move(table)) {}
  size_t at() const { return at_; }
  void Seek(size_t at) { at_ = at; }
  const uint8_t* Take(size_t n) {
    if (at_ + n > bytes_.size()) throw Damaged("the definition of " + table_ + " is cut short");
    const uint8_t* p = bytes_.data() + at_;
    at_ += n;
    return p;
  }
  uint8_t U8() { return *Take(1); }
  uint16_t U16() { return Get16(Take(2)); }
  uint32_t U32() { return Get32(Take(4)); }
  std::u16string Name() {
    const size_t n = U16();
    const uint8_t* p = Take(n);
    return DecodeText(std::span(p, n));
  }

 private:
  const std::vector<uint8_t>& bytes_;
  std::string table_;
  size_t at_ = 0;
};

}  // namespace

const Column* TableDef::ColumnByNumber(uint16_t number) const {
  for (const Column& column : columns) {
    if (column.number == number) return &column;
  }
  return nullptr;
}

size_t TableDef::ColumnIndex(std::u16string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoringAsciiCase(columns[i].name, name)) return i;
  }
  return std::u16string::npos;
}

TableDef ReadTableDef(PageFile& file, uint32_t page, std::u16string name) {
  const std::string table = Utf16ToUtf8(name);
  const DefBytes bytes = Gather(file, page, table);
  Cursor in(bytes.bytes, table);
  TableDef def;
  def.name = std::move(name);
  def.page = page;

  in.Seek(kRowCount);
  def.row_count = in.U32();
  def.row_count_at = bytes.SpotOf(kRowCount);
  def.last_auto_number = in.U32();
  def.last_auto_number_at = bytes.SpotOf(kLastAutoNumber);
  in.Seek(kTableType);
  def.table_type = in.U8();
  in.Seek(kMaxColumns);
  def.max_columns = in.U16();
  in.Seek(kVariableColumns);
  def.variable_columns = in.U16();
  in.Seek(kColumnCount);
  const uint16_t column_count = in.U16();
  in.Seek(kLogicalIndexCount);
  const uint32_t logical_count = in.U32();
  in.Seek(kRealIndexCount);
  const uint32_t real_count = in.U32();
  if (logical_count > 1000 || real_count > 1000) {
    throw Damaged("the definition of " + table + " counts " + std::to_string(logical_count) +
                  " indexes");
  }
  in.Seek(kUsedPages);
  def.used_pages = GetRowPointer(in.Take(4));
  in.Seek(kFreeSpacePages);
  def.free_space_pages = GetRowPointer(in.Take(4));
  in.Seek(kRealIndexCounts);

  def.real_indexes.resize(real_count);
  for (RealIndex& index : def.real_indexes) {
    const size_t at = in.at();
    in.Take(4);
    index.row_count = in.U32();
    index.row_count_at = bytes.SpotOf(at + 4);
    in.Take(kRealIndexCountSize - 8);
  }

  // Columns in the order of the definition; each carries its column index
  // (the SELECT * order), which orders them at the end.
  std::vector<std::pair<uint16_t, Column>> columns(column_count);
  for (auto& [order, column] : columns) {
    const uint8_t* c = in.Take(kColumnSize);
    column.type = static_cast<ColumnType>(c[0]);
    column.number = Get16(c + 5);
    column.var_index = Get16(c + 7);
    order = Get16(c + 9);
    if (column.type == ColumnType::kDecimal) {
      column.precision = c[11];
      column.scale = c[12];
    } else {
      column.sort_order = Get16(c + 11);
      column.sort_version = c[14];
    }
    column.flags = c[15];
    column.more_flags = c[16];
    column.fixed_offset = Get16(c + 21);
    column.length = Get16(c + 23);
  }
  for (auto& [order, column] : columns) column.name = in.Name();
  std::stable_sort(columns.begin(), columns.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : columns) def.columns.push_back(std::move(entry.second));

  for (RealIndex& index : def.real_indexes) {
    const size_t at = in.at();
    const uint8_t* r = in.Take(kRealIndexSize);
    for (size_t k = 0; k < kRealIndexKeyColumns; ++k) {
      const uint16_t number = Get16(r + 4 + 3 * k);
      if (number == kNoColumn) continue;
      index.columns.push_back({number, r[6 + 3 * k] == 0x01});
    }
    index.usage_map = GetRowPointer(r + 34);
    index.first_page = Get32(r + 38);
    index.first_page_at = bytes.SpotOf(at + 38);
    index.flags = r[46];
  }
  def.indexes.resize(logical_count);
  for (LogicalIndex& index : def.indexes) {
    const uint8_t* l = in.Take(kLogicalIndexSize);
    index.number = Get32(l + 4);
    index.real_index = Get32(l + 8);
    index.type = l[23];
    if (index.real_index >= real_count) {
      throw Damaged("an index of " + table + " names real index " +
                    std::to_string(index.real_index) + " of " + std::to_string(real_count));
    }
  }
  for (LogicalIndex& index : def.indexes) index.name = in.Name();
  // The long-value page maps: the list ends at column number 0xFFFF, or
  // with the definition.
  const size_t end = std::min<size_t>(Get32(&bytes.bytes[kDefLength]), bytes.bytes.size());
  while (in.at() + 2 <= end) {
    const uint16_t number = in.U16();
    if (number == kNoColumn) break;
    TableDef::LongValueMaps maps;
    maps.column_number = number;
    maps.used_pages = GetRowPointer(in.Take(4));
    maps.free_space_pages = GetRowPointer(in.Take(4));
    def.long_value_maps.push_back(maps);
  }
  return def;
}

namespace {

constexpr uint16_t kPropertyNames = 0x80;
constexpr uint8_t kPropertyBoolean = 0x01;

// A constant default value: a number, a quoted text, or Yes/No words.
// Nothing for an expression this engine does not evaluate, or for Null.
std::optional<Variant> ConstantDefault(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'=')) text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
      text.back() == text.front()) {
    const char16_t quote = text.front();
    std::u16string value;
    const std::u16string_view inner = text.substr(1, text.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == quote) {
        // Inside the quotes a quote is written twice.
        if (i + 1 == inner.size() || inner[i + 1] != quote) return std::nullopt;
        ++i;
      }
      value += inner[i];
    }
    return Variant(std::move(value));
  }
  const std::u16string folded = FoldAsciiCase(text);
  if (folded == u"true" || folded == u"yes" || folded == u"on") return Variant(int64_t{-1});
  if (folded == u"false" || folded == u"no" || folded == u"off") return Variant(int64_t{0});
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  const char* end = ascii.data() + ascii.size();
  int64_t whole = 0;
  if (auto [p, ec] = std::from_chars(ascii.data(), end, whole); ec == std::errc() && p == end) {
    return Variant(whole);
  }
  double real = 0;
  if (auto [p, ec] = std::from_chars(ascii.data(), end, real, std::chars_format::fixed);
      ec == std::errc() && p == end && !ascii.empty()) {
    return Variant(real);
  }
  return std::nullopt;
}

}  // namespace

void ApplyProperties(TableDef& def, std::string_view lv_prop) {
  const auto* b = reinterpret_cast<const uint8_t*>(lv_prop.data());
  const size_t size = lv_prop.size();
  if (size < 4 || lv_prop.substr(0, 4) != std::string_view("MR2\0", 4)) return;
  std::vector<std::u16string> names;
  const auto name_at = [&](size_t at, size_t end, size_t& next) -> std::optional<std::u16string> {
    if (at + 2 > end || at + 2 + Get16(b + at) > end) return std::nullopt;
    next = at + 2 + Get16(b + at);
    return DecodeText(std::span(b + at + 2, Get16(b + at)));
  };
  for (size_t at = 4; at + 6 <= size;) {
    const size_t chunk_end = at + Get32(b + at);
    const uint16_t type = Get16(b + at + 4);
    if (chunk_end <= at + 6 || chunk_end > size) return;
    size_t p = at + 6;
    at = chunk_end;
    if (type == kPropertyNames) {
      names.clear();
      while (p < chunk_end) {
        auto name = name_at(p, chunk_end, p);
        if (!name) return;
        names.push_back(std::move(*name));
      }
      continue;
    }
    // A block of values: the name of what they belong to (a column; none
    // for the table itself), then the values.
    if (p + 4 > chunk_end) continue;
    const size_t values_at = p + Get32(b + p);
    if (values_at > chunk_end) return;
    std::u16string owner;
    if (Get32(b + p) > 6) {
      size_t ignored;
      owner = name_at(p + 4, values_at, ignored).value_or(u"");
    }
    const size_t index = def.ColumnIndex(owner);
    Column* column = owner.empty() || index == std::u16string::npos ? nullptr : &def.columns[index];
    for (p = values_at; p + 8 <= chunk_end;) {
      const size_t value_end = p + Get16(b + p);
      const uint8_t data_type = b[p + 3];
      const uint16_t name_index = Get16(b + p + 4);
      const uint16_t data_size = Get16(b + p + 6);
      if (value_end <= p || value_end > chunk_end || p + 8 + data_size > value_end) return;
      const std::span<const uint8_t> data(b + p + 8, data_size);
      p = value_end;
      if (!column || name_index >= names.size()) continue;
      const std::u16string& name = names[name_index];
      const bool yes = data_type == kPropertyBoolean && !data.empty() && data[0] != 0;
      if (EqualsIgnoringAsciiCase(name, u"Required")) {
        column->required = yes;
      } else if (EqualsIgnoringAsciiCase(name, u"AllowZeroLength")) {
        column->allow_zero_length = yes;
      } else if (EqualsIgnoringAsciiCase(name, u"DefaultValue")) {
        const std::u16string text = DecodeText(data);
        column->default_value = ConstantDefault(text);
        column->default_expression = column->default_value ? u"" : text;
      }
    }
  }
}

void WriteCounters(PageFile& file, const TableDef& def) {
  const auto put = [&](DefSpot spot, uint32_t value) {
    const WritablePage page = file.WritePage(spot.page);
    Put32(page.data() + spot.offset, value);
  };
  put(def.row_count_at, def.row_count);
  put(def.last_auto_number_at, def.last_auto_number);
  for (const RealIndex& index : def.real_indexes) {
    put(index.row_count_at, index.row_count);
    put(index.first_page_at, index.first_page);
  }
}

}  // namespace addbook::jet
