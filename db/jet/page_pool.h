// The data pages of one owner (a table's rows, or one Memo or OLE column's
// long values) that new rows go to: its pages with room, as its free-space
// map lists them, and new pages from the file when none has room.
//
// The free-space map lists an owned page while it has room for a short row;
// a page leaves it when it fills up and comes back when rows on it are freed.
// Pages of the map that are not packed data pages of the owner are left
// alone (see data_page.h).
#ifndef ADDBOOK_DB_JET_PAGE_POOL_H_
#define ADDBOOK_DB_JET_PAGE_POOL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {

class PagePool {
 public:
  // Which page with room a new row goes to: the fullest one (Jet 4), or only
  // the pool's last page, the one it took last or else the highest listed
  // (Jet 3's long values, which Jet writes page after page).
  enum class Pick { kFullest, kLast };

  // The pool of the pages of |owner| (the owner field of its data pages)
  // that |used| lists, with |free_space| listing those with room.  All three
  // must outlive the pool.  Reads nothing until the first PageFor.  Without
  // maps (both null: a long-value column that has none) the pool's pages are
  // those it made itself.
  PagePool(PageFile& file, uint32_t owner, UsageMap* used, UsageMap* free_space,
           Pick pick = Pick::kFullest);

  // A page with room for a new row of |size| bytes (FitsNewRow): the page
  // with room that |pick| allows, else a new data page of the owner, added
  // to both maps.  Reads the pages of the free-space map the first time.
  WritablePage PageFor(size_t size);

  // Records what rows on |page|, a page of the owner, now leave free: the
  // page joins or leaves the free-space map and the pages PageFor picks.
  void Changed(const WritablePage& page);

 private:
  void Load();
  void Forget(uint32_t page);
  bool Owns(uint32_t page) const;

  PageFile& file_;
  uint32_t owner_;
  Pick pick_;
  std::optional<uint32_t> last_;  // Pick::kLast: the page taken last
  UsageMap* used_;
  UsageMap* free_space_;
  std::unordered_set<uint32_t> made_;  // without maps: the pages made here
  bool loaded_ = false;
  // Pages with room, by free bytes then page; and each one's entry.
  std::set<std::pair<uint16_t, uint32_t>> by_room_;
  std::unordered_map<uint32_t, uint16_t> room_;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_PAGE_POOL_H_
