// The Access file as numbered pages: every read and write of the engine goes
// through here.
//
// Pages are cached up to a fixed number of bytes; a changed page stays in
// memory until Flush or until the cache writes it back to make room.  A page
// that a caller still holds (a PageRef or WritablePage alive) is never let go,
// so a pointer into it stays valid as long as the handle lives.  Page 0 is
// kept unmasked in memory and masked again when written.
#ifndef ADDBOOK_DB_JET_PAGE_FILE_H_
#define ADDBOOK_DB_JET_PAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "db/jet/file_io.h"
#include "db/jet/format.h"

namespace addbook::jet {

class UsageMap;

// The bytes of one page, shared between the cache and its users.
struct Page {
  uint32_t number = 0;
  std::vector<uint8_t> bytes;  // page_size() bytes
  bool changed = false;
};

// Read-only and writable handles on a cached page.
class PageRef {
 public:
  PageRef() = default;
  explicit PageRef(std::shared_ptr<const Page> page) : page_(std::move(page)) {}
  const uint8_t* data() const { return page_->bytes.data(); }
  size_t size() const { return page_->bytes.size(); }
  uint32_t number() const { return page_->number; }
  std::span<const uint8_t> span() const { return page_->bytes; }

 private:
  std::shared_ptr<const Page> page_;
};

class WritablePage {
 public:
  WritablePage() = default;
  explicit WritablePage(std::shared_ptr<Page> page) : page_(std::move(page)) {}
  uint8_t* data() const { return page_->bytes.data(); }
  size_t size() const { return page_->bytes.size(); }
  uint32_t number() const { return page_->number; }
  std::span<uint8_t> span() const { return page_->bytes; }

 private:
  std::shared_ptr<Page> page_;
};

class PageFile {
 public:
  // Opens the file at |path| for reading and writing and decodes its header.
  // Throws errors::DatabaseOpen: kDatabaseNotFound when there is no such
  // file, kNotADatabase for a file this engine refuses (see DecodeHeader) or
  // whose size is not a whole number of pages or too small for a catalogue,
  // kCannotOpenDatabase when it cannot be opened for writing.  |cache_bytes|
  // bounds the pages kept in memory, pages a caller holds aside.
  static std::unique_ptr<PageFile> Open(const std::filesystem::path& path,
                                        size_t cache_bytes = 16 << 20);
  ~PageFile();

  const FileHeader& header() const { return header_; }
  uint32_t page_size() const { return header_.page_size; }
  // Pages in the file, counting those allocated and not yet written.
  uint32_t page_count() const { return page_count_; }
  const std::filesystem::path& path() const { return path_; }

  // Page |number|.  Throws Damaged (format.h) for a page past the end of
  // the file, and errors::PathFileAccess when the system cannot read it.
  PageRef ReadPage(uint32_t number);

  // Page |number| for changing: marked changed, written at the latest by
  // Flush.  Throws as ReadPage.
  WritablePage WritePage(uint32_t number);

  // A page for new content, all zero and marked changed: a free page of the
  // file's free-page map (which then marks it used) when there is one, else a
  // new page at the end of the file.
  WritablePage AllocatePage();

  // Marks |number| free in the file's free-page map, for a page that nothing
  // points to any more.
  void FreePage(uint32_t number);

  // Writes every changed page and flushes the file to the disk.  Throws Error
  // (errors::PathFileAccess) when the system refuses.
  void Flush();

 private:
  PageFile() = default;
  std::shared_ptr<Page> Load(uint32_t number);
  void WriteBack(Page& page);
  void Trim();
  UsageMap& FreePageMap();

  std::filesystem::path path_;
  FileHeader header_;
  uint32_t page_count_ = 0;
  size_t cache_bytes_ = 0;
  std::unique_ptr<RandomAccessFile> file_;
  // Cached pages, most recently used first.
  std::list<std::shared_ptr<Page>> lru_;
  std::unordered_map<uint32_t, std::list<std::shared_ptr<Page>>::iterator> index_;
  std::unique_ptr<UsageMap> free_pages_;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_PAGE_FILE_H_
