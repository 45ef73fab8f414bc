// Insert and Update in two halves.  The first reads only: it converts every
// value for its column, checks what Jet checks, decides each long value's
// form and the row's size, and asks every index how the row enters it.  The
// second writes: long values, the row, the index entries, the counters.  A
// refusal can only come from the first half, so a refused change leaves
// every page as it was.
//
// An update puts the row back in its place, growing or shrinking it there
// when the page has room; otherwise the row goes to another page, flagged
// deleted there so that scans pass it by, and its first place keeps only a
// 4-byte pointer to it, flagged as moved.  A row moved before and moving
// again frees its last place.  Indexes and key maps keep pointing to the
// first place, which never changes.
#include "db/jet/table_writer.h"

#include <algorithm>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <unordered_map>

#include "base/error.h"
#include "db/jet/data_page.h"
#include "db/jet/format.h"
#include "db/jet/index.h"
#include "db/jet/jet_table.h"
#include "db/jet/long_value_writer.h"
#include "db/jet/page_pool.h"
#include "db/jet/refusals.h"
#include "db/jet/row.h"
#include "db/jet/row_encode.h"
#include "db/jet/table_def.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

// The most bytes a row may hold, long values on their own pages aside: Jet's
// limit of a record, 4060 bytes on 4096-byte pages, 2012 on Jet 3's 2048.
size_t MaxRowSize(size_t page_size) { return page_size - 36; }

std::span<const uint8_t> AsBytes(std::string_view bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

// A new random GUID in its text form, for a Replication ID AutoNumber.
std::u16string NewGuid() {
  static std::random_device device;
  static std::mt19937_64 random(device() ^ (uint64_t{device()} << 32));
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = u"{";
  const uint64_t parts[2] = {random(), random()};
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text += u'-';
    text += kDigits[(parts[i / 16] >> (4 * (i % 16))) & 0xF];
  }
  return text + u"}";
}

}  // namespace

class TableWriter::State {
 public:
  explicit State(JetTable& table)
      : file(table.file()),
        def(table.def()),
        rows(file, def.page, &table.used_pages(), &table.free_space_pages()) {
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      Index index;
      index.def = DescribeIndex(def, i);
      index.real = i;
      index.pages = IndexPagesOf(file, def.real_indexes[i].usage_map);
      index.tree = std::make_unique<IndexTree>(*index.pages, index.def.root_page);
      indexes.push_back(std::move(index));
    }
  }

  // The store of the long values of column |column| (an index into
  // def.columns), made at its first use.
  LongValueStore& LongValues(size_t column);

  // Converts |value| for column |column| and refuses it as Jet would.
  ColumnValue Check(size_t column, const Variant& value) const;

  // Completes |fields| for the long values still to write (long_values[i],
  // the value of column i): each field becomes a placeholder of the size it
  // will have, in the form kinds[i] (LongValueKind).  Throws
  // refusals::RecordTooLarge when the row cannot hold its fields.
  void Plan(std::vector<Field>& fields, const std::vector<std::optional<std::string>>& long_values,
            std::vector<uint8_t>& kinds) const;

  PageFile& file;
  TableDef& def;
  PagePool rows;

  struct Index {
    IndexDef def;
    size_t real = 0;
    std::unique_ptr<IndexPages> pages;
    std::unique_ptr<IndexTree> tree;
  };
  std::vector<Index> indexes;

 private:
  struct LongValueColumn {
    std::optional<UsageMap> used;
    std::optional<UsageMap> free_space;
    std::unique_ptr<PagePool> pool;
    std::unique_ptr<LongValueStore> store;
  };
  std::unordered_map<size_t, LongValueColumn> long_values_;
};

