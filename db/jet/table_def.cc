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

constexpr size_t kTableDefHeader = 8;  // kind, 0x01, two bytes, next page
constexpr size_t kNextPage = 4;
constexpr size_t kDefLength = 8;
constexpr size_t kRealIndexKeyColumns = 10;
constexpr uint16_t kNoColumn = 0xFFFF;

// Where a format keeps each field of the definition (see table_def.h).
struct Layout {
  size_t row_count, last_auto_number, table_type, max_columns, variable_columns, column_count,
      logical_index_count, real_index_count, used_pages, free_space_pages;
  size_t real_index_counts, real_index_count_size;  // entries, distinct keys at +4
  struct {
    size_t size, number, var_index, order, sort_order, flags, fixed_offset, length;
  } column;
  struct {
    size_t size, key_columns, usage_map, first_page, flags;
  } real_index;
  struct {
    size_t size, number, real_index, type;
  } logical_index;
};

constexpr Layout kJet4 = {
    .row_count = 16,
    .last_auto_number = 20,
    .table_type = 40,
    .max_columns = 41,
    .variable_columns = 43,
    .column_count = 45,
    .logical_index_count = 47,
    .real_index_count = 51,
    .used_pages = 55,
    .free_space_pages = 59,
    .real_index_counts = 63,
    .real_index_count_size = 12,
    .column = {.size = 25,
               .number = 5,
               .var_index = 7,
               .order = 9,
               .sort_order = 11,
               .flags = 15,
               .fixed_offset = 21,
               .length = 23},
    .real_index = {.size = 52, .key_columns = 4, .usage_map = 34, .first_page = 38, .flags = 46},
    .logical_index = {.size = 28, .number = 4, .real_index = 8, .type = 23},
};

