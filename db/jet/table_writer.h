// Rows written into one table of an Access file: Table::Insert and
// Table::Update of database.h, done as Jet does them.
//
// A change is checked whole before any page changes: every value converted
// to its column, a Null in a Required column (3314), a text longer than its
// column (3163), a zero-length text where the column does not allow one
// (3315), a Null in a primary key (3058) and a duplicate in a unique index or
// primary key (3022) are refused in Jet's own number and words, and the file
// is then as it was.  Only then are long values, the row, the indexes and the
// table's counters written, through the PageFile.
//
// Where rows go: the table's pages with room (its free-space map) are tried
// first, then a page from the PageFile (its free-page map, else the end of
// the file), which joins the table's used-pages and free-space maps.  Memo
// and OLE values go in the row when short, else in one row of a long-value
// page, else in a chain of such rows, on pages kept in the column's own maps;
// see long_value_writer.h.
#ifndef ADDBOOK_DB_JET_TABLE_WRITER_H_
#define ADDBOOK_DB_JET_TABLE_WRITER_H_

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "db/jet/database.h"
#include "db/variant.h"

namespace addbook::jet {

class JetTable;

class TableWriter {
 public:
  // The writer of |table|, which must outlive it.  Reads nothing until the
  // first change.
  explicit TableWriter(JetTable& table);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Table::Insert: a new row holding values[i] in column columns[i]; an
  // AutoNumber column left out (or given Null) gets the table's next number,
  // any other column left out its constant default, else Null.  Keeps every
  // index, the table's row count and next AutoNumber, and the table's key
  // maps (JetTable::NoteInserted).  Throws Error as the top of this file
  // says, nothing changed then.
  RowId Insert(const std::vector<size_t>& columns, const std::vector<Variant>& values);

  // Table::Update: stores values[i] in column columns[i] of |row|, every
  // other column kept.  A row that no longer fits in its page moves to
  // another one, its first place pointing there; a long value that changes
  // is written anew and its old rows freed.  Throws Error as Insert does,
  // and errors::NoCurrentRecord when |row| is not a row of the table.
  // Indexes whose columns keep their values are not touched; changing the
  // key of an index is refused (errors::NotUpdatable) before any change.
  void Update(RowId row, const std::vector<size_t>& columns, const std::vector<Variant>& values);

 private:
  class State;
  // The writer's state, made at the first write, once |what|'s arguments are
  // checked: one value per column named, every column one of the table's.
  State& Prepare(std::string_view what, const std::vector<size_t>& columns,
                 const std::vector<Variant>& values);

  JetTable& table_;
  std::unique_ptr<State> state_;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_TABLE_WRITER_H_
