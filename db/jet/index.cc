// Index pages of Jet 3, Jet 4 and ACE files, and the keys in them.
//
// An index page (header numbers little-endian, offsets in hex; where Jet 3's
// 2048-byte pages differ, its offset second):
//   00      1  kind: 0x03 intermediate, 0x04 leaf
//   01      1  0x01
//   02      2  free space: page size - the entries' start - their bytes
//   04      4  the page of the table's definition
//   08      4  zero (not in Jet 3)
//   0c/08   4  previous page of the same level, 0 for none
//   10/0c   4  next page of the same level, 0 for none
//   14/10   4  tail: on an intermediate page with more than one child, its
//              last child, which has no entry on the page; 0 otherwise
//   18/14   1  length of the prefix that every entry of the page shares: the
//              keys' common bytes, used (as Jet does) only when the entries
//              would not fit the page whole; 0 otherwise
//   19/15   1  Jet 4: zero; Jet 3: 1 on an intermediate page, 0 on a leaf
//   1b/16      entry mask, up to the entries: bit n (low bit of each byte
//              first) is set where an entry ends n bytes past their start
//   1e0/f8     the entries, one after another: the first whole, every later
//              one without the shared prefix
//
// An entry is the key's bytes, the row's data page (3 bytes, big-endian)
// and its number in that page (1 byte); an intermediate entry adds its child
// page (4 bytes, big-endian) and equals the last entry under that child.
// Entries are ordered by their key bytes, then by row.
//
// A key is, column after column, a flag byte and the value's bytes:
//   Null      0x00 alone; Yes/No is never Null (Null is No)
//   otherwise 0x7f, then
//     Byte                        the byte
//     Integer, Long, Currency     big-endian, sign bit flipped (Currency in
//                                 ten-thousandths)
//     Single, Double, Date/Time   big-endian IEEE bits, the sign bit flipped
//                                 when it is clear, every bit flipped when set
//     Yes/No                      0x00 Yes, 0xff No
//     Text (Jet 3, sort order Arabic)
//                                 per character its weight (one byte, see
//                                 kArabicWeights), then 0x00
// A descending column has every byte of its part flipped (0x80 for a value,
// 0xff for Null), so that byte order is still the order of the entries.
//
// The tree: the root page stays where the table definition points, a leaf
// while it holds every entry.  Leaves are linked from the first to the last;
// intermediate pages only among the children of one page.  A page with too
// many entries is split: a new page, linked before it, takes its lower
// entries and gets an entry in the parent just before the page's own, so
// the page keeps its last entry and its place under the parent.  Entries
// added past the end of the whole index leave the full page as it was and
// start the new one (the new page takes every old entry), so that a table
// filled in key order packs its leaves full.  A root too full moves its
// entries down into two new pages and keeps a single entry and a tail.
// New pages are written whole; nothing is ever left of an index page's old
// bytes.
#include "db/jet/index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "base/code_page.h"
#include "base/error.h"
#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

constexpr uint8_t kNodePage = 0x03;
constexpr uint8_t kLeafPage = 0x04;
constexpr size_t kFreeSpaceAt = 0x02;
constexpr size_t kTdefPageAt = 0x04;
constexpr size_t kRowPointerSize = 4;  // 3 bytes of page, 1 of row
constexpr size_t kChildSize = 4;
constexpr int kMaxDepth = 16;  // far above any real tree; stops a loop of pages

constexpr size_t kMaxKeySize = 255;
constexpr char kValueFlag = 0x7f;
constexpr char kTextEnd = 0x00;
constexpr char kNullFlag = 0x00;

using Bytes = std::span<const uint8_t>;

uint32_t Get16(Bytes b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}

uint32_t Get32(Bytes b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

void Put16(std::span<uint8_t> b, size_t at, uint32_t v) {
  b[at] = uint8_t(v & 0xff);
  b[at + 1] = uint8_t(v >> 8 & 0xff);
}

void Put32(std::span<uint8_t> b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xffff);
  Put16(b, at + 2, v >> 16);
}

template <typename Span>
uint64_t GetBig(const Span& b, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v = v << 8 | uint8_t(b[at + i]);
  return v;
}

void AppendBig(std::string& out, uint64_t v, size_t bytes) {
  for (size_t i = bytes; i-- > 0;) out.push_back(char(v >> (8 * i) & 0xff));
}

Error Damaged(uint32_t page, std::string_view what) {
  return Error(errors::kNotADatabase,
               "Index page " + std::to_string(page) + " is damaged: " + std::string(what));
}

