// Index trees: the trees of a file that another writer made read back equal
// to its rows' keys (Jet 4, and Jet 3 as Jet wrote it: Arabic text keys and
// the catalogue's keys of Latin names); trees grown here, in key order and at
// random, read back whole, ordered and well formed, also from the file
// reopened.
#include "db/jet/index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/catalogue.h"
#include "db/jet/jet_table.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

namespace fs = std::filesystem;
using enum ColumnType;

TEST(IndexKeyTest, EncodesAsJetOrders) {
  struct Case {
    ColumnType type;
    bool ascending;
    Variant value;
    const char* hex;  // null: no exact key
  };
  const Case cases[] = {
      {kLong, true, Variant(int64_t{1}), "7f80000001"},
      {kLong, true, Variant(int64_t{-1}), "7f7fffffff"},
      {kLong, false, Variant(int64_t{1}), "807ffffffe"},
      {kLong, true, Variant(), "00"},
      {kLong, false, Variant(), "ff"},
      {kLong, true, Variant(int64_t{1} << 31), nullptr},
      {kInteger, true, Variant(int64_t{-2}), "7f7ffe"},
      {kByte, false, Variant(int64_t{200}), "8037"},
      {kBoolean, true, Variant(int64_t{-1}), "7f00"},
      {kBoolean, true, Variant(), "7fff"},
      {kBoolean, false, Variant(int64_t{0}), "8000"},
      {kCurrency, true, Variant(1.5), "7f8000000000003a98"},
      {kDouble, true, Variant(-1.0), "7f400fffffffffffff"},
      {kDateTime, false, Variant(2.0), "803fffffffffffffff"},
      {kSingle, true, Variant(1.0), "7fbf800000"},
      {kText, true, Variant(std::u16string(u"a")), nullptr},
      {kText, true, Variant(), "00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.type) << " " << c.ascending << " " << c.hex);
    IndexDef def{u"i", {{0, c.type, c.ascending}}, 1};
    std::optional<std::string> key = EncodeKey(def, {c.value});
    EXPECT_EQ(key ? Hex(*key) : "none", c.hex ? c.hex : "none");
  }
}

TEST(IndexKeyTest, EncodesJet3ArabicText) {
  struct Case {
    std::u16string value;
    bool ascending;
    const char* hex;  // null: no exact key
  };
  const Case cases[] = {
      {u"ابن", true, "7f8889a500"},
      {u"Books_2", true, "7f6172726c762c5800"},
      {u"HADEETHS", true,
       "7f6960646666776976"
       "00"},
      {u"ابن", false, nullptr},   // descending text
      {u"", true, nullptr},       // no key seen for the empty text
      {u"مدينة", true, nullptr},  // teh marbuta: weight unknown
      {u"a b", true, nullptr},    // space
      {u"Wz", true, nullptr},
      {u"\u0627\u064e", true, nullptr},            // a diacritic
      {u"\u4e00", true, nullptr},                  // not in Windows-1256
      {std::u16string(254, u'ب'), true, nullptr},  // a key over 255 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex ? c.hex : "none");
    IndexDef def{u"i", {{0, kText, c.ascending, TextKeys::kArabic}}, 1};
    std::optional<std::string> key = EncodeKey(def, {Variant(c.value)});
    EXPECT_EQ(key ? Hex(*key) : "none", c.hex ? c.hex : "none");
    EXPECT_EQ(KeysWritable(def), c.ascending);
  }
  IndexDef arabic{u"i", {{0, kText, true, TextKeys::kArabic}}, 1};
  EXPECT_EQ(EncodeKey(arabic, {Variant(std::u16string(253, u'ب'))}).value_or("").size(), 255u);
  // Text in another form and Memo have no key this engine can write.
  EXPECT_FALSE(KeysWritable(IndexDef{u"i", {{0, kText, true, TextKeys::kUnknown}}, 1}));
  EXPECT_FALSE(KeysWritable(IndexDef{u"i", {{0, kMemo, true, TextKeys::kArabic}}, 1}));
}

// A copy of host_with_books.mdb, open as pages.
class IndexTreeTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no Access fixtures in " << kFixtures;
    path_ = CopyFixture("host_with_books.mdb", TestFolder());
    file_ = PageFile::Open(path_);
  }
  void TearDown() override {
    file_.reset();
    if (!path_.empty()) fs::remove_all(path_.parent_path());
  }

  TableDef Def(std::u16string_view name) {
    for (const CatalogueTable& t : ReadCatalogue(*file_)) {
      if (t.name == name) return ReadTableDef(*file_, t.definition_page, t.name);
    }
    throw std::logic_error("no such table");
  }

  fs::path path_;
  std::unique_ptr<PageFile> file_;
};