constexpr Layout kJet3 = {
    .row_count = 12,
    .last_auto_number = 16,
    .table_type = 20,
    .max_columns = 21,
    .variable_columns = 23,
    .column_count = 25,
    .logical_index_count = 27,
    .real_index_count = 31,
    .used_pages = 35,
    .free_space_pages = 39,
    .real_index_counts = 43,
    .real_index_count_size = 8,
    .column = {.size = 18,
               .number = 1,
               .var_index = 3,
               .order = 5,
               .sort_order = 9,
               .flags = 13,
               .fixed_offset = 14,
               .length = 16},
    .real_index = {.size = 39, .key_columns = 0, .usage_map = 30, .first_page = 34, .flags = 38},
    .logical_index = {.size = 20, .number = 0, .real_index = 4, .type = 19},
};
// Jet 4 only.
constexpr size_t kJet4ColumnSortVersion = 14;
constexpr size_t kJet4ColumnMoreFlags = 16;

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
  // A name: its length in 2 bytes then UTF-16, or in Jet 3 in 1 byte then
  // the code page's bytes.
  std::u16string Name(bool jet3) {
    const size_t n = jet3 ? U8() : U16();
    const std::span<const uint8_t> bytes(Take(n), n);
    return jet3 ? DecodeCodePageText(bytes) : DecodeText(bytes);
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
  def.jet3 = file.header().jet3();
  const Layout& at = def.jet3 ? kJet3 : kJet4;
  def.name = std::move(name);
  def.page = page;

  in.Seek(at.row_count);
  def.row_count = in.U32();
  def.row_count_at = bytes.SpotOf(at.row_count);
  in.Seek(at.last_auto_number);
  def.last_auto_number = in.U32();
  def.last_auto_number_at = bytes.SpotOf(at.last_auto_number);
  in.Seek(at.table_type);
  def.table_type = in.U8();
  in.Seek(at.max_columns);
  def.max_columns = in.U16();
  in.Seek(at.variable_columns);
  def.variable_columns = in.U16();
  in.Seek(at.column_count);
  const uint16_t column_count = in.U16();
  in.Seek(at.logical_index_count);
  const uint32_t logical_count = in.U32();
  in.Seek(at.real_index_count);
  const uint32_t real_count = in.U32();
  if (logical_count > 1000 || real_count > 1000) {
    throw Damaged("the definition of " + table + " counts " + std::to_string(logical_count) +
                  " indexes");
  }
  in.Seek(at.used_pages);
  def.used_pages = GetRowPointer(in.Take(4));
  in.Seek(at.free_space_pages);
  def.free_space_pages = GetRowPointer(in.Take(4));
  in.Seek(at.real_index_counts);

  def.real_indexes.resize(real_count);
  for (RealIndex& index : def.real_indexes) {
    const size_t entry = in.at();
    in.Take(4);
    index.row_count = in.U32();
    index.row_count_at = bytes.SpotOf(entry + 4);
    in.Take(at.real_index_count_size - 8);
  }

  // Columns in the order of the definition; each carries its column index
  // (the SELECT * order), which orders them at the end.
  std::vector<std::pair<uint16_t, Column>> columns(column_count);
  for (auto& [order, column] : columns) {
    const uint8_t* c = in.Take(at.column.size);
    column.type = static_cast<ColumnType>(c[0]);
    column.number = Get16(c + at.column.number);
    column.var_index = Get16(c + at.column.var_index);
    order = Get16(c + at.column.order);
    if (def.jet3) {
      column.sort_order = Get16(c + at.column.sort_order);
      column.bytes_per_char = 1;
    } else if (column.type == ColumnType::kDecimal) {
      column.precision = c[at.column.sort_order];
      column.scale = c[at.column.sort_order + 1];
    } else {
      column.sort_order = Get16(c + at.column.sort_order);
      column.sort_version = c[kJet4ColumnSortVersion];
    }
    column.flags = c[at.column.flags];
    if (!def.jet3) column.more_flags = c[kJet4ColumnMoreFlags];
    column.fixed_offset = Get16(c + at.column.fixed_offset);
    column.length = Get16(c + at.column.length);
  }
  for (auto& [order, column] : columns) column.name = in.Name(def.jet3);
  std::stable_sort(columns.begin(), columns.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : columns) def.columns.push_back(std::move(entry.second));

  for (RealIndex& index : def.real_indexes) {
    const size_t entry = in.at();
    const uint8_t* r = in.Take(at.real_index.size);
    for (size_t k = 0; k < kRealIndexKeyColumns; ++k) {
      const uint8_t* key = r + at.real_index.key_columns + 3 * k;
      const uint16_t number = Get16(key);
      if (number == kNoColumn) continue;
      index.columns.push_back({number, key[2] == 0x01});
    }
    index.usage_map = GetRowPointer(r + at.real_index.usage_map);
    index.first_page = Get32(r + at.real_index.first_page);
    index.first_page_at = bytes.SpotOf(entry + at.real_index.first_page);
    index.flags = r[at.real_index.flags];
  }
  def.indexes.resize(logical_count);
  for (LogicalIndex& index : def.indexes) {
    const uint8_t* l = in.Take(at.logical_index.size);
    index.number = Get32(l + at.logical_index.number);
    index.real_index = Get32(l + at.logical_index.real_index);
    index.type = l[at.logical_index.type];
    if (index.real_index >= real_count) {
      throw Damaged("an index of " + table + " names real index " +
                    std::to_string(index.real_index) + " of " + std::to_string(real_count));
    }
  }
  for (LogicalIndex& index : def.indexes) index.name = in.Name(def.jet3);
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
  if (size < 4) return;
  const std::string_view magic = lv_prop.substr(0, 4);
  const bool code_page = magic == std::string_view("KKD\0", 4);
  if (!code_page && magic != std::string_view("MR2\0", 4)) return;
  const auto decode = [&](std::span<const uint8_t> bytes) {
    return code_page ? DecodeCodePageText(bytes) : DecodeText(bytes);
  };
  std::vector<std::u16string> names;
  const auto name_at = [&](size_t at, size_t end, size_t& next) -> std::optional<std::u16string> {
    if (at + 2 > end || at + 2 + Get16(b + at) > end) return std::nullopt;
    next = at + 2 + Get16(b + at);
    return decode(std::span(b + at + 2, Get16(b + at)));
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
        const std::u16string text = decode(data);
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
    // Jet 3 keeps the count twice in a user table's entry, in its first four
    // bytes too (4516 and 4516 in a table of 4516 words; 1 and 1 in a table
    // of one row); a system table's first four are 0.
    if (def.jet3 && def.table_type == kUserTable) {
      put({index.row_count_at.page, static_cast<uint16_t>(index.row_count_at.offset - 4)},
          index.row_count);
    }
    put(index.first_page_at, index.first_page);
  }
}

}  // namespace addbook::jet
