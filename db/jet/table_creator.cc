// A table is made in three steps: its design is checked and encoded once with
// a dummy layout, so that a design the format cannot hold is refused before
// any page changes; then its pages are allocated and filled (the usage maps
// as rows of one data page that no table owns, as Jet keeps them, and an
// empty leaf per index); last its catalogue row goes in through the
// catalogue's own row writer, which also enters it in the catalogue's
// indexes (Id, and ParentId with Name).
//
// The bytes Jet leaves unset in a definition (the fixed offset of a
// variable column, the order byte of an unused index column) are written as
// zero; every other byte is what Jet 3 writes for such a table.
#include "db/jet/table_creator.h"

#include <algorithm>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/catalogue.h"
#include "db/jet/data_page.h"
#include "db/jet/index.h"
#include "db/jet/jet_table.h"
#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

// The definition block, by offset from the page's start.
constexpr size_t kDefLength = 8;
constexpr size_t kRealIndexCount = 31;
constexpr size_t kDefBlockEnd = 43;
constexpr size_t kRealIndexCountSize = 8;
constexpr size_t kColumnSize = 18;
constexpr size_t kColumnCollation = 7;
constexpr size_t kKeyColumns = 10;
constexpr uint8_t kAscending = 0x01;
constexpr uint16_t kNoColumn = 0xFFFF;
// Jet writes these two bytes of every logical index as 4 and 4.
constexpr uint8_t kLogicalIndexFill = 0x04;
constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxColumnsPerTable = 255;
constexpr size_t kMaxTextLength = 255;

// A Jet 3 usage-map row: type 0 (inline), the first page it covers, and a
// bitmap of 128 bytes.
constexpr size_t kMapRowSize = 1 + 4 + 128;
// The catalogue's row of a table.
constexpr int64_t kCatalogueTypeTable = 1;
constexpr int64_t kCatalogueTypeContainer = 3;
constexpr int64_t kCatalogueTypeDatabase = 2;

[[noreturn]] void Refuse(const std::u16string& table, std::string_view what) {
  throw Error(errors::kInvalidArgument,
              u"Cannot create the table " + table + u": " + Utf8ToUtf16(what) + u".");
}

size_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    default:
      return 0;
  }
}

bool Variable(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kMemo || type == ColumnType::kOle;
}

// The definition's bytes as they are appended.
class DefWriter {
 public:
  DefWriter(const std::u16string& table, size_t page_size) : table_(table), bytes_(page_size) {}
  size_t size() const { return at_; }
  std::vector<uint8_t> Finish() && { return std::move(bytes_); }
  uint8_t* At(size_t offset) { return bytes_.data() + offset; }

  uint8_t* Take(size_t n) {
    if (at_ + n > bytes_.size()) Refuse(table_, "its definition does not fit in a page");
    uint8_t* p = bytes_.data() + at_;
    at_ += n;
    return p;
  }
  void U8(uint8_t v) { *Take(1) = v; }
  void U16(uint16_t v) { Put16(Take(2), v); }
  void U32(uint32_t v) { Put32(Take(4), v); }
  void Pointer(RowId id) { PutRowPointer(Take(4), id); }
  void Name(const std::string& encoded) {
    U8(static_cast<uint8_t>(encoded.size()));
    std::copy(encoded.begin(), encoded.end(), Take(encoded.size()));
  }

 private:
  const std::u16string& table_;
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
};

// |name| in the file's code page, checked as a name of the definition.
std::string EncodeName(const std::u16string& table, std::u16string_view what,
                       const std::u16string& name) {
  std::string encoded;
  if (name.empty() || name.size() > kMaxNameChars) {
    Refuse(table, Utf16ToUtf8(what) + " \"" + Utf16ToUtf8(name) + "\" is empty or longer than " +
                      std::to_string(kMaxNameChars) + " characters");
  }
  if (EncodeCodePageText(name, encoded)) {
    Refuse(table, Utf16ToUtf8(what) + " \"" + Utf16ToUtf8(name) +
                      "\" has a character that the file's code page lacks");
  }
  return encoded;
}

