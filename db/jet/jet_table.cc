// Find reads the whole table once per set of columns and keeps the keys in
// a KeyMap; the table's own indexes are not walked, since the map answers
// every later lookup from memory and also covers column sets no index has.
#include "db/jet/jet_table.h"

#include <algorithm>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/table_writer.h"

namespace addbook::jet {

JetTable::JetTable(PageFile& file, TableDef def) : file_(file), def_(std::move(def)) {
  for (const Column& column : def_.columns) column_names_.push_back(column.name);
}

JetTable::~JetTable() = default;

UsageMap& JetTable::used_pages() {
  if (!used_pages_) used_pages_.emplace(UsageMap::Read(file_, def_.used_pages));
  return *used_pages_;
}

UsageMap& JetTable::free_space_pages() {
  if (!free_space_pages_) free_space_pages_.emplace(UsageMap::Read(file_, def_.free_space_pages));
  return *free_space_pages_;
}

void JetTable::Scan(const std::function<void(RowId, const RowView&)>& visit) {
  ScanRows(file_, def_, used_pages(), visit);
}

std::vector<RowId> JetTable::Find(const std::vector<size_t>& columns,
                                  const std::vector<int64_t>& values) {
  if (columns.size() != values.size()) {
    throw Error(errors::kInvalidArgument, "Find takes one value per column");
  }
  for (size_t c : columns) {
    if (c >= def_.columns.size() || !IsWholeNumber(def_.columns[c].type)) {
      throw Error(errors::kTypeMismatch,
                  "Rows of " + Utf16ToUtf8(def_.name) + " are found only by whole-number columns" +
                      (c < def_.columns.size() ? ", not by " + Utf16ToUtf8(def_.columns[c].name)
                                               : std::string()));
    }
  }
  if (columns.empty()) {
    std::vector<RowId> rows;
    Scan([&](RowId id, const RowView&) { rows.push_back(id); });
    return rows;
  }
  return MapFor(columns).Find(values);
}

KeyMap& JetTable::MapFor(const std::vector<size_t>& columns) {
  for (const auto& map : key_maps_) {
    if (map->columns() == columns) return *map;
  }
  auto map = std::make_unique<KeyMap>(columns);
  std::vector<int64_t> key(columns.size());
  Scan([&](RowId id, const RowView& row) {
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::optional<int64_t> value = row.WholeNumber(def_.columns[columns[i]]);
      if (!value) return;  // a Null matches no number
      key[i] = *value;
    }
    map->Add(key, id);
  });
  key_maps_.push_back(std::move(map));
  return *key_maps_.back();
}

std::vector<Variant> JetTable::Read(RowId row) {
  const std::optional<RowBytes> bytes = LocateRow(file_, row);
  if (!bytes || row.page == 0 || Get32(bytes->page.data() + kDataOwner) != def_.page) {
    throw errors::NoCurrentRecord();
  }
  const RowView view(def_, bytes->bytes, file_.header());
  std::vector<Variant> values;
  values.reserve(def_.columns.size());
  for (const Column& column : def_.columns) values.push_back(view.Value(file_, column));
  return values;
}

RowId JetTable::Insert(const std::vector<size_t>& columns, const std::vector<Variant>& values) {
  if (!writer_) writer_ = std::make_unique<TableWriter>(*this);
  return writer_->Insert(columns, values);
}

void JetTable::Update(RowId row, const std::vector<size_t>& columns,
                      const std::vector<Variant>& values) {
  if (!writer_) writer_ = std::make_unique<TableWriter>(*this);
  writer_->Update(row, columns, values);
}

std::optional<std::vector<int64_t>> JetTable::KeyOf(const KeyMap& map,
                                                    const std::vector<Variant>& row) {
  std::vector<int64_t> key;
  for (size_t c : map.columns()) {
    if (c >= row.size() || row[c].type() != Variant::Type::kInteger) return std::nullopt;
    key.push_back(row[c].integer());
  }
  return key;
}

void JetTable::NoteInserted(RowId id, const std::vector<Variant>& row) {
  for (const auto& map : key_maps_) {
    if (const auto key = KeyOf(*map, row)) map->Add(*key, id);
  }
}

void JetTable::NoteUpdated(RowId id, const std::vector<Variant>& before,
                           const std::vector<Variant>& after) {
  for (const auto& map : key_maps_) {
    const auto old_key = KeyOf(*map, before);
    const auto new_key = KeyOf(*map, after);
    if (old_key == new_key) continue;
    if (old_key) map->Remove(*old_key, id);
    if (new_key) map->Add(*new_key, id);
  }
}

}  // namespace addbook::jet