TEST_F(IndexTreeTest, ReadsTreesEqualToTheRowsKeys) {
  for (std::u16string name : {u"Books", u"Titles", u"Hadeeths"}) {
    TableDef def = Def(name);
    JetTable table(*file_, def);
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      IndexDef index = DescribeIndex(def, i);
      std::vector<IndexEntry> expected;
      std::set<std::string> keys;
      for (RowId row : table.Find({}, {})) {
        expected.push_back({*EncodeKey(index, table.Read(row)), row});
        keys.insert(expected.back().key);
      }
      std::sort(expected.begin(), expected.end());
      auto pages = IndexPagesOf(*file_, def.real_indexes[i].usage_map);
      EXPECT_EQ(IndexTree(*pages, index.root_page).Scan().entries, expected);
      // The definition counts the distinct keys.
      EXPECT_EQ(def.real_indexes[i].row_count, keys.size());
    }
  }
}

TEST_F(IndexTreeTest, KeepsTreeWholeThroughAppendsAndRandomInserts) {
  TableDef def = Def(u"Hadeeths");
  IndexDef index = DescribeIndex(def, 0);  // TitleID, HadeethID
  RowId usage_map = def.real_indexes[0].usage_map;
  auto pages = IndexPagesOf(*file_, usage_map);
  IndexTree tree(*pages, index.root_page);
  std::vector<IndexEntry> expected = tree.Scan().entries;
  std::set<std::string> keys;
  for (const IndexEntry& e : expected) keys.insert(e.key);
  auto add = [&](int64_t title, int64_t hadeeth, RowId row) {
    std::vector<Variant> values(def.columns.size());
    values[index.columns[0].column] = Variant(title);
    values[index.columns[1].column] = Variant(hadeeth);
    IndexEntry entry{*EncodeKey(index, values), row};
    EXPECT_EQ(tree.Insert(entry.key, entry.row), keys.insert(entry.key).second);
    expected.push_back(entry);
  };
  size_t pages_before = tree.Scan().pages.size();
  {
    // The root as Jet may keep it: an entry for its last child too, no tail.
    // It takes a tail when it changes.
    std::span<uint8_t> root = file_->WritePage(index.root_page).span();
    const IndexEntry& last = expected.back();
    std::string entry = last.key + char(0) + char(last.row.page >> 8) + char(last.row.page) +
                        char(last.row.row) + std::string(2, '\0') + char(root[21]) + char(root[20]);
    size_t end = 4096 - 0x1e0 - (root[2] | root[3] << 8) + entry.size();
    std::copy(entry.begin(), entry.end(), root.end() - (root[2] | root[3] << 8));
    root[0x1b + end / 8] |= uint8_t(1 << end % 8);
    root[2] = uint8_t(4096 - 0x1e0 - end), root[3] = uint8_t((4096 - 0x1e0 - end) >> 8);
    std::fill(root.begin() + 20, root.begin() + 24, 0);
  }
  for (uint32_t i = 0; i < 3000; ++i)
    add(1000 + i / 10, i % 10, RowId{4000 + i / 200, uint16_t(i % 200)});
  // Entries added in key order leave full pages behind them.
  EXPECT_LE(tree.Scan().pages.size() - pages_before, 10u);
  // Rows that fall before and after the rows of an equal key.
  std::mt19937 random(42);
  for (uint32_t i = 0; i < 4000; ++i) {
    int64_t title = random() % 400, hadeeth = random() % 20;
    if (i % 8 == 0) title = hadeeth = 7;  // a key of 500 rows, over several leaves
    add(title, hadeeth, RowId{9000 - i / 200, uint16_t(i % 200)});
  }

  std::sort(expected.begin(), expected.end());
  IndexScan scan = tree.Scan();
  EXPECT_EQ(scan.entries, expected);
  EXPECT_LE(scan.pages.size(), expected.size() / 150);  // split pages stay half full
  std::map<std::string, std::vector<RowId>> rows;
  for (const IndexEntry& e : expected) rows[e.key].push_back(e.row);
  for (const auto& [key, key_rows] : rows) ASSERT_EQ(tree.Find(key), key_rows);
  // The pages reach the file and the index's usage map lists every one.
  file_->Flush();
  pages.reset();
  file_.reset();  // Windows opens the file for one writer at a time
  file_ = PageFile::Open(path_);
  pages = IndexPagesOf(*file_, usage_map);
  scan = IndexTree(*pages, index.root_page).Scan();
  EXPECT_EQ(scan.entries, expected);
  UsageMap map = UsageMap::Read(*file_, usage_map);
  for (uint32_t page : scan.pages) EXPECT_TRUE(map.Contains(page)) << page;
}