LongValueStore& TableWriter::State::LongValues(size_t column) {
  LongValueColumn& lv = long_values_[column];
  if (!lv.store) {
    const uint16_t number = def.columns[column].number;
    for (const TableDef::LongValueMaps& maps : def.long_value_maps) {
      if (maps.column_number != number) continue;
      lv.used.emplace(UsageMap::Read(file, maps.used_pages));
      lv.free_space.emplace(UsageMap::Read(file, maps.free_space_pages));
    }
    lv.pool = std::make_unique<PagePool>(
        file, kLongValueOwner, lv.used ? &*lv.used : nullptr,
        lv.free_space ? &*lv.free_space : nullptr,
        file.header().jet3() ? PagePool::Pick::kLast : PagePool::Pick::kFullest);
    lv.store = std::make_unique<LongValueStore>(file, *lv.pool);
  }
  return *lv.store;
}

ColumnValue TableWriter::State::Check(size_t index, const Variant& value) const {
  const Column& column = def.columns[index];
  ColumnValue converted = ConvertValue(column, value, file.header());
  if (column.type == ColumnType::kBoolean) {
    // Yes/No is never Null: Null is No.
    if (converted.value.is_null()) converted.value = Variant(int64_t{0});
    return converted;
  }
  if (converted.value.is_null()) {
    if (column.required) throw refusals::RequiredNull(def.name, column.name);
    return converted;
  }
  if (column.text()) {
    const size_t length = converted.value.text().size();
    if (column.type == ColumnType::kText && length > column.max_chars()) {
      throw errors::FieldTooSmall(column.name, length, column.max_chars());
    }
    if (length == 0 && !column.allow_zero_length) {
      throw refusals::ZeroLength(def.name, column.name);
    }
  } else if (column.type == ColumnType::kBinary && converted.bytes.size() > column.length) {
    throw errors::FieldTooSmall(column.name, converted.bytes.size(), column.length);
  }
  return converted;
}

void TableWriter::State::Plan(std::vector<Field>& fields,
                              const std::vector<std::optional<std::string>>& long_values,
                              std::vector<uint8_t>& kinds) const {
  // Every long value to write first counts its header only; then, in the
  // order of the row's variable columns, each is inline when it is short and
  // the row still has room for it.
  for (size_t i = 0; i < fields.size(); ++i) {
    if (long_values[i]) fields[i] = Field{true, std::string(kLongValueHeaderSize, '\0')};
  }
  const size_t max_row = MaxRowSize(file.page_size());
  size_t size = EncodeRow(def, file.header(), fields).size();
  if (size > max_row) throw refusals::RecordTooLarge();
  std::vector<size_t> order;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (long_values[i]) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [this](size_t a, size_t b) {
    return def.columns[a].var_index < def.columns[b].var_index;
  });
  for (size_t i : order) {
    const size_t room = max_row - size + kLongValueHeaderSize;
    kinds[i] = LongValueKind(long_values[i]->size(), room, file.page_size());
    const size_t field_size = LongValueFieldSize(kinds[i], long_values[i]->size());
    fields[i].bytes.resize(field_size);
    size += field_size - kLongValueHeaderSize;
  }
}

TableWriter::TableWriter(JetTable& table) : table_(table) {}

TableWriter::~TableWriter() = default;

TableWriter::State& TableWriter::Prepare(std::string_view what, const std::vector<size_t>& columns,
                                         const std::vector<Variant>& values) {
  if (!state_) state_ = std::make_unique<State>(table_);
  if (columns.size() != values.size()) {
    throw Error(addbook::errors::kInvalidArgument,
                std::string(what) + " takes one value per column");
  }
  for (size_t c : columns) {
    if (c >= state_->def.columns.size()) throw addbook::errors::ItemNotFound();
  }
  return *state_;
}

