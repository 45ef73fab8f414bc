// The page cache is a list in order of use.  Trim lets go of the least
// recently used pages that no caller holds once the cache is over its bound,
// writing changed ones back first: the file is the engine's private copy, so
// a changed page may reach it at any time before Flush.  Pages allocated at
// the end of the file exist only in the cache until written; one written
// before a lower new page leaves a gap that the lower one fills later.
#include "db/jet/page_file.h"

#include <algorithm>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {

std::unique_ptr<PageFile> PageFile::Open(const std::filesystem::path& path, size_t cache_bytes) {
  std::unique_ptr<PageFile> file(new PageFile());
  file->path_ = path;
  file->cache_bytes_ = cache_bytes;
  file->file_ = RandomAccessFile::Open(path);
  const uint64_t size = file->file_->Size();
  std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kPageSize)));
  file->file_->Read(0, head);
  file->header_ = DecodeHeader(head, path);
  const uint32_t page_size = file->header_.page_size;
  if (size % page_size != 0) {
    throw errors::DatabaseOpen(errors::kNotADatabase, PathToUtf8(path),
                               "it is cut short: " + std::to_string(size) +
                                   " bytes, not a whole number of " + std::to_string(page_size) +
                                   "-byte pages");
  }
  if (size < 3 * page_size) {
    throw errors::DatabaseOpen(
        errors::kNotADatabase, PathToUtf8(path),
        "it is cut short: " + std::to_string(size) + " bytes, too few to hold its catalogue");
  }
  if (size / page_size > 0xFFFFFF) {
    throw errors::DatabaseOpen(errors::kNotADatabase, PathToUtf8(path),
                               "it has more pages than an Access file can have");
  }
  file->page_count_ = static_cast<uint32_t>(size / page_size);
  return file;
}

PageFile::~PageFile() = default;

std::shared_ptr<Page> PageFile::Load(uint32_t number) {
  if (auto it = index_.find(number); it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return *it->second;
  }
  if (number >= page_count_) {
    throw Damaged("page " + std::to_string(number) + " is past the file's end (" +
                  std::to_string(page_count_) + " pages)");
  }
  auto page = std::make_shared<Page>();
  page->number = number;
  page->bytes.resize(page_size());
  file_->Read(static_cast<uint64_t>(number) * page_size(), page->bytes);
  if (number == 0) ApplyHeaderMask(page->bytes);
  lru_.push_front(page);
  index_[number] = lru_.begin();
  Trim();
  return page;
}

PageRef PageFile::ReadPage(uint32_t number) { return PageRef(Load(number)); }

WritablePage PageFile::WritePage(uint32_t number) {
  std::shared_ptr<Page> page = Load(number);
  page->changed = true;
  return WritablePage(std::move(page));
}

WritablePage PageFile::AllocatePage() {
  UsageMap& free_pages = FreePageMap();
  uint32_t number = page_count_;
  // Pages 0 to 2 hold the header, the free-page map and the catalogue.
  if (std::optional<uint32_t> free = free_pages.Next(3); free && *free < page_count_) {
    number = *free;
  } else {
    ++page_count_;
  }
  free_pages.Remove(*this, number);
  auto page = std::make_shared<Page>();
  page->number = number;
  page->bytes.assign(page_size(), 0);
  page->changed = true;
  if (auto it = index_.find(number); it != index_.end()) {
    **it->second = std::move(*page);
    lru_.splice(lru_.begin(), lru_, it->second);
    return WritablePage(*it->second);
  }
  lru_.push_front(page);
  index_[number] = lru_.begin();
  Trim();
  return WritablePage(std::move(page));
}

void PageFile::FreePage(uint32_t number) { FreePageMap().Add(*this, number); }

UsageMap& PageFile::FreePageMap() {
  if (!free_pages_) {
    free_pages_ = std::make_unique<UsageMap>(UsageMap::Read(*this, kFreePageMap));
    free_pages_->set_free_page_map();
  }
  return *free_pages_;
}

void PageFile::WriteBack(Page& page) {
  if (page.number == 0) {
    std::vector<uint8_t> masked = page.bytes;
    ApplyHeaderMask(masked);
    file_->Write(0, masked);
  } else {
    file_->Write(static_cast<uint64_t>(page.number) * page_size(), page.bytes);
  }
  page.changed = false;
}

void PageFile::Trim() {
  const size_t limit = std::max<size_t>(cache_bytes_ / page_size(), 16);
  if (lru_.size() <= limit) return;
  // From the least recently used end; pages a caller holds stay.
  for (auto it = std::prev(lru_.end()); lru_.size() > limit;) {
    const bool first = it == lru_.begin();
    auto here = it;
    if (!first) --it;
    if (here->use_count() == 1) {
      Page& page = **here;
      if (page.changed) WriteBack(page);
      index_.erase(page.number);
      lru_.erase(here);
    }
    if (first) break;
  }
}

void PageFile::Flush() {
  std::vector<Page*> changed;
  for (const auto& page : lru_) {
    if (page->changed) changed.push_back(page.get());
  }
  std::sort(changed.begin(), changed.end(),
            [](const Page* a, const Page* b) { return a->number < b->number; });
  for (Page* page : changed) WriteBack(*page);
  file_->Sync();
}

}  // namespace addbook::jet