TEST_F(IndexTreeTest, GrowsLevelsUnderLongKeys) {
  TableDef def = Def(u"Books");
  auto pages = IndexPagesOf(*file_, def.real_indexes[0].usage_map);
  IndexTree tree(*pages, def.real_indexes[0].first_page);
  std::vector<IndexEntry> expected = tree.Scan().entries;
  std::mt19937 random(7);
  for (uint32_t i = 0; i < 8000; ++i) {
    // Keys over four byte values, most of 64 to 255 bytes, some of 1 to 6
    // (equal keys, keys that begin others), so that pages share prefixes of
    // many lengths.
    std::string key(random() % 4 ? 64 + random() % 192 : 1 + random() % 6, '\0');
    for (char& b : key) b = char(random() % 4);
    RowId row{6000 + i / 200, uint16_t(i % 200)};
    tree.Insert(key, row);
    expected.push_back({key, row});
  }
  std::sort(expected.begin(), expected.end());
  IndexScan scan = tree.Scan();
  EXPECT_EQ(scan.entries, expected);
  EXPECT_GE(scan.depth, 4) << scan.pages.size() << " pages";
}

TEST_F(IndexTreeTest, AdmitsRowsAsJetDoes) {
  TableDef def = Def(u"Titles");
  IndexDef primary = DescribeIndex(def, 0);
  auto pages = IndexPagesOf(*file_, def.real_indexes[0].usage_map);
  IndexTree tree(*pages, primary.root_page);
  IndexDef plain = primary;
  plain.unique = plain.required = false;
  plain.ignore_nulls = true;
  IndexDef text = primary;
  text.columns[0].type = kText;
  struct Case {
    const IndexDef& index;
    Variant title_id;
    Admission admission;
  };
  const Case cases[] = {
      {primary, Variant(int64_t{5}), Admission::kDuplicate},
      {primary, Variant(int64_t{301}), Admission::kAdd},
      {primary, Variant(), Admission::kNull},
      {plain, Variant(int64_t{5}), Admission::kAdd},
      {plain, Variant(), Admission::kSkip},
      {text, Variant(std::u16string(u"5")), Admission::kUnwritable},
  };
  for (const Case& c : cases) {
    std::vector<Variant> row(def.columns.size());
    row[primary.columns[0].column] = c.title_id;
    EXPECT_EQ(Admit(c.index, tree, row).admission, c.admission) << &c - cases;
  }
}

TEST_F(IndexTreeTest, RefusesDamagedPages) {
  struct Case {
    const char16_t* table;
    size_t index;
    size_t offset;  // in the root page
    uint8_t byte;
  };
  const Case cases[] = {
      {u"Books", 0, 0x00, 0x01},         // a data page
      {u"Books", 0, 0x02, 0x00},         // free space
      {u"Books", 0, 0x1e0 + 4, 0x09},    // first key above the second
      {u"Books", 0, 0x1b, 0x10},         // an entry too short for a row
      {u"Titles", 1, 0x1e0 + 28, 0x99},  // an entry not its child's last
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    const RealIndex real = Def(c.table).real_indexes[c.index];
    const uint8_t was = std::exchange(file_->WritePage(real.first_page).data()[c.offset], c.byte);
    auto pages = IndexPagesOf(*file_, real.usage_map);
    try {
      IndexTree(*pages, real.first_page).Scan();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errors::kNotADatabase);
    }
    file_->WritePage(real.first_page).data()[c.offset] = was;
  }
}

// Copies of the Access 97 files that Jet wrote, open as pages.
class Jet3IndexTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kFixtures / "real")) {
      GTEST_SKIP() << "no Access 97 files in " << kFixtures / "real";
    }
  }

  PageFile& Open(const char* name) {
    file_.reset();
    fs::path folder = TestFolder();
    file_ = PageFile::Open(CopyFixture(fs::path("real") / name, folder));
    return *file_;
  }

  // Every table of the file, the system tables too, as the catalogue lists
  // them (the catalogue first).
  std::vector<TableDef> Tables() {
    std::vector<TableDef> defs = {ReadTableDef(*file_, kCataloguePage, u"MSysObjects")};
    JetTable catalogue(*file_, defs[0]);
    const size_t id = defs[0].ColumnIndex(u"Id"), type = defs[0].ColumnIndex(u"Type");
    const size_t name = defs[0].ColumnIndex(u"Name");
    for (RowId row : catalogue.Find({}, {})) {
      std::vector<Variant> values = catalogue.Read(row);
      uint32_t page = uint32_t(values[id].integer()) & 0xffffff;
      if (values[type].integer() == 1 && page != kCataloguePage) {
        defs.push_back(ReadTableDef(*file_, page, values[name].text()));
      }
    }
    return defs;
  }

  // Checks that each tree of |def| holds exactly its rows' keys; returns
  // the entries checked.
  size_t ExpectTreesHoldRowKeys(const TableDef& def) {
    JetTable table(*file_, def);
    size_t checked = 0;
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      IndexDef index = DescribeIndex(def, i);
      SCOPED_TRACE(testing::Message() << Utf16ToUtf8(def.name) << " " << Utf16ToUtf8(index.name));
      if (!KeysWritable(index)) continue;
      std::vector<IndexEntry> expected;
      for (RowId row : table.Find({}, {})) {
        std::optional<std::string> key = EncodeKey(index, table.Read(row));
        if (!key) {
          ADD_FAILURE() << "no key for row " << row.page << ":" << row.row;
          continue;
        }
        expected.push_back({*key, row});
      }
      std::sort(expected.begin(), expected.end());
      auto pages = IndexPagesOf(*file_, def.real_indexes[i].usage_map);
      EXPECT_EQ(IndexTree(*pages, index.root_page).Scan().entries, expected);
      checked += expected.size();
    }
    return checked;
  }

  std::unique_ptr<PageFile> file_;
};

