// Separate chaining over flat arrays: an entry's key, row and link sit at
// the same position of three vectors, and a bucket holds the first entry of
// its chain.  The table doubles when it holds more entries than buckets.
#include "db/jet/key_map.h"

#include <algorithm>

namespace addbook::jet {

KeyMap::KeyMap(std::vector<size_t> columns) : columns_(std::move(columns)), heads_(64, kNone) {}

uint64_t KeyMap::Hash(std::span<const int64_t> key) const {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (int64_t v : key) {
    h ^= static_cast<uint64_t>(v) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
  }
  return h;
}

bool KeyMap::KeyIs(uint32_t entry, std::span<const int64_t> key) const {
  return std::equal(key.begin(), key.end(), keys_.begin() + entry * columns_.size());
}

void KeyMap::Grow() {
  heads_.assign(heads_.size() * 2, kNone);
  const size_t mask = heads_.size() - 1;
  const size_t width = columns_.size();
  for (uint32_t e = 0; e < rows_.size(); ++e) {
    if (rows_[e].page == 0) continue;
    const size_t b = Hash(std::span(keys_).subspan(e * width, width)) & mask;
    next_[e] = heads_[b];
    heads_[b] = e;
  }
}

void KeyMap::Add(std::span<const int64_t> key, RowId id) {
  const auto entry = static_cast<uint32_t>(rows_.size());
  keys_.insert(keys_.end(), key.begin(), key.end());
  rows_.push_back(id);
  next_.push_back(kNone);
  if (rows_.size() > heads_.size()) {
    Grow();
    return;
  }
  const size_t b = Hash(key) & (heads_.size() - 1);
  next_[entry] = heads_[b];
  heads_[b] = entry;
}

void KeyMap::Remove(std::span<const int64_t> key, RowId id) {
  const size_t b = Hash(key) & (heads_.size() - 1);
  for (uint32_t* link = &heads_[b]; *link != kNone; link = &next_[*link]) {
    if (rows_[*link] == id && KeyIs(*link, key)) {
      // Unlinked and marked removed (page 0 holds no rows), its slot left
      // unused: updates take out little beside what the map holds.
      const uint32_t entry = *link;
      *link = next_[entry];
      rows_[entry] = RowId{};
      ++removed_;
      return;
    }
  }
}

std::vector<RowId> KeyMap::Find(std::span<const int64_t> key) const {
  std::vector<RowId> found;
  const size_t b = Hash(key) & (heads_.size() - 1);
  for (uint32_t e = heads_[b]; e != kNone; e = next_[e]) {
    if (KeyIs(e, key)) found.push_back(rows_[e]);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace addbook::jet
