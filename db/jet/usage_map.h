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
// The rows Jet makes are 64 bytes long in Jet 4 and 133 in Jet 3 (a bitmap
// of 1,024 pages, or 33 map pages of 2044 * 8 pages each); the file's
// free-page map is an inline one in both.
// Add and Remove change the pages at once, through the PageFile.
#ifndef ADDBOOK_DB_JET_USAGE_MAP_H_
#define ADDBOOK_DB_JET_USAGE_MAP_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "db/jet/database.h"

namespace addbook::jet {

class PageFile;

class UsageMap {
 public:
  // Reads the map stored in row |where|.  Throws Damaged (format.h) when the
  // row is missing or of an unknown type.
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

  // Makes this map behave as the file's free-page map (set = free): Add of a
  // page outside its inline window does nothing (the page is lost to reuse,
  // which is harmless), and Remove of a page past the window moves the
  // window forward to it, pages that newly enter it marked free only when
  // they are past the file's end.
  void set_free_page_map() { free_page_map_ = true; }

 private:
  UsageMap() = default;
  void Load(PageFile& file);
  bool Bit(size_t i) const { return bitmap_[i / 8] >> (i % 8) & 1; }
  // Pages the map covers: every bit of its bitmap.
  size_t bit_count() const { return bitmap_.size() * 8; }
  // Sets or clears |page|'s bit, in memory and in the file; |page| is
  // covered by the map.
  void SetBit(PageFile& file, uint32_t page, bool on);
  // An inline map rewritten to cover pages from |start|, holding |pages|.
  void MoveWindow(PageFile& file, uint32_t start, const std::vector<uint32_t>& pages);
  // An inline map turned into a reference map holding |pages|.
  void MakeReference(PageFile& file, const std::vector<uint32_t>& pages);
  // A new, empty map page for the k-th range of pages.
  void AddMapPage(PageFile& file, size_t k);

  RowId where_;
  uint8_t type_ = 0;
  uint32_t start_ = 0;               // inline: first page covered
  size_t bitmap_bytes_ = 0;          // inline: bytes of bitmap in the row
  std::vector<uint32_t> map_pages_;  // reference: page of each map page, 0 none
  uint32_t bits_per_map_page_ = 0;   // reference: pages a map page covers
  // In memory, laid out as the file's bitmaps: page start_ + i is bit i % 8
  // of byte i / 8.
  std::vector<uint8_t> bitmap_;
  bool free_page_map_ = false;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_USAGE_MAP_H_