// The weight of each Windows-1256 byte in a Jet 3 text key under the Arabic
// sort order; 0 where this engine does not know it.  A Latin letter weighs
// the same in either case: a key holds nothing of a letter's case.  Not
// known, among others: the space, the digits but 1, 2 and 5, w, z, the alefs
// with hamza or madda, teh marbuta, alef maksura and the diacritics.
constexpr std::array<uint8_t, 256> kArabicWeights = [] {
  std::array<uint8_t, 256> w{};
  w['_'] = 0x2c;
  w['1'] = 0x57;
  w['2'] = 0x58;
  w['5'] = 0x5b;
  constexpr std::pair<char, uint8_t> kLetters[] = {
      {'a', 0x60}, {'b', 0x61}, {'c', 0x62}, {'d', 0x64}, {'e', 0x66}, {'f', 0x67},
      {'g', 0x68}, {'h', 0x69}, {'i', 0x6a}, {'j', 0x6b}, {'k', 0x6c}, {'l', 0x6d},
      {'m', 0x6f}, {'n', 0x70}, {'o', 0x72}, {'p', 0x73}, {'q', 0x74}, {'r', 0x75},
      {'s', 0x76}, {'t', 0x77}, {'u', 0x78}, {'v', 0x7a}, {'x', 0x7c}, {'y', 0x7d},
  };
  for (auto [letter, weight] : kLetters) {
    w[uint8_t(letter)] = weight;
    w[uint8_t(letter - 'a' + 'A')] = weight;
  }
  // Arabic letters by their Windows-1256 byte: hamza, waw with hamza, yeh
  // with hamza, alef, beh, teh, theh, jeem, hah, khah, dal, thal, reh, zain,
  // seen, sheen, sad, dad, tah, zah, ain, ghain, feh, qaf, kaf, lam, meem,
  // noon, heh, waw, yeh.
  constexpr std::pair<uint8_t, uint8_t> kArabic[] = {
      {0xc1, 0x82}, {0xc4, 0x85}, {0xc6, 0x87}, {0xc7, 0x88}, {0xc8, 0x89}, {0xca, 0x8c},
      {0xcb, 0x8d}, {0xcc, 0x8e}, {0xcd, 0x90}, {0xce, 0x91}, {0xcf, 0x92}, {0xd0, 0x93},
      {0xd1, 0x94}, {0xd2, 0x95}, {0xd3, 0x97}, {0xd4, 0x98}, {0xd5, 0x99}, {0xd6, 0x9a},
      {0xd8, 0x9b}, {0xd9, 0x9c}, {0xda, 0x9d}, {0xdb, 0x9e}, {0xdd, 0x9f}, {0xde, 0xa0},
      {0xdf, 0xa1}, {0xe1, 0xa3}, {0xe3, 0xa4}, {0xe4, 0xa5}, {0xe5, 0xa6}, {0xe6, 0xa7},
      {0xed, 0xa9},
  };
  for (auto [byte, weight] : kArabic) w[byte] = weight;
  return w;
}();

bool Encodable(const IndexColumn& c) {
  if (c.type == ColumnType::kText) return c.text == TextKeys::kArabic && c.ascending;
  return c.type >= ColumnType::kBoolean && c.type <= ColumnType::kDateTime;
}

// The weights of |text| after the value flag, with the end byte; nothing
// when a character has no known weight, and for the empty text, whose key
// this engine does not know.
std::optional<std::string> ArabicTextPart(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  std::string out(1, kValueFlag);
  for (char16_t c : text) {
    std::optional<unsigned char> byte = EncodeCp1256(c);
    if (!byte || kArabicWeights[*byte] == 0) return std::nullopt;
    out.push_back(char(kArabicWeights[*byte]));
  }
  out.push_back(kTextEnd);
  return out;
}

std::optional<int64_t> WholeNumber(const Variant& v) {
  if (v.type() == Variant::Type::kInteger) return v.integer();
  if (v.type() == Variant::Type::kReal) {
    double r = v.real();
    if (std::trunc(r) == r && std::fabs(r) < 0x1p63) return int64_t(r);
  }
  return std::nullopt;
}

std::optional<double> RealNumber(const Variant& v) {
  if (v.type() == Variant::Type::kReal) return v.real();
  if (v.type() == Variant::Type::kInteger) return double(v.integer());
  return std::nullopt;
}

// IEEE bits made to order as the numbers do, read as unsigned big-endian.
uint64_t OrderedBits(uint64_t bits, int width) {
  uint64_t sign = uint64_t(1) << (width - 1);
  return (bits & sign) ? ~bits & (sign | (sign - 1)) : bits | sign;
}

