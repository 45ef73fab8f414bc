// A usage map: a set of page numbers kept as a bitmap in one row of a data
// page.  Tables keep two (the pages they own, and those of them with free
// space), every index one, and the file one of its free pages (page 1, row 0).
//
// Row layout, by its first byte:
//   type 0 (inline):    00, start page (4), bitmap: bit i of byte j stands
//                       for page start + 8*j + i.
//   type 1 (reference): 01, then 4-byte page numbers of kPageUsageMap pages,
//                       0 for none; map page k covers pages
//                       k * (page_size - 4) * 8 onwards, its bitmap starting
//                       at byte 4 of the page.
// Add and Remove change the pages at once, through the PageFile.
#ifndef ADDBOOK_DB_JET_USAGE_MAP_H_
#define ADDBOOK_DB_JET_USAGE_MAP_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "db/jet/database.h"

namespace addbook::jet {

class PageFile;

class UsageMap {
 public:
  // Reads the map stored in row |where|.  Throws errors::DatabaseOpen
  // (kNotADatabase) when the row is missing or of an unknown type.
  static UsageMap Read(PageFile& file, RowId where);

  RowId where() const { return where_; }
  bool Contains(uint32_t page) const;
  // Every page in the map, ascending.
  std::vector<uint32_t> Pages() const;
  // The first page in the map that is >= |from|, if any.
  std::optional<uint32_t> Next(uint32_t from) const;

  // Sets |page|'s bit.  An inline map that does not reach the page moves its
  // window when every page it holds still fits, and otherwise turns into a
  // reference map in the same row; a reference map gets a new map page when
  // the page's map page is missing.  Throws Error when the row is too short
  // to reach the page at all.
  void Add(PageFile& file, uint32_t page);
  // Clears |page|'s bit; nothing when it is not in the map.
  void Remove(PageFile& file, uint32_t page);

  // For the file's free-page map: pages outside the inline window count as
  // free (Contains is true past the window), and Remove of such a page moves
  // the window forward to it instead of growing the map.
  void set_outside_is_set(bool on) { outside_is_set_ = on; }

 private:
  UsageMap() = default;
  void Load(PageFile& file);

  RowId where_;
  uint8_t type_ = 0;
  uint32_t start_ = 0;               // inline: first page covered
  size_t bitmap_bytes_ = 0;          // inline: bytes of bitmap in the row
  std::vector<uint32_t> map_pages_;  // reference: page of each map page, 0 none
  uint32_t bits_per_map_page_ = 0;   // reference: pages a map page covers
  std::vector<bool> bits_;           // in memory: bit of page start_ + i
  bool outside_is_set_ = false;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_USAGE_MAP_H_
