// An Access database file (Jet 3, Jet 4 or ACE), read and written by this
// program itself: its tables, their rows and their indexes, page by page.
//
// A Database works on one file that no one else writes while it is open (the
// engine hands it a private copy of the host's file).  Every change goes to
// that file's pages at once, and Flush makes them durable; pages that nothing
// changed keep their bytes.  A refused change (a Required column left Null, a
// text too long for its column, a duplicate in a unique index) is found before
// any page changes, so the file is as before.  A failure while pages are being
// written (a full disk, an I/O error) leaves the file unusable: the caller
// throws it away.
#ifndef ADDBOOK_DB_JET_DATABASE_H_
#define ADDBOOK_DB_JET_DATABASE_H_

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/variant.h"

namespace addbook::jet {

// Where a row lives: its data page and its number in that page's row table.
// A row that an update moved to another page keeps its first place, which
// then points to where the row is now.
struct RowId {
  uint32_t page = 0;
  uint16_t row = 0;
  auto operator<=>(const RowId&) const = default;
};

class Table {
 public:
  virtual ~Table() = default;

  // The table's name as the catalogue spells it.
  virtual const std::u16string& name() const = 0;
  // The names of its columns, in the table's column order: the order a
  // "SELECT *" gives them in.
  virtual const std::vector<std::u16string>& column_names() const = 0;

  // The rows whose column columns[i] holds the whole number values[i] for
  // every i, in the table's physical order.  No columns: every row.  Fast after
  // the first call: an index covering the columns, or a map of the table's
  // keys built once and kept up to date by Insert, answers it.  Throws Error
  // when a column is not a whole-number column.
  virtual std::vector<RowId> Find(const std::vector<size_t>& columns,
                                  const std::vector<int64_t>& values) = 0;

  // The row's value in every column, in column order: Null, whole numbers
  // (Byte, Integer, Long, Yes/No as 0 or -1), reals (Single, Double,
  // Currency, Date/Time as the number of days since 30 December 1899), text
  // (Text, Memo, Replication ID and Decimal as their text) or bytes (Binary,
  // OLE Object).
  virtual std::vector<Variant> Read(RowId row) = 0;

  // Inserts a row holding values[i] in column columns[i]; every other column
  // gets its AutoNumber, its constant default, or Null.  Keeps every index of
  // the table, its row count and its next AutoNumber.  Throws Error, in Jet's
  // own number and words, when Jet would refuse the row; nothing changes then.
  virtual RowId Insert(const std::vector<size_t>& columns, const std::vector<Variant>& values) = 0;

  // Stores values[i] in column columns[i] of |row|, every other column kept.
  // Throws Error as Insert does, nothing changed then.
  virtual void Update(RowId row, const std::vector<size_t>& columns,
                      const std::vector<Variant>& values) = 0;
};

class Database {
 public:
  virtual ~Database() = default;

  // Opens the Access file at |file| for reading and writing.  Throws Error,
  // saying what was found, for a file this engine does not write: one of an
  // unknown version, an encrypted or password-protected one, a Jet 3
  // (Access 97) file whose text is in a code page other than Windows-1256,
  // or one it cannot read to the end.  Text in Jet 4 and ACE files is
  // Unicode whatever their code page; the sort order matters only to the
  // keys of text indexes, so it keeps no file from opening: UnwritableIndex
  // names an index whose keys this engine cannot write.
  static std::unique_ptr<Database> Open(const std::filesystem::path& file);

  // The table of that name, found without regard to case; null when the file
  // has none.
  virtual Table* FindTable(std::u16string_view name) = 0;

  // When an index of |table| has a key this engine cannot write exactly (a
  // Text column under a sort order it does not know to the byte), the
  // index's name; nothing otherwise.
  virtual std::optional<std::u16string> UnwritableIndex(Table& table) = 0;

  // Writes every changed page and flushes the file to the disk.
  virtual void Flush() = 0;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_DATABASE_H_
