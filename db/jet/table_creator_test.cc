#include "db/jet/table_creator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "base/text.h"
#include "db/jet/catalogue.h"
#include "db/jet/host97_test_util.h"
#include "db/jet/index.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/usage_map.h"

#ifndef _WIN32
#include "db/access_readers.h"
#endif

namespace addbook::jet {
namespace {

constexpr size_t kPageSize3 = 2048;

std::vector<uint8_t> ReadFilePage(const std::filesystem::path& file, uint32_t page) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(page) * kPageSize3);
  std::vector<uint8_t> bytes(kPageSize3);
  in.read(reinterpret_cast<char*>(bytes.data()), kPageSize3);
  return bytes;
}

// Definitions that Jet wrote for tables of real Access 97 files, encoded
// again from the tables' columns and indexes: every byte Jet sets must come
// out the same.  Jet leaves two kinds of bytes unset (whatever the page held
// before): the fixed offset of a variable column and the order byte of an
// unused index column; those are taken from Jet's page, and so is the row
// count of a table that holds rows.
TEST(TableCreatorTest, EncodesDefinitionsAsJetDid) {
  if (!std::filesystem::exists(kFixtures / "real")) GTEST_SKIP() << "no fixtures";
  constexpr ColumnType kLong = ColumnType::kLong;
  constexpr ColumnType kMemo = ColumnType::kMemo;
  struct Case {
    const char* file;
    uint32_t page;
    uint16_t collation_variant;
    TableDesign design;
  };
  const std::vector<Case> cases = {
      {"sham19y_0001.bok",
       128,
       0,
       {u"men_h", {{u"Name", kMemo}, {u"Id", kLong}, {u"upG", kLong}}, {{u"Id", {u"Id"}}}}},
      {"sham19y_0001.bok",
       148,
       0,
       {u"Shorts", {{u"Bk", kLong}, {u"ramz", ColumnType::kText, 10}, {u"nass", kMemo}}}},
      {"openiti_shamela_32.mdb",
       19,
       1,
       {u"book", {{u"id"}, {u"nass", kMemo}, {u"part", ColumnType::kByte}, {u"page"}, {u"hno"}}}},
  };
  for (const auto& [file, page, variant, design] : cases) {
    SCOPED_TRACE(Utf16ToUtf8(design.name));
    const std::vector<uint8_t> jet = ReadFilePage(kFixtures / "real" / file, page);
    // Jet's layout: the maps in rows of the next page, the roots after it.
    TableLayout layout{page, {page + 1, 0}, {page + 1, 1}};
    uint16_t row = 2;
    for (const ColumnDesign& column : design.columns) {
      if (column.type == kMemo)
        layout.long_value_maps.push_back({{page + 1, row++}, {page + 1, row++}});
    }
    for (uint32_t i = 0; i < design.indexes.size(); ++i) {
      layout.index_maps.push_back({page + 1, row++});
      layout.index_roots.push_back(page + 2 + i);
    }
    std::vector<uint8_t> ours =
        EncodeTableDef(kPageSize3, {variant, kSortArabic, 1256}, design, layout);
    const size_t length = Get32(jet.data() + 8);
    ASSERT_EQ(Get32(ours.data() + 8), length);
    std::copy_n(&jet[12], 4, &ours[12]);
    size_t at = 43 + 8 * design.indexes.size();
    for (const ColumnDesign& column : design.columns) {
      if (column.type != kLong && column.type != ColumnType::kByte)
        std::copy_n(&jet[at + 14], 2, &ours[at + 14]);
      at += 18;
    }
    for (const ColumnDesign& column : design.columns) at += 1 + column.name.size();
    for (const IndexDesign& index : design.indexes) {
      for (size_t k = index.columns.size(); k < 10; ++k) ours[at + 3 * k + 2] = jet[at + 3 * k + 2];
      at += 39;
    }
    EXPECT_EQ(Hex(std::string(ours.begin(), ours.begin() + length)),
              Hex(std::string(jet.begin(), jet.begin() + length)));
  }
}