size_t ColumnNamed(const TableDesign& design, const std::u16string& name) {
  for (size_t i = 0; i < design.columns.size(); ++i) {
    if (EqualsIgnoringAsciiCase(design.columns[i].name, name)) return i;
  }
  return design.columns.size();
}

// A usage-map row covering pages from 0, empty.
uint16_t AddMapRow(PageFile& file, WritablePage& page) {
  uint8_t row[kMapRowSize] = {};
  if (!FitsNewRow(page.span(), sizeof row)) {
    page = file.AllocatePage();
    InitDataPage(page.span(), 0);
  }
  return AddRow(page.span(), row, 0);
}

// The catalogue's rows of |type|, read whole.
std::vector<std::vector<Variant>> CatalogueRows(JetTable& catalogue, size_t type_column,
                                                int64_t type) {
  std::vector<std::vector<Variant>> rows;
  for (const RowId id : catalogue.Find({type_column}, {type})) rows.push_back(catalogue.Read(id));
  return rows;
}

}  // namespace

ColumnCollation CatalogueCollation(PageFile& file) {
  const PageRef page = file.ReadPage(kCataloguePage);
  const uint8_t* column =
      page.data() + kDefBlockEnd + kRealIndexCountSize * Get32(page.data() + kRealIndexCount);
  if (page.data()[0] != kPageTableDef || column + kColumnSize > page.data() + page.size()) {
    throw Damaged("page 2 is not the catalogue's definition");
  }
  return {Get16(column + kColumnCollation), Get16(column + kColumnCollation + 2),
          Get16(column + kColumnCollation + 4)};
}