// Every tree of the six files, among them the catalogue's (ParentId, Name)
// over Latin names and the 4,516 Arabic words of Ix.
TEST_F(Jet3IndexTest, ReadsJetsTreesAsTheRowsKeys) {
  for (const char* name : {"mie00_160111.mdb", "mie00_170.mdb", "openiti_shamela_102.mdb",
                           "openiti_shamela_32.mdb", "sham19y_0001.bok", "sham19y_0005.bok"}) {
    SCOPED_TRACE(name);
    Open(name);
    std::vector<TableDef> tables = Tables();
    for (const TableDef& def : tables) {
      const size_t checked = ExpectTreesHoldRowKeys(def);
      // The catalogue's two indexes, (ParentId, Name) and Id, and Ix's one.
      const size_t entries = def.page == kCataloguePage ? 2 * def.row_count
                             : def.name == u"Ix"        ? 4516
                                                        : checked;
      EXPECT_EQ(checked, entries) << Utf16ToUtf8(def.name);
    }
  }
}

TEST_F(Jet3IndexTest, InsertsWordsWithJetsKeys) {
  PageFile& file = Open("mie00_160111.mdb");
  std::vector<TableDef> tables = Tables();
  const TableDef& def =
      *std::find_if(tables.begin(), tables.end(), [](auto& t) { return t.name == u"Ix"; });
  IndexDef index = DescribeIndex(def, 0);
  const RowId usage_map = def.real_indexes[0].usage_map;
  auto pages = IndexPagesOf(file, usage_map);
  IndexTree tree(*pages, index.root_page);
  std::vector<IndexEntry> expected = tree.Scan().entries;
  // The byte after the prefix length, as Jet wrote it on this intermediate
  // root: new intermediate pages get the same.
  const uint8_t node_mark = file.ReadPage(index.root_page).data()[0x15];
  // Every word four times again, each under a row of its own, in random
  // order: each new key is the one Jet wrote for the word.
  JetTable table(file, def);
  std::vector<RowId> rows;
  for (int i = 0; i < 4; ++i) {
    std::vector<RowId> all = table.Find({}, {});
    rows.insert(rows.end(), all.begin(), all.end());
  }
  std::shuffle(rows.begin(), rows.end(), std::mt19937(3));
  uint32_t n = 0;
  for (RowId row : rows) {
    std::vector<Variant> values = table.Read(row);
    std::optional<std::string> key = EncodeKey(index, values);
    ASSERT_TRUE(key);
    RowId added{2000 + n / 200, uint16_t(n % 200)};
    ++n;
    EXPECT_FALSE(tree.Insert(*key, added));
    std::vector<RowId> found = tree.Find(*key);
    ASSERT_TRUE(std::find(found.begin(), found.end(), row) != found.end())
        << Utf16ToUtf8(values[index.columns[0].column].text());
    expected.push_back({*key, added});
  }
  std::sort(expected.begin(), expected.end());
  file.Flush();
  const fs::path path = file.path();
  pages.reset();
  file_.reset();
  file_ = PageFile::Open(path);
  pages = IndexPagesOf(*file_, usage_map);
  IndexScan scan = IndexTree(*pages, index.root_page).Scan();
  EXPECT_EQ(scan.entries, expected);
  EXPECT_GE(scan.depth, 3);
  UsageMap map = UsageMap::Read(*file_, usage_map);
  for (uint32_t page : scan.pages) {
    EXPECT_TRUE(map.Contains(page)) << page;
    const PageRef bytes = file_->ReadPage(page);
    if (bytes.data()[0] == kPageIndexNode) {
      EXPECT_EQ(bytes.data()[0x15], node_mark) << page;
    }
  }
}

}  // namespace
}  // namespace addbook::jet
