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
    TableSpec spec;
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
  for (const auto& [file, page, variant, spec] : cases) {
    SCOPED_TRACE(Utf16ToUtf8(spec.name));
    const std::vector<uint8_t> jet = ReadFilePage(kFixtures / "real" / file, page);
    // Jet's layout: the maps in rows of the next page, the roots after it.
    TableLayout layout{page, {page + 1, 0}, {page + 1, 1}};
    uint16_t row = 2;
    for (const ColumnSpec& column : spec.columns) {
      if (column.type == kMemo)
        layout.long_value_maps.push_back({{page + 1, row++}, {page + 1, row++}});
    }
    for (uint32_t i = 0; i < spec.indexes.size(); ++i) {
      layout.index_maps.push_back({page + 1, row++});
      layout.index_roots.push_back(page + 2 + i);
    }
    std::vector<uint8_t> ours =
        EncodeTableDef(kPageSize3, {variant, kSortArabic, 1256}, spec, layout);
    const size_t length = Get32(jet.data() + 8);
    ASSERT_EQ(Get32(ours.data() + 8), length);
    std::copy_n(&jet[12], 4, &ours[12]);
    size_t at = 43 + 8 * spec.indexes.size();
    for (const ColumnSpec& column : spec.columns) {
      if (column.type != kLong && column.type != ColumnType::kByte)
        std::copy_n(&jet[at + 14], 2, &ours[at + 14]);
      at += 18;
    }
    for (const ColumnSpec& column : spec.columns) at += 1 + column.name.size();
    for (const IndexSpec& index : spec.indexes) {
      for (size_t k = index.columns.size(); k < 10; ++k) ours[at + 3 * k + 2] = jet[at + 3 * k + 2];
      at += 39;
    }
    EXPECT_EQ(Hex(std::string(ours.begin(), ours.begin() + length)),
              Hex(std::string(jet.begin(), jet.begin() + length)));
  }
}

// Specs the format cannot hold are refused before anything is written.
TEST(TableCreatorTest, RefusesSpecsTheFormatCannotHold) {
  const std::vector<std::pair<TableSpec, std::string>> cases = {
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

// The host's tables made in a copy of a real Access 97 file: the other
// readers find them with the columns and indexes of the Access 2000 host
// that Jackcess made, empty and then holding rows that this engine wrote;
// the engine itself finds them too.
TEST(TableCreatorTest, HostTablesReadByEveryReader) {
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
  const std::vector<TableShape>& shapes = HostTables();
  std::vector<std::vector<Row>> want(shapes.size());
  const auto read_back = [&] {
    for (const AccessReader reader : {AccessReader::kMdbtools, AccessReader::kMdbReader}) {
      const ReadBack read = ReadAccess(reader, host, shapes);
      EXPECT_EQ(read.complaints, "") << ReaderName(reader);
      EXPECT_TRUE(SameRows(shapes, read.tables, want)) << ReaderName(reader);
    }
  };
  read_back();

  // Rows written by this engine: Titles' AutoNumber and every index in use,
  // Arabic text, a Memo on long-value pages.
  const std::u16string arabic = u"\u0628\u0627\u0628 \u0627\u0644\u0625\u064a\u0645\u0627\u0646";
  const std::u16string memo(3000, u'\u0639');
  {
    const std::unique_ptr<Database> db = Database::Open(host);
    for (const TableShape& shape : shapes) {
      Table* table = db->FindTable(Utf8ToUtf16(shape.name));
      ASSERT_NE(table, nullptr) << shape.name;
      EXPECT_EQ(table->column_names().size(), shape.columns.size());
    }
    const auto n = [](int64_t v) { return Variant(v); };
    for (int64_t i = 1; i <= 3; ++i) {
      db->FindTable(u"Titles")->Insert(
          {1, 2, 3, 4, 5, 6, 7}, {n(7), n(i), n(0), n(0), n(0), Variant(arabic), Variant(memo)});
    }
    db->FindTable(u"Books")->Insert({0, 1}, {n(7), Variant(arabic)});
    db->FindTable(u"Hadeeths")->Insert({0, 1, 2, 3, 4}, {n(7), n(2), n(1), n(1), Variant(arabic)});
    db->Flush();
  }
  const std::string text = Utf16ToUtf8(arabic);
  want[0] = {{"7", text, std::nullopt, std::nullopt}};
  want[1] = {{"7", "2", "1", "1", text}};
  for (const char* i : {"1", "2", "3"}) {
    want[2].push_back({i, "7", i, "0", "0", "0", text, Utf16ToUtf8(memo)});
  }
  read_back();
}

#endif  // _WIN32

}  // namespace
}  // namespace addbook::jet