// Designs the format cannot hold are refused before anything is written.
TEST(TableCreatorTest, RefusesDesignsTheFormatCannotHold) {
  const std::vector<std::pair<TableDesign, std::string>> cases = {
      {{u"T", {{u"A"}, {u"a"}}}, "two columns are named a"},
      {{u"T", {{u"\u4e00"}}},
       "the column name \"\u4e00\" has a character that the file's code page lacks"},
      {{u"T", {{u"A"}}, {{u"I", {u"B"}}}}, "the index I names a column B that the table lacks"},
  };
  for (const auto& [table, message] : cases) {
    TableLayout layout;
    layout.index_maps.resize(table.indexes.size());
    layout.index_roots.resize(table.indexes.size());
    try {
      EncodeTableDef(kPageSize3, {}, table, layout);
      ADD_FAILURE() << "not refused: " << message;
    } catch (const Error& error) {
      EXPECT_EQ(Utf16ToUtf8(error.description()), "Cannot create the table T: " + message + ".");
    }
  }
}

#ifndef _WIN32  // mdbtools and mdb-reader run on Linux only
std::string Command(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// The schema mdbtools prints for the host's tables, with their indexes.
std::string HostSchema(const std::filesystem::path& file) {
  std::string schema;
  for (const char* table : {"Books", "Titles", "Hadeeths"}) {
    schema += Command("mdb-schema --indexes --no-drop-table -T " + std::string(table) + " '" +
                      file.string() + "' postgres 2>&1 | grep -v '^--'");
  }
  return schema;
}

// The host's tables made in a copy of a real Access 97 file: mdbtools finds
// them with the columns and indexes of the Access 2000 host that Jackcess
// made.
TEST(TableCreatorTest, HostTablesHaveTheHostsSchema) {
  if (!std::filesystem::exists(kFixtures / "real")) GTEST_SKIP() << "no fixtures";
  if (const auto missing = AccessReadersMissing()) GTEST_SKIP() << *missing;
  const std::filesystem::path host =
      MakeHost97(kFixtures / "real/openiti_shamela_32.mdb", TestFolder() / "host97.mdb");
  EXPECT_EQ(Command("mdb-tables -1 '" + host.string() + "'"),
            "book\ntitle\nBooks\nTitles\nHadeeths\n");
  EXPECT_EQ(HostSchema(host), HostSchema(kFixtures / "host_indexed.mdb"));
  {
    // Each index's root: an empty leaf of the table, in the index's map.
    const std::unique_ptr<PageFile> file = PageFile::Open(host);
    for (const CatalogueTable& entry : ReadCatalogue(*file)) {
      const TableDef def = ReadTableDef(*file, entry.definition_page, entry.name);
      for (const RealIndex& index : def.real_indexes) {
        const PageRef root = file->ReadPage(index.first_page);
        EXPECT_EQ(Hex(std::string(root.data(), root.data() + 4)), "04010807");
        EXPECT_EQ(Get32(root.data() + 4), entry.definition_page);
        EXPECT_TRUE(UsageMap::Read(*file, index.usage_map).Contains(index.first_page));
      }
    }
    // The catalogue's (ParentId, Name) key of each new table, its letters
    // weighed as in the keys that Jet wrote in the real files.
    const TableDef catalogue = ReadTableDef(*file, kCataloguePage, u"MSysObjects");
    const std::unique_ptr<IndexPages> index_pages =
        IndexPagesOf(*file, catalogue.real_indexes[0].usage_map);
    std::set<std::string> keys;
    for (const IndexEntry& entry :
         IndexTree(*index_pages, catalogue.real_indexes[0].first_page).Scan().entries) {
      keys.insert(Hex(entry.key));
    }
    for (const char* name : {"6172726c76", "776a776d6676", "6960646666776976"}) {
      EXPECT_EQ(keys.count("7f8f0000017f" + std::string(name) + "00"), 1u) << name;
    }
    // A taken name, and one the catalogue's index cannot key, are refused
    // before any page changes.
    const uint32_t pages = file->page_count();
    for (const auto& [name, message] :
         {std::pair(u"BOOKS", "Table 'BOOKS' already exists."),
          std::pair(u"Wz",
                    "Cannot create the table Wz: the catalogue's index ParentIdName has no "
                    "key known to the byte for its name.")}) {
      try {
        CreateTable(*file, {name, {{u"A"}}}, 0);
        ADD_FAILURE() << "not refused: " << message;
      } catch (const Error& error) {
        EXPECT_EQ(Utf16ToUtf8(error.description()), message);
      }
    }
    EXPECT_EQ(file->page_count(), pages);
  }
  // Rows in them, written by this engine and read by both readers: the
  // installer's imports into this host (app/access_host_test.cc).
}

#endif  // _WIN32

}  // namespace
}  // namespace addbook::jet