RowId TableWriter::Insert(const std::vector<size_t>& columns, const std::vector<Variant>& values) {
  State& s = Prepare("Insert", columns, values);
  TableDef& def = s.def;
  const size_t count = def.columns.size();

  // What every column gets.
  std::vector<std::optional<Variant>> given(count);
  for (size_t i = 0; i < columns.size(); ++i) given[columns[i]] = values[i];
  uint32_t last_auto_number = def.last_auto_number;
  std::vector<ColumnValue> row;
  std::vector<Variant> stored;  // as Read will give the row back
  row.reserve(count);
  stored.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const Column& column = def.columns[i];
    Variant value;
    if (given[i] && !given[i]->is_null()) {
      value = *given[i];
    } else if (column.auto_number()) {
      value = Variant(int64_t{last_auto_number} + 1);
    } else if (column.auto_guid()) {
      value = Variant(NewGuid());
    } else if (!given[i] && column.default_value) {
      value = *column.default_value;
    }
    row.push_back(s.Check(i, value));
    stored.push_back(row.back().value);
    if (column.auto_number() && column.type == ColumnType::kLong) {
      const int64_t number = stored.back().integer();
      if (number > int64_t{last_auto_number}) last_auto_number = static_cast<uint32_t>(number);
    }
  }

  // The row as it will be stored, long values still to write.
  std::vector<Field> fields(count);
  std::vector<std::optional<std::string>> long_values(count);
  std::vector<uint8_t> kinds(count, kLongValueInline);
  for (size_t i = 0; i < count; ++i) {
    ColumnValue& c = row[i];
    if (def.columns[i].type == ColumnType::kBoolean) {
      fields[i].present = c.value.integer() != 0;
    } else if (!c.value.is_null()) {
      if (def.columns[i].long_value()) {
        long_values[i] = std::move(c.bytes);
      } else {
        fields[i] = Field{true, std::move(c.bytes)};
      }
    }
  }
  s.Plan(fields, long_values, kinds);

  std::vector<std::optional<std::string>> keys(s.indexes.size());
  for (size_t i = 0; i < s.indexes.size(); ++i) {
    State::Index& index = s.indexes[i];
    AdmissionResult admission = Admit(index.def, *index.tree, stored);
    switch (admission.admission) {
      case Admission::kAdd:
        keys[i] = std::move(admission.key);
        break;
      case Admission::kSkip:
        break;
      case Admission::kNull:
        throw refusals::NullInIndex();
      case Admission::kDuplicate:
        throw refusals::DuplicateKey();
      case Admission::kUnwritable:
        // A key that cannot be written exactly would leave the index wrong
        // for Jet; failing this row alone would lose it from the book.  The
        // error ends the import, and the host keeps what it held.
        throw Error(addbook::errors::kNotADatabase,
                    u"The index " + index.def.name + u" of the table " + def.name +
                        u" has a Text key that the native engine cannot write exactly for a "
                        u"value of this row (a character whose place in the file's sort order "
                        u"it does not know), so it stores nothing of the book; the Windows build "
                        u"of the installer, with Microsoft's Access driver installed, can write "
                        u"it");
    }
  }

  // Nothing was refused: from here on pages change.
  for (size_t i = 0; i < count; ++i) {
    if (long_values[i]) fields[i].bytes = s.LongValues(i).Write(*long_values[i], kinds[i]);
  }
  const std::string bytes = EncodeRow(def, s.file.header(), fields);
  WritablePage page = s.rows.PageFor(bytes.size());
  const RowId id{page.number(), AddRow(page.span(), AsBytes(bytes), 0)};
  s.rows.Changed(page);
  for (size_t i = 0; i < s.indexes.size(); ++i) {
    if (keys[i] && s.indexes[i].tree->Insert(*keys[i], id)) {
      ++def.real_indexes[s.indexes[i].real].row_count;
    }
  }
  ++def.row_count;
  def.last_auto_number = last_auto_number;
  WriteCounters(s.file, def);
  table_.NoteInserted(id, stored);
  return id;
}

