// One table of an open Access file: the Table that database.h promises,
// with what the row writer and the indexes need to change it.
//
// Insert and Update are the TableWriter's (table_writer.h).  Reading scans
// the pages of the table's used-pages map in page order and
// each page's rows in row-table order: the table's physical order.  Find
// builds a KeyMap of the table once per set of columns; the writer reports
// every row it stores (NoteInserted, NoteUpdated) so the maps stay true.
#ifndef ADDBOOK_DB_JET_JET_TABLE_H_
#define ADDBOOK_DB_JET_JET_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/database.h"
#include "db/jet/key_map.h"
#include "db/jet/page_file.h"
#include "db/jet/row.h"
#include "db/jet/table_def.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {

class TableWriter;

class JetTable final : public Table {
 public:
  // A table of |file|, which must outlive it.
  JetTable(PageFile& file, TableDef def);
  ~JetTable() override;

  const std::u16string& name() const override { return def_.name; }
  const std::vector<std::u16string>& column_names() const override { return column_names_; }
  std::vector<RowId> Find(const std::vector<size_t>& columns,
                          const std::vector<int64_t>& values) override;
  std::vector<Variant> Read(RowId row) override;
  RowId Insert(const std::vector<size_t>& columns, const std::vector<Variant>& values) override;
  void Update(RowId row, const std::vector<size_t>& columns,
              const std::vector<Variant>& values) override;

  PageFile& file() { return file_; }
  // The definition; the writer changes its counters and then calls
  // WriteCounters.
  TableDef& def() { return def_; }
  UsageMap& used_pages();
  UsageMap& free_space_pages();

  // Calls |visit| for every row of the table in physical order, with the
  // row's id (its first place) and its bytes.
  void Scan(const std::function<void(RowId, const RowView&)>& visit);

  // Keeps the key maps built so far true after the writer stored a new row
  // |id| holding |row| (every column's value, in column order).
  void NoteInserted(RowId id, const std::vector<Variant>& row);
  // The same after row |id| changed from |before| to |after|.
  void NoteUpdated(RowId id, const std::vector<Variant>& before, const std::vector<Variant>& after);

 private:
  KeyMap& MapFor(const std::vector<size_t>& columns);
  // The key of |row| for |map|'s columns; nothing when one of them is Null
  // or not a whole number.
  static std::optional<std::vector<int64_t>> KeyOf(const KeyMap& map,
                                                   const std::vector<Variant>& row);

  PageFile& file_;
  TableDef def_;
  std::vector<std::u16string> column_names_;
  std::optional<UsageMap> used_pages_;
  std::optional<UsageMap> free_space_pages_;
  std::vector<std::unique_ptr<KeyMap>> key_maps_;
  std::unique_ptr<TableWriter> writer_;  // made at the first change
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_JET_TABLE_H_
