// The rows of a table by the whole numbers in some of its columns: what
// Table::Find answers from once it has read the table.
//
// Keys live in one flat array, with a hash table of chains over them, so
// that 160,000 rows of a 5-column key take about 60 bytes each.
#ifndef ADDBOOK_DB_JET_KEY_MAP_H_
#define ADDBOOK_DB_JET_KEY_MAP_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "db/jet/database.h"

namespace addbook::jet {

class KeyMap {
 public:
  // A map over the columns |columns| (column indexes), empty.
  explicit KeyMap(std::vector<size_t> columns);

  const std::vector<size_t>& columns() const { return columns_; }
  size_t size() const { return rows_.size() - removed_; }

  // Adds row |id| with the key |key| (one value per column).
  void Add(std::span<const int64_t> key, RowId id);
  // Removes row |id| filed under |key|; nothing when it is not there.
  void Remove(std::span<const int64_t> key, RowId id);
  // The rows filed under |key|, in ascending RowId order (the table's
  // physical order).
  std::vector<RowId> Find(std::span<const int64_t> key) const;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  uint64_t Hash(std::span<const int64_t> key) const;
  bool KeyIs(uint32_t entry, std::span<const int64_t> key) const;
  void Grow();

  std::vector<size_t> columns_;
  std::vector<int64_t> keys_;    // columns_.size() values per entry
  std::vector<RowId> rows_;      // per entry; page 0 marks a removed one
  std::vector<uint32_t> next_;   // per entry: next entry of its chain
  std::vector<uint32_t> heads_;  // per bucket: first entry, kNone for none
  size_t removed_ = 0;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_KEY_MAP_H_