void TableWriter::Update(RowId id, const std::vector<size_t>& columns,
                         const std::vector<Variant>& values) {
  State& s = Prepare("Update", columns, values);
  TableDef& def = s.def;
  const size_t count = def.columns.size();

  // The row as it is: its place, its values, and what it stores for each
  // column (copied, since its page is about to change).
  const std::optional<RowBytes> located = id.page == 0 ? std::nullopt : LocateRow(s.file, id);
  if (!located || Get32(located->page.data() + kDataOwner) != def.page) {
    throw addbook::errors::NoCurrentRecord();
  }
  const RowId at = located->at;
  const size_t old_size = located->bytes.size();
  const RowView old_row(def, located->bytes, s.file.header());
  std::vector<Variant> before;
  std::vector<Field> fields(count);
  before.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const Column& column = def.columns[i];
    before.push_back(old_row.Value(s.file, column));
    if (column.type == ColumnType::kBoolean) {
      fields[i].present = old_row.BoolValue(column);
    } else if (!old_row.IsNull(column)) {
      const std::span<const uint8_t> stored = old_row.Bytes(column);
      fields[i] = Field{true, std::string(stored.begin(), stored.end())};
    }
  }

  // The new values, checked.
  std::vector<Variant> after = before;
  std::vector<bool> changed(count, false);
  std::vector<std::optional<std::string>> long_values(count);
  std::vector<uint8_t> kinds(count, kLongValueInline);
  std::vector<std::optional<std::string>> old_long_values(count);
  for (size_t n = 0; n < columns.size(); ++n) {
    const size_t i = columns[n];
    const Column& column = def.columns[i];
    ColumnValue c = s.Check(i, values[n]);
    if ((column.auto_number() || column.auto_guid()) && c.value != before[i]) {
      throw refusals::FieldNotUpdatable();
    }
    if (column.long_value() && fields[i].present && !changed[i]) {
      old_long_values[i] = fields[i].bytes;
    }
    changed[i] = true;
    after[i] = c.value;
    if (column.type == ColumnType::kBoolean) {
      fields[i] = Field{c.value.integer() != 0, {}};
    } else if (c.value.is_null()) {
      fields[i] = Field{};
      long_values[i].reset();
    } else if (column.long_value()) {
      long_values[i] = std::move(c.bytes);
    } else {
      fields[i] = Field{true, std::move(c.bytes)};
      long_values[i].reset();
    }
  }
  for (const State::Index& index : s.indexes) {
    if (std::any_of(index.def.columns.begin(), index.def.columns.end(),
                    [&](const IndexColumn& k) { return before[k.column] != after[k.column]; })) {
      throw addbook::errors::NotUpdatable(u"The key of the index " + index.def.name +
                                          u" of the table " + def.name +
                                          u" cannot be changed by this engine.");
    }
  }
  s.Plan(fields, long_values, kinds);

  // Nothing was refused: from here on pages change.
  for (size_t i = 0; i < count; ++i) {
    if (long_values[i]) fields[i].bytes = s.LongValues(i).Write(*long_values[i], kinds[i]);
  }
  std::string bytes = EncodeRow(def, s.file.header(), fields);
  const uint16_t flags = at == id ? 0 : kRowDeleted;
  WritablePage page = s.file.WritePage(at.page);
  const bool packed = IsPacked(page.span());
  if (packed ? bytes.size() <= old_size + FreeBytes(page.span()) : bytes.size() <= old_size) {
    if (!packed) bytes = EncodeRow(def, s.file.header(), fields, old_size);
    ReplaceRow(page.span(), at.row, AsBytes(bytes), flags);
    s.rows.Changed(page);
  } else {
    WritablePage target = s.rows.PageFor(bytes.size());
    const RowId now{target.number(), AddRow(target.span(), AsBytes(bytes), kRowDeleted)};
    s.rows.Changed(target);
    uint8_t pointer[4];
    PutRowPointer(pointer, now);
    WritablePage first = s.file.WritePage(id.page);
    ReplaceRow(first.span(), id.row, pointer, kRowMoved);
    s.rows.Changed(first);
    if (at != id) {
      FreeRow(page.span(), at.row, kRowDeleted | kRowMoved);
      s.rows.Changed(page);
    }
  }
  for (size_t i = 0; i < count; ++i) {
    if (old_long_values[i]) s.LongValues(i).Free(AsBytes(*old_long_values[i]));
  }
  table_.NoteUpdated(id, before, after);
}

}  // namespace addbook::jet
