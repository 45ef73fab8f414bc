// The index trees of an Access table (Jet 3, Jet 4 and ACE files): a row's key
// encoded as the file orders it, the entries of a tree read in key order,
// the rows of one key found, and new entries added with the tree kept as Jet
// and the other readers of these files expect it.
//
// This layer works on raw pages only: the page store and the usage maps
// stand behind IndexPages, the table definition behind IndexDef.
#ifndef ADDBOOK_DB_JET_INDEX_H_
#define ADDBOOK_DB_JET_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/jet/database.h"
#include "db/jet/table_def.h"
#include "db/variant.h"

namespace addbook::jet {

class PageFile;

// The pages of one index as the page store lends them.  The bytes returned
// by Read or Write stay valid only until the next call on this object.
class IndexPages {
 public:
  virtual ~IndexPages() = default;

  // The bytes of |page|, page_size() of them.
  virtual std::span<const uint8_t> Read(uint32_t page) = 0;
  // The bytes of |page| to change in place; the page is written back later.
  virtual std::span<uint8_t> Write(uint32_t page) = 0;
  // A new page for this index, already listed in the index's usage map
  // (the pages that the index owns).  Its bytes are the caller's to fill.
  virtual uint32_t Allocate() = 0;
  virtual size_t page_size() const = 0;
};

// The pages of the index whose usage map is in row |usage_map| of |file|:
// new pages come from the file (its free pages first) and join that map.
std::unique_ptr<IndexPages> IndexPagesOf(PageFile& file, RowId usage_map);

// How the values of a Text column become key bytes.
enum class TextKeys : uint8_t {
  kUnknown,  // not known to the byte: Jet 4 and ACE text, other sort orders
  kArabic,   // Jet 3 under the Arabic sort order: a weight byte a character
};

// One column of an index's key.
struct IndexColumn {
  size_t column = 0;  // the column's position in a row's values
  ColumnType type = ColumnType::kLong;
  bool ascending = true;
  TextKeys text = TextKeys::kUnknown;  // for a Text column
};

// What the table definition says of one index (a real index; the logical
// indexes that share it share its tree).
struct IndexDef {
  std::u16string name;  // for messages
  std::vector<IndexColumn> columns;
  uint32_t root_page = 0;     // never changes: a growing tree keeps its root
  bool unique = false;        // a unique index or the primary key
  bool ignore_nulls = false;  // rows whose key columns are all Null stay out
  bool required = false;      // no key column may be Null (primary key too)
};

// The description of real index |real_index| of |table|, named after a
// logical index over it (one that is not a foreign key, if there is one).
// Throws Error (3343) when a key column is not in the table.
IndexDef DescribeIndex(const TableDef& table, size_t real_index);

// An entry of the tree: the key's bytes and the row they lead to, ordered by
// the key's bytes (unsigned, a shorter key first when it is a prefix of the
// other), then by row.
struct IndexEntry {
  std::string key;
  RowId row;
  auto operator<=>(const IndexEntry&) const = default;
};

// Whether EncodeKey can encode the keys of |index|: false when a key column
// is Memo, or Text in another form than TextKeys::kArabic ascending (text
// keys follow the file's sort order, which this engine knows to the byte
// only there), or of a type without a known key form.  Even a Text column
// whose keys are writable has values without a key: see EncodeKey.
bool KeysWritable(const IndexDef& index);

// The key of a row for |index|; |row| holds the row's values in the table's
// column order, as Table::Read gives them (Currency and Date/Time as reals).
// Nothing when the key cannot be encoded exactly: a column that
// KeysWritable refuses holding a value that is not Null, a Text value that
// is empty or holds a character whose weight this engine does not know, a
// key longer than 255 bytes, or a value that does not fit its column.
std::optional<std::string> EncodeKey(const IndexDef& index, const std::vector<Variant>& row);

// How a new row enters an index, decided before any page changes.
enum class Admission {
  kAdd,         // insert |key|
  kSkip,        // an ignore-nulls index and every key column Null
  kNull,        // a required index or primary key and a key column Null
  kDuplicate,   // a unique index that holds the key already
  kUnwritable,  // the key cannot be encoded exactly (see EncodeKey)
};

class IndexTree;

struct AdmissionResult {
  Admission admission = Admission::kAdd;
  std::string key;  // set for kAdd
};

// Decides how |row| (values in table column order) enters |index|, whose
// tree is |tree|: a key holding some Null values but not only Nulls is
// checked for uniqueness like any other; keys of only Nulls never collide.
AdmissionResult Admit(const IndexDef& index, IndexTree& tree, const std::vector<Variant>& row);

// What Scan found of a tree.
struct IndexScan {
  std::vector<IndexEntry> entries;  // in key order
  std::vector<uint32_t> pages;      // every page of the tree, root first
  int depth = 0;                    // 1 when the root is the only leaf
};

// The tree of one index, read and changed through |pages|.  Throws Error
// (3343, the file is damaged) naming the page when a page it reads is not an
// index page of this tree or its entries cannot be read.
//
// Find and Insert keep the pages they decoded, so that a run of inserts
// decodes each page once: while a tree lives, its pages must change only
// through it (Scan always reads the file).
class IndexTree {
 public:
  IndexTree(IndexPages& pages, uint32_t root_page);
  ~IndexTree();

  // The root of a new, empty index of the table whose definition is on
  // |table_page|: an empty leaf, allocated through |pages|.  Returns its
  // page.
  static uint32_t CreateRoot(IndexPages& pages, uint32_t table_page);

  // Every entry in key order, read from the root down, with every page
  // checked as Jet and the other readers need it: page kind, the entry mask,
  // free space and shared prefix, entries in order, each intermediate entry
  // equal to the last entry under its child, the last child of a page with
  // more than one named in its tail field, leaves linked from first to last
  // and intermediate pages linked among the children of one page.
  IndexScan Scan();

  // The rows whose key is |key|, in row order.
  std::vector<RowId> Find(std::string_view key);

  // Adds the entry (|key|, |row|) in key order, splitting pages and adding a
  // level as needed.  Returns true when no entry held |key| before: the
  // table definition's count of distinct keys of the index grows by one
  // then.  Throws Error when the entry is there already or |row| cannot be
  // pointed to (page past 2^24 - 1, row past 255).
  bool Insert(std::string_view key, RowId row);

  // Where the header fields and entries of a page are: in Jet 3's 2048-byte
  // pages, or in the later formats' pages.
  struct Layout;

 private:
  struct Child;
  struct Page;
  struct Outcome;

  struct ScanState;
  struct Cached;

  // The page decoded, as kept: valid until the next call of Trim.
  Page& Load(uint32_t number);
  Page Decode(uint32_t number);
  // A new page of the tree, kept, for the caller to fill and store.
  Page& Add();
  // Writes |page| whole and keeps its header's counts in step.
  void Store(Page& page);
  // Forgets the pages used least lately once more than a few are kept.
  void Trim();
  void Relink(uint32_t number, std::optional<uint32_t> prev, std::optional<uint32_t> next);
  size_t ChildFor(const Page& page, const IndexEntry& entry) const;
  bool HasKeyNeighbour(const Page& leaf, size_t pos, std::string_view key);
  Page& Split(Page& page, size_t keep_from);
  Outcome InsertInto(uint32_t number, const IndexEntry& entry, int depth);
  IndexEntry ScanPage(const Page& page, int depth, ScanState& state);

  IndexPages& pages_;
  uint32_t root_;
  const Layout& layout_;
  uint32_t tdef_page_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<Cached>> cache_;
  uint64_t clock_ = 0;  // counts uses of the kept pages
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_INDEX_H_