// The key part of column |c|, ascending; nothing when not exactly encodable.
std::optional<std::string> AscendingPart(const IndexColumn& c, const Variant& v) {
  const ColumnType type = c.type;
  std::string out(1, kValueFlag);
  if (type == ColumnType::kBoolean) {
    std::optional<double> n = v.is_null() ? 0.0 : RealNumber(v);
    if (!n) return std::nullopt;
    out.push_back(*n != 0 ? '\x00' : '\xff');
    return out;
  }
  if (v.is_null()) return std::string(1, kNullFlag);
  if (type == ColumnType::kText) {
    if (!Encodable(c) || v.type() != Variant::Type::kText) return std::nullopt;
    return ArabicTextPart(v.text());
  }
  auto whole = [&](int64_t low, int64_t high, size_t bytes, bool sign) -> bool {
    std::optional<int64_t> n = WholeNumber(v);
    if (!n || *n < low || *n > high) return false;
    uint64_t bits = uint64_t(*n) & (bytes == 8 ? ~uint64_t(0) : (uint64_t(1) << 8 * bytes) - 1);
    if (sign) bits ^= uint64_t(1) << (8 * bytes - 1);
    AppendBig(out, bits, bytes);
    return true;
  };
  switch (type) {
    case ColumnType::kByte:
      if (!whole(0, 255, 1, false)) return std::nullopt;
      return out;
    case ColumnType::kInteger:
      if (!whole(INT16_MIN, INT16_MAX, 2, true)) return std::nullopt;
      return out;
    case ColumnType::kLong:
      if (!whole(INT32_MIN, INT32_MAX, 4, true)) return std::nullopt;
      return out;
    case ColumnType::kCurrency: {
      // Stored in ten-thousandths, rounded as the row stores it.
      std::optional<double> r = RealNumber(v);
      if (!r || !(std::fabs(*r * 10000) < 0x1p63)) return std::nullopt;
      int64_t scaled = std::llround(*r * 10000);
      if (v.type() == Variant::Type::kInteger) {
        if (v.integer() > INT64_MAX / 10000 || v.integer() < INT64_MIN / 10000) return std::nullopt;
        scaled = v.integer() * 10000;
      }
      AppendBig(out, uint64_t(scaled) ^ (uint64_t(1) << 63), 8);
      return out;
    }
    case ColumnType::kSingle: {
      std::optional<double> r = RealNumber(v);
      if (!r) return std::nullopt;
      AppendBig(out, OrderedBits(std::bit_cast<uint32_t>(float(*r)), 32), 4);
      return out;
    }
    case ColumnType::kDouble:
    case ColumnType::kDateTime: {
      std::optional<double> r = RealNumber(v);
      if (!r) return std::nullopt;
      AppendBig(out, OrderedBits(std::bit_cast<uint64_t>(*r), 64), 8);
      return out;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

bool KeysWritable(const IndexDef& index) {
  return std::all_of(index.columns.begin(), index.columns.end(),
                     [](const IndexColumn& c) { return Encodable(c); });
}

std::optional<std::string> EncodeKey(const IndexDef& index, const std::vector<Variant>& row) {
  std::string key;
  for (const IndexColumn& c : index.columns) {
    std::optional<std::string> part = AscendingPart(c, row.at(c.column));
    if (!part) return std::nullopt;
    if (!c.ascending) {
      for (char& b : *part) b = char(~b);
    }
    key += *part;
  }
  // A page's shared prefix is counted in one byte; how Jet keys a longer
  // text is not known.
  if (key.size() > kMaxKeySize) return std::nullopt;
  return key;
}

AdmissionResult Admit(const IndexDef& index, IndexTree& tree, const std::vector<Variant>& row) {
  size_t nulls =
      std::count_if(index.columns.begin(), index.columns.end(), [&](const IndexColumn& c) {
        return c.type != ColumnType::kBoolean && row.at(c.column).is_null();
      });
  bool all_null = nulls == index.columns.size();
  if (all_null && index.ignore_nulls) return {Admission::kSkip, {}};
  if (nulls > 0 && index.required) return {Admission::kNull, {}};
  std::optional<std::string> key = EncodeKey(index, row);
  if (!key) return {Admission::kUnwritable, {}};
  if (index.unique && !all_null && !tree.Find(*key).empty()) return {Admission::kDuplicate, {}};
  return {Admission::kAdd, std::move(*key)};
}

namespace {

class FileIndexPages : public IndexPages {
 public:
  FileIndexPages(PageFile& file, RowId usage_map)
      : file_(file), map_(UsageMap::Read(file, usage_map)) {}

  std::span<const uint8_t> Read(uint32_t page) override {
    held_ = file_.ReadPage(page);
    return held_.span();
  }
  std::span<uint8_t> Write(uint32_t page) override {
    writing_ = file_.WritePage(page);
    return writing_.span();
  }
  uint32_t Allocate() override {
    uint32_t page = file_.AllocatePage().number();
    map_.Add(file_, page);
    return page;
  }
  size_t page_size() const override { return file_.page_size(); }

 private:
  PageFile& file_;
  UsageMap map_;
  PageRef held_;
  WritablePage writing_;
};

}  // namespace

std::unique_ptr<IndexPages> IndexPagesOf(PageFile& file, RowId usage_map) {
  return std::make_unique<FileIndexPages>(file, usage_map);
}

IndexDef DescribeIndex(const TableDef& table, size_t real_index) {
  const RealIndex& real = table.real_indexes.at(real_index);
  IndexDef def;
  def.root_page = real.first_page;
  def.unique = real.unique();
  def.ignore_nulls = real.ignore_nulls();
  def.required = real.required();
  bool named = false;  // after an index that is not a foreign key
  for (const LogicalIndex& logical : table.indexes) {
    if (logical.real_index != real_index) continue;
    if (!named) def.name = logical.name;
    named = named || logical.type != kIndexForeignKey;
    if (logical.primary_key()) def.unique = def.required = true;
  }
  for (const RealIndex::KeyColumn& key : real.columns) {
    const Column* column = table.ColumnByNumber(key.column_number);
    if (column == nullptr) {
      throw Damaged(real.first_page, "its key names a column the table does not have");
    }
    TextKeys text =
        table.jet3 && column->type == ColumnType::kText && column->sort_order == kSortArabic
            ? TextKeys::kArabic
            : TextKeys::kUnknown;
    def.columns.push_back(
        {size_t(column - table.columns.data()), column->type, key.ascending, text});
  }
  return def;
}

// Where a page's header fields and entries are: Jet 3's 2048-byte pages lack
// the four bytes at 0x08 and have a shorter mask.
struct IndexTree::Layout {
  size_t prev;
  size_t next;
  size_t tail;
  size_t prefix;
  size_t mask;
  size_t entries;
  bool jet3;

  // The bits of the entry mask.
  size_t mask_bits() const { return (entries - mask) * 8; }
  // The room for entries on a page: the mask marks no end past it.
  size_t room(size_t page_size) const { return std::min(page_size - entries, mask_bits() - 1); }
};

namespace {

constexpr IndexTree::Layout kJet4Layout{0x0c, 0x10, 0x14, 0x18, 0x1b, 0x1e0, false};
constexpr IndexTree::Layout kJet3Layout{0x08, 0x0c, 0x10, 0x14, 0x16, 0xf8, true};

}  // namespace

// One entry of a page; |page| is the child page on an intermediate page.
struct IndexTree::Child {
  IndexEntry entry;
  uint32_t page = 0;
};

struct IndexTree::Page {
  uint32_t number = 0;
  bool leaf = true;
  uint32_t tdef = 0;
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  size_t free_space = 0;  // as the header says, for Scan
  size_t data_end = 0;
  // The first |clean| entries are on the page as Store last wrote them, with
  // a prefix of |stored_prefix| bytes; none on a page not yet stored.
  size_t clean = 0;
  size_t stored_prefix = 0;
  std::vector<Child> entries;

  size_t children() const { return entries.size() + (tail != 0); }
  uint32_t child(size_t i) const { return i < entries.size() ? entries[i].page : tail; }
};

struct IndexTree::Outcome {
  std::optional<IndexEntry> new_last;  // the subtree's last entry, when it changed
  std::optional<Child> lower;          // a new page before it holding its lower entries
  bool appended = false;               // the entry went past every other one
  bool new_key = false;
};

namespace {

// An intermediate page with more than one child names the last in its tail
// field instead of keeping an entry for it.
template <typename Page>
void KeepTail(Page& page) {
  if (page.tail == 0 && page.entries.size() > 1) {
    page.tail = page.entries.back().page;
    page.entries.pop_back();
    page.clean = std::min(page.clean, page.entries.size());
  }
}

size_t EntrySize(const IndexEntry& e, bool leaf) {
  return e.key.size() + kRowPointerSize + (leaf ? 0 : kChildSize);
}

// The bytes shared by the keys of entries [from, to); none for fewer than two.
template <typename Children>
size_t SharedPrefix(const Children& e, size_t from, size_t to) {
  if (to - from < 2) return 0;
  const std::string& a = e[from].entry.key;
  const std::string& b = e[to - 1].entry.key;
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// The prefix that entries [from, to) leave out on a page of |room| bytes: as
// Jet does, none while they fit whole.
template <typename Children>
size_t PrefixOnPage(const Children& e, size_t from, size_t to, bool leaf, size_t room) {
  size_t size = 0;
  for (size_t i = from; i < to; ++i) size += EntrySize(e[i].entry, leaf);
  return size > room ? SharedPrefix(e, from, to) : 0;
}

// The bytes that entries [from, to) take on a page of |room| bytes.
template <typename Children>
size_t PackedSize(const Children& e, size_t from, size_t to, bool leaf, size_t room) {
  size_t size = 0;
  for (size_t i = from; i < to; ++i) size += EntrySize(e[i].entry, leaf);
  return to > from ? size - PrefixOnPage(e, from, to, leaf, room) * (to - from - 1) : 0;
}

}  // namespace

struct IndexTree::Cached {
  Page page;
  uint64_t used = 0;
};

IndexTree::IndexTree(IndexPages& pages, uint32_t root_page)
    : pages_(pages),
      root_(root_page),
      layout_(pages.page_size() == kPageSizeJet3 ? kJet3Layout : kJet4Layout) {}

IndexTree::~IndexTree() = default;

uint32_t IndexTree::CreateRoot(IndexPages& pages, uint32_t table_page) {
  IndexTree tree(pages, 0);
  tree.tdef_page_ = table_page;
  Page& root = tree.Add();
  tree.Store(root);
  return root.number;
}

IndexTree::Page& IndexTree::Load(uint32_t number) {
  std::unique_ptr<Cached>& kept = cache_[number];
  if (!kept) {
    try {
      kept = std::make_unique<Cached>(Cached{Decode(number)});
    } catch (...) {
      cache_.erase(number);
      throw;
    }
  }
  kept->used = ++clock_;
  return kept->page;
}

IndexTree::Page& IndexTree::Add() {
  uint32_t number = pages_.Allocate();
  std::unique_ptr<Cached>& kept = cache_[number];
  kept = std::make_unique<Cached>();
  kept->page.number = number;
  kept->used = ++clock_;
  return kept->page;
}

void IndexTree::Trim() {
  // A run of inserts in key order uses the pages along the right edge of
  // the tree; random keys use more, and decode again what was let go.
  constexpr size_t kKept = 64;
  if (cache_.size() <= kKept) return;
  std::vector<uint64_t> uses;
  uses.reserve(cache_.size());
  for (const auto& [number, kept] : cache_) uses.push_back(kept->used);
  auto cut = uses.begin() + ptrdiff_t(uses.size() - kKept / 2);
  std::nth_element(uses.begin(), cut, uses.end());
  std::erase_if(cache_, [&](const auto& kept) { return kept.second->used < *cut; });
}

IndexTree::Page IndexTree::Decode(uint32_t number) {
  Bytes b = pages_.Read(number);
  size_t page_size = pages_.page_size();
  if (b.size() < page_size || page_size <= layout_.entries) {
    throw Damaged(number, "it is cut short");
  }
  uint8_t kind = uint8_t(b[0]);
  if (kind != kNodePage && kind != kLeafPage) throw Damaged(number, "it is not an index page");
  Page page;
  page.number = number;
  page.leaf = kind == kLeafPage;
  page.tdef = Get32(b, kTdefPageAt);
  page.prev = Get32(b, layout_.prev);
  page.next = Get32(b, layout_.next);
  page.tail = Get32(b, layout_.tail);
  page.free_space = Get16(b, kFreeSpaceAt);
  // One byte: keys are shorter than 256 bytes, and the byte after it is
  // not zero on every page Jet writes.
  size_t prefix_length = b[layout_.prefix];
  size_t trailer = kRowPointerSize + (page.leaf ? 0 : kChildSize);
  size_t room = layout_.room(page_size);
  std::string prefix;
  size_t start = 0;
  for (size_t end = 1; end < layout_.mask_bits(); ++end) {
    if (!(uint8_t(b[layout_.mask + end / 8]) >> (end % 8) & 1)) continue;
    if (end > room) throw Damaged(number, "an entry ends past the page");
    std::string bytes(b.begin() + ptrdiff_t(layout_.entries + start),
                      b.begin() + ptrdiff_t(layout_.entries + end));
    if (page.entries.empty()) {
      if (prefix_length > bytes.size()) throw Damaged(number, "the shared prefix is too long");
      prefix = bytes.substr(0, prefix_length);
    } else {
      bytes.insert(0, prefix);
    }
    if (bytes.size() <= trailer) throw Damaged(number, "an entry is too short");
    size_t key_size = bytes.size() - trailer;
    Child c{{bytes.substr(0, key_size),
             RowId{uint32_t(GetBig(bytes, key_size, 3)), uint16_t(uint8_t(bytes[key_size + 3]))}},
            page.leaf ? 0 : uint32_t(GetBig(bytes, key_size + kRowPointerSize, 4))};
    if (!page.entries.empty() && !(page.entries.back().entry < c.entry)) {
      throw Damaged(number, "its entries are out of order");
    }
    page.entries.push_back(std::move(c));
    start = end;
  }
  if (uint8_t(b[layout_.mask]) & 1) throw Damaged(number, "an entry is empty");
  page.data_end = start;
  if (page.leaf ? page.tail != 0 : page.entries.empty()) {
    throw Damaged(number, page.leaf ? "a leaf has a tail" : "an intermediate page has no entry");
  }
  return page;
}

void IndexTree::Store(Page& page) {
  size_t page_size = pages_.page_size();
  size_t n = page.entries.size();
  size_t room = layout_.room(page_size);
  size_t prefix = PrefixOnPage(page.entries, 0, n, page.leaf, room);
  size_t size = PackedSize(page.entries, 0, n, page.leaf, room);
  // Pages are split before they are stored, so this holds.
  if (size > room) {
    throw Damaged(page.number, "its entries do not fit");
  }
  std::span<uint8_t> b = pages_.Write(page.number);
  if (b.size() < page_size) throw Damaged(page.number, "it is cut short");
  // The entries that Store wrote before and that have not changed since
  // keep their bytes; the page becomes what writing it whole would make.
  size_t first = prefix == page.stored_prefix ? std::min(page.clean, n) : 0;
  size_t end = 0;
  for (size_t i = 0; i < first; ++i) {
    end += EntrySize(page.entries[i].entry, page.leaf) - (i == 0 ? 0 : prefix);
  }
  if (first == 0) {
    std::fill(b.begin(), b.end(), 0);
  } else {
    std::fill(b.begin() + ptrdiff_t(layout_.entries + end),
              b.begin() + ptrdiff_t(layout_.entries + page.data_end), 0);
    for (size_t bit = end + 1; bit <= page.data_end; ++bit) {
      b[layout_.mask + bit / 8] &= uint8_t(~(1 << bit % 8));
    }
  }
  b[0] = page.leaf ? kLeafPage : kNodePage;
  b[1] = 0x01;
  Put16(b, kFreeSpaceAt, uint32_t(page_size - layout_.entries - size));
  Put32(b, kTdefPageAt, tdef_page_);
  Put32(b, layout_.prev, page.prev);
  Put32(b, layout_.next, page.next);
  Put32(b, layout_.tail, page.tail);
  b[layout_.prefix] = uint8_t(prefix);
  // The byte after the prefix length, as Jet writes it.
  b[layout_.prefix + 1] = layout_.jet3 && !page.leaf ? 1 : 0;
  uint8_t* data = b.data() + layout_.entries;
  for (size_t i = first; i < n; ++i) {
    const Child& c = page.entries[i];
    size_t skip = i == 0 ? 0 : prefix;
    std::copy(c.entry.key.begin() + ptrdiff_t(skip), c.entry.key.end(), data + end);
    end += c.entry.key.size() - skip;
    data[end++] = uint8_t(c.entry.row.page >> 16);
    data[end++] = uint8_t(c.entry.row.page >> 8);
    data[end++] = uint8_t(c.entry.row.page);
    data[end++] = uint8_t(c.entry.row.row);
    if (!page.leaf) {
      for (int shift = 24; shift >= 0; shift -= 8) data[end++] = uint8_t(c.page >> shift);
    }
    b[layout_.mask + end / 8] |= uint8_t(1 << end % 8);
  }
  page.tdef = tdef_page_;
  page.data_end = end;
  page.free_space = page_size - layout_.entries - end;
  page.clean = n;
  page.stored_prefix = prefix;
}

// Sets the level links of page |number|: what is given, nothing else.
void IndexTree::Relink(uint32_t number, std::optional<uint32_t> prev,
                       std::optional<uint32_t> next) {
  Page& page = Load(number);
  if (prev) page.prev = *prev;
  if (next) page.next = *next;
  Store(page);
}

// The child under which |entry| belongs: the first whose last entry is not
// below it, else the last child.
size_t IndexTree::ChildFor(const Page& page, const IndexEntry& entry) const {
  auto it = std::lower_bound(page.entries.begin(), page.entries.end(), entry,
                             [](const Child& c, const IndexEntry& e) { return c.entry < e; });
  return std::min(size_t(it - page.entries.begin()), page.children() - 1);
}

// Whether the entry before or after position |pos| of |leaf| has |key|.
bool IndexTree::HasKeyNeighbour(const Page& leaf, size_t pos, std::string_view key) {
  const std::vector<Child>& e = leaf.entries;
  if (pos > 0) {
    if (e[pos - 1].entry.key == key) return true;
  } else if (leaf.prev != 0) {
    const Page& prev = Load(leaf.prev);
    if (!prev.entries.empty() && prev.entries.back().entry.key == key) return true;
  }
  if (pos < e.size()) return e[pos].entry.key == key;
  if (leaf.next == 0) return false;
  const Page& next = Load(leaf.next);
  return !next.entries.empty() && next.entries.front().entry.key == key;
}

// Moves entries [0, keep_from) of |page| to a new page linked before it,
// stores both and returns the new one.
IndexTree::Page& IndexTree::Split(Page& page, size_t keep_from) {
  Page& lower = Add();
  lower.leaf = page.leaf;
  lower.entries.assign(page.entries.begin(), page.entries.begin() + ptrdiff_t(keep_from));
  page.entries.erase(page.entries.begin(), page.entries.begin() + ptrdiff_t(keep_from));
  page.clean = 0;
  lower.prev = page.prev;
  lower.next = page.number;
  if (page.prev != 0) Relink(page.prev, std::nullopt, lower.number);
  page.prev = lower.number;
  if (!page.leaf) {
    KeepTail(lower);
    // Intermediate pages are linked only among the children of one page.
    uint32_t left = lower.child(lower.children() - 1);
    uint32_t right = page.child(0);
    if (!Load(left).leaf) {
      Relink(left, std::nullopt, 0);
      Relink(right, 0, std::nullopt);
    }
  }
  Store(lower);
  Store(page);
  return lower;
}

IndexTree::Outcome IndexTree::InsertInto(uint32_t number, const IndexEntry& entry, int depth) {
  if (depth > kMaxDepth) throw Damaged(number, "the tree is too deep");
  Page& page = Load(number);
  if (page.tdef != tdef_page_) throw Damaged(number, "it belongs to another table");
  Outcome out;
  if (page.leaf) {
    auto it = std::lower_bound(page.entries.begin(), page.entries.end(), entry,
                               [](const Child& c, const IndexEntry& e) { return c.entry < e; });
    size_t pos = size_t(it - page.entries.begin());
    if (it != page.entries.end() && it->entry == entry) {
      throw Error(errors::kInvalidArgument, "The index holds this row's entry already");
    }
    out.new_key = !HasKeyNeighbour(page, pos, entry.key);
    page.entries.insert(it, Child{entry, 0});
    page.clean = std::min(page.clean, pos);
    if (pos + 1 == page.entries.size()) {
      out.new_last = entry;
      out.appended = page.next == 0;
    }
  } else {
    size_t i = ChildFor(page, entry);
    bool last_child = i + 1 == page.children();
    Outcome below = InsertInto(page.child(i), entry, depth + 1);
    out.new_key = below.new_key;
    out.appended = below.appended;
    bool changed = false;
    if (below.new_last) {
      if (i < page.entries.size()) {
        page.entries[i].entry = *below.new_last;
        page.clean = std::min(page.clean, i);
        changed = true;
      }
      if (last_child) out.new_last = below.new_last;
    }
    if (below.lower) {
      page.entries.insert(page.entries.begin() + ptrdiff_t(i), *below.lower);
      page.clean = std::min(page.clean, i);
      changed = true;
    }
    if (!changed) return out;
    KeepTail(page);
  }
  size_t room = layout_.room(pages_.page_size());
  size_t n = page.entries.size();
  if (PackedSize(page.entries, 0, n, page.leaf, room) <= room) {
    Store(page);
    return out;
  }
  // Too full: find where to split.  Past the end of the index the old
  // entries stay together; elsewhere the halves are made as even as they go.
  size_t keep_from = 0;
  if (out.appended && PackedSize(page.entries, 0, n - 1, page.leaf, room) <= room) {
    keep_from = n - 1;
  } else {
    size_t best = SIZE_MAX;
    for (size_t s = 1; s < n; ++s) {
      size_t larger = std::max(PackedSize(page.entries, 0, s, page.leaf, room),
                               PackedSize(page.entries, s, n, page.leaf, room));
      if (larger <= room && larger < best) {
        best = larger;
        keep_from = s;
      }
    }
    if (keep_from == 0) throw Damaged(number, "its entries cannot be split");
  }
  IndexEntry lower_last = page.entries[keep_from - 1].entry;
  if (depth > 0) {
    out.lower = Child{std::move(lower_last), Split(page, keep_from).number};
    return out;
  }
  // The root moves everything down into two new pages and keeps one entry
  // for the lower and its tail for the upper.
  Page& upper = Add();
  upper.leaf = page.leaf;
  upper.tail = page.tail;
  upper.entries = std::move(page.entries);
  const Page& lower = Split(upper, keep_from);
  page.leaf = false;
  page.entries = {Child{lower_last, lower.number}};
  page.clean = 0;
  page.tail = upper.number;
  Store(page);
  return out;
}

struct IndexTree::ScanState {
  IndexScan scan;
  std::set<uint32_t> seen;
  std::vector<Page> leaves;  // in key order, without their entries
};

IndexScan IndexTree::Scan() {
  ScanState state;
  Page root = Decode(root_);
  tdef_page_ = root.tdef;
  if (root.prev != 0 || root.next != 0) throw Damaged(root_, "the root has neighbours");
  ScanPage(root, 1, state);
  const std::vector<Page>& leaves = state.leaves;
  for (size_t i = 0; i < leaves.size(); ++i) {
    if (leaves[i].prev != (i > 0 ? leaves[i - 1].number : 0) ||
        leaves[i].next != (i + 1 < leaves.size() ? leaves[i + 1].number : 0)) {
      throw Damaged(leaves[i].number, "it is not linked to the leaves beside it");
    }
  }
  const std::vector<IndexEntry>& entries = state.scan.entries;
  for (size_t i = 1; i < entries.size(); ++i) {
    if (!(entries[i - 1] < entries[i])) throw Damaged(root_, "its entries are out of order");
  }
  return std::move(state.scan);
}

// Checks the subtree of |page|, adding its entries and pages to the scan;
// returns its last entry.
IndexEntry IndexTree::ScanPage(const Page& page, int depth, ScanState& state) {
  uint32_t number = page.number;
  if (!state.seen.insert(number).second) throw Damaged(number, "the tree reaches it twice");
  if (depth > kMaxDepth) throw Damaged(number, "the tree is too deep");
  state.scan.pages.push_back(number);
  if (page.tdef != tdef_page_) throw Damaged(number, "it belongs to another table");
  if (page.free_space != pages_.page_size() - layout_.entries - page.data_end) {
    throw Damaged(number, "its free space is wrong");
  }
  if (page.leaf) {
    if (state.scan.depth == 0) state.scan.depth = depth;
    if (state.scan.depth != depth) throw Damaged(number, "its leaves are at different depths");
    if (page.entries.empty()) {
      if (number != root_) throw Damaged(number, "a leaf is empty");
      return {};
    }
    for (const Child& c : page.entries) state.scan.entries.push_back(c.entry);
    Page links = page;
    links.entries.clear();
    state.leaves.push_back(std::move(links));
    return page.entries.back().entry;
  }
  if (page.tail == 0 && page.entries.size() != 1) {
    throw Damaged(number, "its last child is not its tail");
  }
  IndexEntry last;
  for (size_t i = 0; i < page.children(); ++i) {
    Page child = Decode(page.child(i));
    last = ScanPage(child, depth + 1, state);
    if (i < page.entries.size() && page.entries[i].entry != last) {
      throw Damaged(number, "an entry differs from the last one under its child");
    }
    if (!child.leaf && (child.prev != (i > 0 ? page.child(i - 1) : 0) ||
                        child.next != (i + 1 < page.children() ? page.child(i + 1) : 0))) {
      throw Damaged(child.number, "it is not linked to the pages beside it");
    }
  }
  return last;
}

std::vector<RowId> IndexTree::Find(std::string_view key) {
  Trim();
  IndexEntry probe{std::string(key), RowId{}};
  const Page* page = &Load(root_);
  for (int depth = 0; !page->leaf; ++depth) {
    if (depth > kMaxDepth) throw Damaged(page->number, "the tree is too deep");
    page = &Load(page->child(ChildFor(*page, probe)));
  }
  std::vector<RowId> rows;
  std::set<uint32_t> seen;
  auto it = std::lower_bound(page->entries.begin(), page->entries.end(), probe,
                             [](const Child& c, const IndexEntry& e) { return c.entry < e; });
  size_t pos = size_t(it - page->entries.begin());
  while (true) {
    for (; pos < page->entries.size(); ++pos) {
      if (page->entries[pos].entry.key != key) return rows;
      rows.push_back(page->entries[pos].entry.row);
    }
    if (page->next == 0) return rows;
    if (!seen.insert(page->number).second) throw Damaged(page->number, "its leaves loop");
    page = &Load(page->next);
    pos = 0;
  }
}

bool IndexTree::Insert(std::string_view key, RowId row) {
  if (row.page > 0xffffff || row.row > 0xff) {
    throw Error(errors::kInvalidArgument, "An index entry cannot point to this row");
  }
  Trim();
  try {
    tdef_page_ = Load(root_).tdef;
    return InsertInto(root_, IndexEntry{std::string(key), row}, 0).new_key;
  } catch (...) {
    // The kept pages may hold changes that were not stored: read the file
    // again next time.
    cache_.clear();
    throw;
  }
}

}  // namespace addbook::jet
