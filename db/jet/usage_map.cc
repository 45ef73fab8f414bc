// The map is held in memory as one bit per page and every change is written
// through to its row (or map page) at once, so the file is never behind.
#include "db/jet/usage_map.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "db/jet/format.h"
#include "db/jet/page_file.h"
#include "db/jet/row.h"

namespace addbook::jet {
namespace {

constexpr uint8_t kInline = 0;
constexpr uint8_t kReference = 1;
constexpr size_t kInlineBitmap = 5;   // type byte, start page
constexpr size_t kMapPageBitmap = 4;  // page kind, 0x01, two bytes

std::span<uint8_t> RowOf(const WritablePage& page, uint16_t row) {
  const RowSlot slot = ReadRowSlot(page.span(), row);
  return page.span().subspan(slot.start, slot.end - slot.start);
}

}  // namespace

UsageMap UsageMap::Read(PageFile& file, RowId where) {
  UsageMap map;
  map.where_ = where;
  map.Load(file);
  return map;
}

void UsageMap::Load(PageFile& file) {
  const PageRef page = file.ReadPage(where_.page);
  if (page.data()[0] != kPageData) {
    throw Damaged("the usage map on page " + std::to_string(where_.page) +
                  " is not on a data page");
  }
  const RowSlot slot = ReadRowSlot(page.span(), where_.row);
  const std::span<const uint8_t> row = page.span().subspan(slot.start, slot.end - slot.start);
  if (row.size() < kInlineBitmap) {
    throw Damaged("the usage map in row " + std::to_string(where_.row) + " of page " +
                  std::to_string(where_.page) + " is too short");
  }
  type_ = row[0];
  bits_per_map_page_ = static_cast<uint32_t>((file.page_size() - kMapPageBitmap) * 8);
  if (type_ == kInline) {
    start_ = Get32(&row[1]);
    bitmap_bytes_ = row.size() - kInlineBitmap;
    bitmap_.assign(row.begin() + kInlineBitmap, row.end());
  } else if (type_ == kReference) {
    start_ = 0;
    map_pages_.assign((row.size() - 1) / 4, 0);
    const size_t map_page_bytes = bits_per_map_page_ / 8;
    bitmap_.assign(map_pages_.size() * map_page_bytes, 0);
    for (size_t k = 0; k < map_pages_.size(); ++k) {
      map_pages_[k] = Get32(&row[1 + 4 * k]);
      if (map_pages_[k] == 0) continue;
      const PageRef map_page = file.ReadPage(map_pages_[k]);
      if (map_page.data()[0] != kPageUsageMap) {
        throw Damaged("page " + std::to_string(map_pages_[k]) + " is not a usage map page");
      }
      std::copy_n(map_page.data() + kMapPageBitmap, map_page_bytes,
                  bitmap_.begin() + static_cast<std::ptrdiff_t>(k * map_page_bytes));
    }
  } else {
    throw Damaged("the usage map on page " + std::to_string(where_.page) + " has type " +
                  std::to_string(type_));
  }
}

bool UsageMap::Contains(uint32_t page) const {
  return page >= start_ && page - start_ < bit_count() && Bit(page - start_);
}

std::optional<uint32_t> UsageMap::Next(uint32_t from) const {
  size_t i = from > start_ ? from - start_ : 0;
  if (i >= bit_count()) return std::nullopt;
  // The rest of the first byte, then whole zero words and bytes passed over.
  const auto found = [&](size_t byte, unsigned bits) {
    return static_cast<uint32_t>(start_ + 8 * byte + static_cast<size_t>(std::countr_zero(bits)));
  };
  size_t byte = i / 8;
  if (const unsigned rest = bitmap_[byte] >> (i % 8) << (i % 8); rest != 0) {
    return found(byte, rest);
  }
  for (++byte; byte + 8 <= bitmap_.size(); byte += 8) {
    uint64_t word;
    std::memcpy(&word, &bitmap_[byte], 8);
    if (word != 0) break;
  }
  for (; byte < bitmap_.size(); ++byte) {
    if (bitmap_[byte] != 0) return found(byte, bitmap_[byte]);
  }
  return std::nullopt;
}

std::vector<uint32_t> UsageMap::Pages() const {
  std::vector<uint32_t> pages;
  for (auto page = Next(0); page; page = Next(*page + 1)) pages.push_back(*page);
  return pages;
}

void UsageMap::Add(PageFile& file, uint32_t page) {
  if (Contains(page)) return;
  if (type_ == kInline) {
    if (page >= start_ && page - start_ < bit_count()) {
      SetBit(file, page, true);
      return;
    }
    if (free_page_map_) return;
    std::vector<uint32_t> pages = Pages();
    pages.push_back(page);
    const uint32_t low = *std::min_element(pages.begin(), pages.end()) & ~7u;
    const uint32_t high = *std::max_element(pages.begin(), pages.end());
    if (high - low < bit_count()) {
      MoveWindow(file, low, pages);
    } else {
      MakeReference(file, pages);
    }
    return;
  }
  const size_t k = page / bits_per_map_page_;
  if (k >= map_pages_.size()) {
    throw Damaged("the usage map in row " + std::to_string(where_.row) + " of page " +
                  std::to_string(where_.page) + " cannot reach page " + std::to_string(page));
  }
  if (map_pages_[k] == 0) AddMapPage(file, k);
  SetBit(file, page, true);
}

void UsageMap::Remove(PageFile& file, uint32_t page) {
  if (type_ == kInline && free_page_map_ && page >= start_ + bit_count()) {
    // The window moves forward to |page|: pages entering it are in use, but
    // those past the file's end are free.
    const uint32_t low = page & ~7u;
    std::vector<uint32_t> pages;
    for (uint32_t p = low; p < low + bit_count(); ++p) {
      const bool was_in = p < start_ + bit_count();
      if (p != page && (was_in ? Contains(p) : p >= file.page_count())) pages.push_back(p);
    }
    MoveWindow(file, low, pages);
    return;
  }
  if (!Contains(page)) return;
  SetBit(file, page, false);
}

void UsageMap::SetBit(PageFile& file, uint32_t page, bool on) {
  const size_t i = page - start_;
  const uint8_t bit = static_cast<uint8_t>(1u << (i % 8));
  bitmap_[i / 8] = on ? (bitmap_[i / 8] | bit) : (bitmap_[i / 8] & ~bit);
  uint8_t* byte;
  WritablePage holder;
  if (type_ == kInline) {
    holder = file.WritePage(where_.page);
    byte = &RowOf(holder, where_.row)[kInlineBitmap + i / 8];
  } else {
    holder = file.WritePage(map_pages_[i / bits_per_map_page_]);
    byte = holder.data() + kMapPageBitmap + (i % bits_per_map_page_) / 8;
  }
  *byte = on ? (*byte | bit) : (*byte & ~bit);
}

void UsageMap::MoveWindow(PageFile& file, uint32_t start, const std::vector<uint32_t>& pages) {
  const WritablePage holder = file.WritePage(where_.page);
  const std::span<uint8_t> row = RowOf(holder, where_.row);
  start_ = start;
  std::fill(bitmap_.begin(), bitmap_.end(), 0);
  std::fill(row.begin() + kInlineBitmap, row.end(), 0);
  Put32(&row[1], start);
  for (uint32_t p : pages) {
    const size_t i = p - start;
    bitmap_[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    row[kInlineBitmap + i / 8] = bitmap_[i / 8];
  }
}

void UsageMap::MakeReference(PageFile& file, const std::vector<uint32_t>& pages) {
  size_t row_size;
  {
    const WritablePage holder = file.WritePage(where_.page);
    row_size = RowOf(holder, where_.row).size();
  }
  map_pages_.assign((row_size - 1) / 4, 0);
  for (uint32_t p : pages) {
    if (p / bits_per_map_page_ >= map_pages_.size()) {
      throw Damaged("the usage map in row " + std::to_string(where_.row) + " of page " +
                    std::to_string(where_.page) + " cannot reach page " + std::to_string(p));
    }
  }
  type_ = kReference;
  start_ = 0;
  bitmap_.assign(map_pages_.size() * bits_per_map_page_ / 8, 0);
  {
    const WritablePage holder = file.WritePage(where_.page);
    const std::span<uint8_t> row = RowOf(holder, where_.row);
    std::fill(row.begin(), row.end(), 0);
    row[0] = kReference;
  }
  for (uint32_t p : pages) {
    if (map_pages_[p / bits_per_map_page_] == 0) AddMapPage(file, p / bits_per_map_page_);
    SetBit(file, p, true);
  }
}

void UsageMap::AddMapPage(PageFile& file, size_t k) {
  const WritablePage map_page = file.AllocatePage();
  map_page.data()[0] = kPageUsageMap;
  map_page.data()[1] = 0x01;
  map_pages_[k] = map_page.number();
  const WritablePage holder = file.WritePage(where_.page);
  Put32(&RowOf(holder, where_.row)[1 + 4 * k], map_page.number());
}

}  // namespace addbook::jet
