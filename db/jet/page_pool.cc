#include "db/jet/page_pool.h"

#include <algorithm>

#include "db/jet/data_page.h"
#include "db/jet/format.h"

namespace addbook::jet {
namespace {

// A page with fewer free bytes than this is full: no row but the shortest
// would fit, so it leaves the free-space map.
constexpr uint16_t kMinRoom = 64;

bool Open(std::span<const uint8_t> page) {
  return IsPacked(page) && RowCount(page) < kMaxRowsPerPage && FreeBytes(page) >= kMinRoom;
}

}  // namespace

PagePool::PagePool(PageFile& file, uint32_t owner, UsageMap* used, UsageMap* free_space, Pick pick)
    : file_(file), owner_(owner), pick_(pick), used_(used), free_space_(free_space) {}

bool PagePool::Owns(uint32_t page) const {
  return used_ ? used_->Contains(page) : made_.contains(page);
}

void PagePool::Load() {
  loaded_ = true;
  if (!free_space_) return;
  for (uint32_t number : free_space_->Pages()) {
    if (number >= file_.page_count() || !Owns(number)) continue;
    const PageRef page = file_.ReadPage(number);
    if (page.data()[0] != kPageData || Get32(page.data() + kDataOwner) != owner_) continue;
    if (!Open(page.span())) continue;
    room_[number] = FreeBytes(page.span());
    by_room_.emplace(FreeBytes(page.span()), number);
  }
}

void PagePool::Forget(uint32_t page) {
  const auto it = room_.find(page);
  if (it == room_.end()) return;
  by_room_.erase({it->second, page});
  room_.erase(it);
}

WritablePage PagePool::PageFor(size_t size) {
  if (!loaded_) Load();
  // The fullest page with room first; one whose bytes disagree with what
  // the pool knew is filed again under its true room.
  // No page holds more than 0xFFFF bytes.
  const size_t need = std::min<size_t>(size + kRowSlotSize, 0xFFFF);
  if (pick_ == Pick::kLast) {
    if (!last_ && !room_.empty()) {
      last_ = std::max_element(room_.begin(), room_.end())->first;
    }
    if (last_ && FitsNewRow(file_.ReadPage(*last_).span(), size)) return file_.WritePage(*last_);
  }
  std::pair<uint16_t, uint32_t> from{static_cast<uint16_t>(need), 0};
  for (auto it = pick_ == Pick::kLast ? by_room_.end() : by_room_.lower_bound(from);
       it != by_room_.end(); it = by_room_.lower_bound(from)) {
    const uint32_t number = it->second;
    from = {it->first, number + 1};
    const PageRef page = file_.ReadPage(number);
    if (FitsNewRow(page.span(), size)) return file_.WritePage(number);
    Forget(number);
    if (Open(page.span())) {
      room_[number] = FreeBytes(page.span());
      by_room_.emplace(FreeBytes(page.span()), number);
    }
  }
  WritablePage page = file_.AllocatePage();
  InitDataPage(page.span(), owner_);
  if (used_) {
    used_->Add(file_, page.number());
    free_space_->Add(file_, page.number());
  } else {
    made_.insert(page.number());
  }
  room_[page.number()] = FreeBytes(page.span());
  by_room_.emplace(FreeBytes(page.span()), page.number());
  last_ = page.number();
  return page;
}

void PagePool::Changed(const WritablePage& page) {
  if (!loaded_) Load();
  const uint32_t number = page.number();
  if (!Owns(number)) return;
  Forget(number);
  const bool open = Open(page.span());
  if (open) {
    room_[number] = FreeBytes(page.span());
    by_room_.emplace(FreeBytes(page.span()), number);
  }
  if (free_space_ && open != free_space_->Contains(number)) {
    if (open) {
      free_space_->Add(file_, number);
    } else {
      free_space_->Remove(file_, number);
    }
  }
}

}  // namespace addbook::jet