std::vector<uint8_t> EncodeTableDef(size_t page_size, const ColumnCollation& collation,
                                    const TableDesign& design, const TableLayout& layout) {
  const std::u16string& table = design.name;
  EncodeName(table, u"the name", table);
  if (design.columns.empty() || design.columns.size() > kMaxColumnsPerTable) {
    Refuse(table, "a table has 1 to " + std::to_string(kMaxColumnsPerTable) + " columns");
  }
  size_t long_values = 0;
  uint16_t variable = 0;
  for (size_t i = 0; i < design.columns.size(); ++i) {
    const ColumnDesign& column = design.columns[i];
    const std::string name = Utf16ToUtf8(column.name);
    EncodeName(table, u"the column name", column.name);
    if (ColumnNamed(design, column.name) != i) Refuse(table, "two columns are named " + name);
    if (!Variable(column.type) && FixedSize(column.type) == 0) {
      Refuse(table, "the column " + name + " is of a type this program does not create");
    }
    if (column.type == ColumnType::kText &&
        (column.text_length == 0 || column.text_length > kMaxTextLength)) {
      Refuse(table, "the Text column " + name + " holds 1 to 255 characters");
    }
    if (column.auto_number && column.type != ColumnType::kLong) {
      Refuse(table, "the AutoNumber column " + name + " is not a Long");
    }
    if (column.type == ColumnType::kMemo || column.type == ColumnType::kOle) ++long_values;
    if (Variable(column.type)) ++variable;
  }
  if (layout.long_value_maps.size() != long_values ||
      layout.index_maps.size() != design.indexes.size() ||
      layout.index_roots.size() != design.indexes.size()) {
    Refuse(table, "its layout does not match its columns and indexes");
  }
  std::vector<std::vector<uint16_t>> keys;
  size_t primary_keys = 0;
  for (const IndexDesign& index : design.indexes) {
    const std::string name = Utf16ToUtf8(index.name);
    EncodeName(table, u"the index name", index.name);
    if (index.columns.empty() || index.columns.size() > kKeyColumns) {
      Refuse(table, "the index " + name + " has 1 to 10 columns");
    }
    std::vector<uint16_t>& key = keys.emplace_back();
    for (const std::u16string& column : index.columns) {
      const size_t i = ColumnNamed(design, column);
      if (i == design.columns.size()) {
        Refuse(table, "the index " + name + " names a column " + Utf16ToUtf8(column) +
                          " that the table lacks");
      }
      key.push_back(static_cast<uint16_t>(i));
    }
    primary_keys += index.primary_key;
  }
  if (primary_keys > 1) Refuse(table, "it has more than one primary key");

  DefWriter out(table, page_size);
  out.U8(kPageTableDef);
  out.U8(0x01);
  out.U8('V');
  out.U8('C');
  out.U32(0);  // next page
  out.U32(0);  // length, set at the end
  out.U32(0);  // rows
  out.U32(0);  // last AutoNumber
  out.U8(kUserTable);
  const auto columns = static_cast<uint16_t>(design.columns.size());
  const auto indexes = static_cast<uint32_t>(design.indexes.size());
  out.U16(columns);  // max_cols
  out.U16(variable);
  out.U16(columns);
  out.U32(indexes);  // logical
  out.U32(indexes);  // real
  out.Pointer(layout.used_pages);
  out.Pointer(layout.free_space_pages);
  for (size_t i = 0; i < design.indexes.size(); ++i) out.Take(kRealIndexCountSize);

  uint16_t fixed_offset = 0;
  uint16_t var_index = 0;
  for (uint16_t number = 0; number < columns; ++number) {
    const ColumnDesign& column = design.columns[number];
    const bool is_variable = Variable(column.type);
    out.U8(static_cast<uint8_t>(column.type));
    out.U16(number);
    out.U16(var_index);
    out.U16(number + 1);
    out.U16(collation.variant);
    out.U16(collation.sort_order);
    out.U16(collation.code_page);
    out.U8(static_cast<uint8_t>((is_variable ? 0 : kColumnFixed) | kColumnUpdatable |
                                (column.auto_number ? kColumnAutoNumber : 0)));
    out.U16(is_variable ? 0 : fixed_offset);
    const size_t size = FixedSize(column.type);
    out.U16(static_cast<uint16_t>(column.type == ColumnType::kText ? column.text_length : size));
    if (is_variable) {
      ++var_index;
    } else {
      fixed_offset = static_cast<uint16_t>(fixed_offset + size);
    }
  }
  for (const ColumnDesign& column : design.columns) out.Name(EncodeName(table, u"", column.name));

  for (size_t i = 0; i < design.indexes.size(); ++i) {
    for (size_t k = 0; k < kKeyColumns; ++k) {
      out.U16(k < keys[i].size() ? keys[i][k] : kNoColumn);
      out.U8(k < keys[i].size() ? kAscending : 0);
    }
    out.Pointer(layout.index_maps[i]);
    out.U32(layout.index_roots[i]);
    const IndexDesign& index = design.indexes[i];
    out.U8(index.primary_key ? kIndexUnique | kIndexRequired : index.unique ? kIndexUnique : 0);
  }
  std::vector<size_t> by_name(design.indexes.size());
  for (size_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
  std::stable_sort(by_name.begin(), by_name.end(), [&](size_t a, size_t b) {
    return FoldAsciiCase(design.indexes[a].name) < FoldAsciiCase(design.indexes[b].name);
  });
  for (const size_t i : by_name) {
    out.U32(static_cast<uint32_t>(i));
    out.U32(static_cast<uint32_t>(i));
    out.U8(0);
    out.U32(0xFFFFFFFF);
    out.U32(0);
    out.U8(kLogicalIndexFill);
    out.U8(kLogicalIndexFill);
    out.U8(design.indexes[i].primary_key ? kIndexPrimaryKey : 0);
  }
  for (const size_t i : by_name) out.Name(EncodeName(table, u"", design.indexes[i].name));

  size_t long_value = 0;
  for (uint16_t number = 0; number < columns; ++number) {
    const ColumnType type = design.columns[number].type;
    if (type != ColumnType::kMemo && type != ColumnType::kOle) continue;
    out.U16(number);
    out.Pointer(layout.long_value_maps[long_value].first);
    out.Pointer(layout.long_value_maps[long_value].second);
    ++long_value;
  }
  out.U16(kNoColumn);
  Put32(out.At(kDefLength), static_cast<uint32_t>(out.size()));
  return std::move(out).Finish();
}

uint32_t CreateTable(PageFile& file, const TableDesign& design, double now) {
  if (!file.header().jet3()) {
    throw Error(errors::kNotADatabase, "Tables are created here in Access 97 (Jet 3) files only.");
  }
  for (const CatalogueTable& existing : ReadCatalogue(file)) {
    if (EqualsIgnoringAsciiCase(existing.name, design.name)) {
      throw Error(kTableExists, u"Table '" + design.name + u"' already exists.");
    }
  }
  // Checked whole before any page changes.
  TableLayout layout;
  for (const ColumnDesign& column : design.columns) {
    if (column.type == ColumnType::kMemo || column.type == ColumnType::kOle) {
      layout.long_value_maps.emplace_back();
    }
  }
  layout.index_maps.resize(design.indexes.size());
  layout.index_roots.resize(design.indexes.size());
  const ColumnCollation collation = CatalogueCollation(file);
  EncodeTableDef(file.page_size(), collation, design, layout);

  // The catalogue's row: the table's Id is its definition page, its parent
  // the Tables container, its owner the database's.
  JetTable catalogue(file, ReadTableDef(file, kCataloguePage, u"MSysObjects"));
  const TableDef& def = catalogue.def();
  std::vector<size_t> columns;
  for (const char16_t* name :
       {u"Id", u"ParentId", u"Name", u"Type", u"DateCreate", u"DateUpdate", u"Owner", u"Flags"}) {
    const size_t i = def.ColumnIndex(name);
    if (i == std::u16string::npos) {
      throw Damaged("the catalogue has no column " + Utf16ToUtf8(name));
    }
    columns.push_back(i);
  }
  const size_t id = columns[0];
  const size_t name = columns[2];
  const size_t type = columns[3];
  const size_t owner = columns[6];
  std::optional<Variant> parent;
  for (const auto& row : CatalogueRows(catalogue, type, kCatalogueTypeContainer)) {
    if (row[name].type() == Variant::Type::kText && row[name].text() == u"Tables") {
      parent = row[id];
    }
  }
  Variant database_owner;
  for (const auto& row : CatalogueRows(catalogue, type, kCatalogueTypeDatabase)) {
    if (row[name].type() == Variant::Type::kText && row[name].text() == u"MSysDb") {
      database_owner = row[owner];
    }
  }
  if (!parent) throw Damaged("the catalogue has no Tables container");
  // Its values, the Id set once the definition's page is known; the
  // catalogue's keys of the name must be known to the byte.
  std::vector<Variant> values = {
      Variant(int64_t{0}), *parent,      Variant(design.name), Variant(kCatalogueTypeTable),
      Variant(now),        Variant(now), database_owner,       Variant(int64_t{0})};
  std::vector<Variant> row(def.columns.size());
  for (size_t k = 0; k < columns.size(); ++k) row[columns[k]] = values[k];
  for (size_t i = 0; i < def.real_indexes.size(); ++i) {
    const IndexDef index = DescribeIndex(def, i);
    if (!EncodeKey(index, row)) {
      Refuse(design.name, "the catalogue's index " + Utf16ToUtf8(index.name) +
                              " has no key known to the byte for its name");
    }
  }

  WritablePage definition = file.AllocatePage();
  layout.definition_page = definition.number();
  // The maps, in Jet's order: the table's two, each long-value column's
  // two, each index's.
  WritablePage maps = file.AllocatePage();
  InitDataPage(maps.span(), 0);
  const auto next_map = [&] {
    const uint16_t row = AddMapRow(file, maps);
    return RowId{maps.number(), row};
  };
  layout.used_pages = next_map();
  layout.free_space_pages = next_map();
  for (auto& [used, free_space] : layout.long_value_maps) {
    used = next_map();
    free_space = next_map();
  }
  for (RowId& map : layout.index_maps) map = next_map();
  for (size_t i = 0; i < design.indexes.size(); ++i) {
    layout.index_roots[i] =
        IndexTree::CreateRoot(*IndexPagesOf(file, layout.index_maps[i]), layout.definition_page);
  }
  const std::vector<uint8_t> bytes = EncodeTableDef(file.page_size(), collation, design, layout);
  std::copy(bytes.begin(), bytes.end(), definition.data());

  values[0] = Variant(static_cast<int64_t>(layout.definition_page));
  catalogue.Insert(columns, values);
  return layout.definition_page;
}

}  // namespace addbook::jet
