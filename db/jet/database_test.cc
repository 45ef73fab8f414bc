#include "db/jet/database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/catalogue.h"
#include "db/jet/format.h"
#include "db/jet/jet_table.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

namespace fs = std::filesystem;

// Text as the dumps write it, in JSON quotes.
std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : Utf16ToUtf8(text)) {
    if (c == '"' || c == '\\' || c == '\r' || c == '\n') out += '\\';
    out += c == '\r' ? 'r' : c == '\n' ? 'n' : c;
  }
  return out + '"';
}

// |s| with its last comma, or else |bracket|, made |bracket|.
void Close(std::string& s, char bracket) {
  if (s.back() == ',') s.pop_back();
  s += bracket;
}

// The dump's line of |def|.
std::string TableLine(const TableDef& def) {
  std::string s = "{\"table\":" + Quoted(def.name) +
                  ",\"rowCount\":" + std::to_string(def.row_count) + ",\"columns\":[";
  for (const Column& c : def.columns) {
    s += "{\"name\":" + Quoted(c.name) + ",\"type\":\"" +
         (c.type == ColumnType::kLong   ? "LONG"
          : c.type == ColumnType::kText ? "TEXT"
          : c.type == ColumnType::kMemo ? "MEMO"
                                        : "OTHER") +
         "\",\"size\":" + std::to_string(c.long_value() ? 0 : c.length) +
         (c.auto_number() ? ",\"autoNumber\":true}," : "},");
  }
  Close(s, ']');
  s += ",\"indexes\":[";
  for (const LogicalIndex& index : def.indexes) {
    const RealIndex& real = def.real_indexes[index.real_index];
    s += "{\"name\":" + Quoted(index.name) + ",\"columns\":[";
    for (const auto& k : real.columns) s += Quoted(def.ColumnByNumber(k.column_number)->name) + ",";
    Close(s, ']');
    s += std::string(index.primary_key() ? ",\"primaryKey\":true" : "") +
         (real.unique() ? ",\"unique\":true}," : "},");
  }
  Close(s, ']');
  return s + "}";
}

// The dump's line of a row of |def|.
std::string RowLine(const TableDef& def, const std::vector<Variant>& values) {
  std::string s = "{\"table\":" + Quoted(def.name) + ",\"row\":{";
  for (size_t c = 0; c < values.size(); ++c) {
    const Variant& v = values[c];
    s += Quoted(def.columns[c].name) + ":" +
         (v.is_null()                        ? "null"
          : v.type() == Variant::Type::kText ? Quoted(v.text())
                                             : std::to_string(v.integer())) +
         ",";
  }
  Close(s, '}');
  return s + "}";
}

class JetDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no Access fixtures in " << kFixtures;
    folder_ = TestFolder();
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }
  fs::path Copy(const fs::path& name) { return CopyFixture(name, folder_); }

  // Changes |length| bytes of |file| at |offset| with |change|.
  template <typename Change>
  static void Patch(const fs::path& file, size_t offset, size_t length, Change change) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<uint8_t> bytes(length);
    f.seekg(static_cast<std::streamoff>(offset));
    f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    change(std::span<uint8_t>(bytes));
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(length));
  }

  // The lines of |name|'s dump: the database, then per table its line and
  // rows.
  static std::vector<std::string> Dump(const fs::path& name) {
    std::ifstream in(kFixtures / (name.string() + ".dump.jsonl"));
    if (!in) in.open(kFixtures / (name.stem().string() + ".dump.jsonl"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path folder_;
};

std::vector<fs::path> Fixtures() {
  std::vector<fs::path> files;
  if (!fs::is_directory(kFixtures)) return files;
  for (const auto& entry : fs::directory_iterator(kFixtures)) {
    const fs::path ext = entry.path().extension();
    if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path().filename());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Every fixture read back equals its dump: header, tables, columns,
// indexes, and every row in physical order.
TEST_F(JetDatabaseTest, EveryFixtureReadsAsItsDump) {
  ASSERT_FALSE(Fixtures().empty());
  for (const fs::path& name : Fixtures()) {
    SCOPED_TRACE(name.string());
    const fs::path file = Copy(name);
    const std::vector<std::string> dump = Dump(name);
    ASSERT_FALSE(dump.empty());
    const FileHeader h = PageFile::Open(file)->header();
    EXPECT_NE(dump[0].find("\"pageSize\":" + std::to_string(h.page_size) +
                           ",\"sortOrder\":{\"value\":" + std::to_string(h.sort_order) +
                           ",\"version\":" + std::to_string(h.sort_version) + ","),
              std::string::npos);
    EXPECT_NE(dump[0].find(",\"codePage\":" + std::to_string(h.code_page) + ","),
              std::string::npos);
    EXPECT_EQ(h.ace(), dump[0].find("\"V2007\"") != std::string::npos);
    std::vector<std::string> lines = {dump[0]};
    const std::unique_ptr<Database> db = Database::Open(file);
    for (const char16_t* table_name : {u"Books", u"Hadeeths", u"Titles"}) {
      auto* table = static_cast<JetTable*>(db->FindTable(FoldAsciiCase(table_name)));
      ASSERT_NE(table, nullptr);
      lines.push_back(TableLine(table->def()));
      for (const RowId id : table->Find({}, {}))
        lines.push_back(RowLine(table->def(), table->Read(id)));
    }
    ASSERT_EQ(lines.size(), dump.size());
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], dump[i]) << "line " << i + 1;
    EXPECT_EQ(db->FindTable(u"MSysObjects"), nullptr);
  }
}

// Find answers from its key map what a scan of the rows gives, in the
// table's order, and only for whole-number columns.
TEST_F(JetDatabaseTest, FindMatchesTheRows) {
  const std::unique_ptr<Database> db = Database::Open(Copy("host_with_books.mdb"));
  Table& hadeeths = *db->FindTable(u"Hadeeths");
  size_t seen = 0;
  for (const RowId id : hadeeths.Find({}, {})) {
    const std::vector<Variant> row = hadeeths.Read(id);
    const std::vector<RowId> found = hadeeths.Find({1, 2}, {row[1].integer(), row[2].integer()});
    EXPECT_EQ(found, std::vector<RowId>{id});
    seen += hadeeths.Find({0}, {row[0].integer()}).size() > 0;
  }
  EXPECT_EQ(seen, 2000u);
  // A row the writer changed: its maps follow it.
  const RowId first = hadeeths.Find({}, {})[0];
  const std::vector<Variant> before = hadeeths.Read(first);
  std::vector<Variant> after = before;
  after[2] = Variant(int64_t{99999});
  static_cast<JetTable&>(hadeeths).NoteUpdated(first, before, after);
  EXPECT_EQ(hadeeths.Find({1, 2}, {after[1].integer(), 99999}), std::vector<RowId>{first});
  EXPECT_TRUE(hadeeths.Find({1, 2}, {before[1].integer(), before[2].integer()}).empty());
  EXPECT_TRUE(hadeeths.Find({0, 1}, {4, 1}).empty());
  try {
    hadeeths.Find({4}, {1});
    FAIL() << "a Memo column was taken as a key";
  } catch (const Error& error) {
    EXPECT_EQ(error.description(),
              u"Rows of Hadeeths are found only by whole-number columns, not by Hadeeth");
  }
}

// Columns come in the order of their column index, which may differ from
// the order of the definition (a column moved in Access's design view).
TEST_F(JetDatabaseTest, ColumnsInTheirIndexOrder) {
  const fs::path file = Copy("host_with_books.mdb");
  uint32_t page = 0;
  size_t entries = 0;
  {
    const auto db = Database::Open(file);
    const TableDef& def = static_cast<JetTable*>(db->FindTable(u"Books"))->def();
    page = def.page;
    entries = 63 + 12 * def.real_indexes.size();
  }
  // Name (second in the definition) and Author (third) trade places.
  Patch(file, size_t{page} * kPageSize + entries, 3 * 25, [](std::span<uint8_t> columns) {
    Put16(&columns[25 + 9], 2);
    Put16(&columns[50 + 9], 1);
  });
  const auto db = Database::Open(file);
  Table& books = *db->FindTable(u"Books");
  EXPECT_EQ(books.column_names(),
            (std::vector<std::u16string>{u"BookNo", u"Author", u"Name", u"Details"}));
  EXPECT_EQ(books.Read(books.Find({0}, {1})[0])[1].text(),
            u"\u0645\u062D\u0645\u062F \u0628\u0646 \u0625\u0633\u0645\u0627\u0639\u064A\u0644 "
            u"\u0627\u0644\u0628\u062E\u0627\u0631\u064A");
}

// The free-page map gives its free pages first, then pages past the end,
// its window moving on with them; pages changed beyond the cache's bound
// reach the file; a table's map grows past its inline window into map pages
// and shrinks back.  Every change is found again when the file is read anew.
TEST_F(JetDatabaseTest, PagesAndMapsWrittenBack) {
  for (const char* fixture :
       {"host_2003.mdb", "host_with_books.mdb", "real/openiti_shamela_32.mdb"}) {
    SCOPED_TRACE(fixture);
    const fs::path file = Copy(fixture);
    std::vector<uint32_t> expected;
    {
      const auto pages = PageFile::Open(file, 0);  // the smallest cache
      for (uint32_t p : UsageMap::Read(*pages, kFreePageMap).Pages()) {
        if (p > 2 && p < pages->page_count()) expected.push_back(p);
      }
      for (uint32_t p = pages->page_count(); p < 1100; ++p) expected.push_back(p);
      for (const uint32_t want : expected) {
        const WritablePage page = pages->AllocatePage();
        ASSERT_EQ(page.number(), want);
        Put32(page.data() + 8, want);
      }
      pages->Flush();
    }
    const auto pages = PageFile::Open(file);
    EXPECT_EQ(pages->page_count(), 1100u);
    const UsageMap free_map = UsageMap::Read(*pages, kFreePageMap);
    for (const uint32_t p : expected) {
      ASSERT_EQ(Get32(pages->ReadPage(p).data() + 8), p);
      ASSERT_FALSE(free_map.Contains(p)) << p;
    }
    EXPECT_TRUE(free_map.Contains(1100));
  }

  for (const auto& [fixture, table] : {std::pair{"host_with_books.mdb", u"Titles"},
                                       std::pair{"real/openiti_shamela_32.mdb", u"book"}}) {
    SCOPED_TRACE(fixture);
    const fs::path file = Copy(fixture);
    // The map's place, read before the file is opened again: Windows opens
    // it for one writer at a time.
    const RowId used_pages =
        static_cast<JetTable*>(Database::Open(file)->FindTable(table))->def().used_pages;
    const auto pages = PageFile::Open(file);
    UsageMap map = UsageMap::Read(*pages, used_pages);
    std::vector<uint32_t> held = map.Pages();
    for (const uint32_t far : {70000u, 100u, 3u}) {
      map.Add(*pages, far);
      held.push_back(far);
      std::sort(held.begin(), held.end());
      EXPECT_EQ(UsageMap::Read(*pages, used_pages).Pages(), held) << far;
    }
    map.Remove(*pages, 70000);
    held.pop_back();
    EXPECT_EQ(UsageMap::Read(*pages, used_pages).Pages(), held);
  }
}

#ifndef _WIN32  // mdbtools runs on Linux only
// The lines of |command|'s output that start with one of |starts|, without
// trailing commas and spaces.
std::string Lines(const std::string& command, std::initializer_list<std::string_view> starts) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  std::string out;
  char line[4096];
  while (pipe && fgets(line, sizeof line, pipe)) {
    std::string_view text(line);
    while (!text.empty() && std::string_view(" ,\n").find(text.back()) != text.npos) {
      text.remove_suffix(1);
    }
    for (std::string_view start : starts) {
      if (text.starts_with(start)) out += std::string(text) + "\n";
    }
  }
  if (pipe) pclose(pipe);
  return out;
}

// Every table of the real Access 97 files, opened by Database::Open and
// found by its name in capitals, has the columns (in order, with their
// types and Text lengths in characters) and indexes that mdbtools'
// mdb-schema gives, and as many rows as its definition counts; its
// used-pages map holds exactly the data pages that name it as their owner.
TEST_F(JetDatabaseTest, Jet3TablesAsMdbtoolsReadsThem) {
  if (std::system("command -v mdb-schema >/dev/null") != 0) GTEST_SKIP() << "no mdb-schema here";
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(kFixtures / "real")) {
    if (entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    const fs::path file = Copy("real" / entry.path().filename());
    const std::string quoted = "'" + entry.path().string() + "' ";
    const std::string want = Lines("mdb-schema " + quoted + "access", {"CREATE TABLE", "\t["}) +
                             Lines("mdb-schema --indexes " + quoted + "mysql", {"ALTER TABLE"});
    std::string got, got_indexes;
    std::vector<TableDef> defs;
    const std::vector<CatalogueTable> names = ReadCatalogue(*PageFile::Open(file));
    {
      const std::unique_ptr<Database> db = Database::Open(file);
      for (const CatalogueTable& entry : names) {
        std::u16string upper = entry.name;
        for (char16_t& c : upper) c = c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c;
        auto* table = static_cast<JetTable*>(db->FindTable(upper));
        ASSERT_NE(table, nullptr) << Utf16ToUtf8(entry.name);
        const TableDef& def = defs.emplace_back(table->def());
        EXPECT_EQ(table->Find({}, {}).size(), def.row_count) << Utf16ToUtf8(def.name);
        got += "CREATE TABLE [" + Utf16ToUtf8(def.name) + "]\n";
        for (const Column& c : def.columns) {
          got += "\t[" + Utf16ToUtf8(c.name) + "]\t\t\t" +
                 (c.type == ColumnType::kLong   ? "Long Integer"
                  : c.type == ColumnType::kByte ? "Byte"
                  : c.type == ColumnType::kMemo ? "Memo/Hyperlink (255)"
                  : c.type == ColumnType::kText ? "Text (" + std::to_string(c.max_chars()) + ")"
                                                : "type " + std::to_string(int(c.type))) +
                 "\n";
        }
        for (const LogicalIndex& index : def.indexes) {
          got_indexes += "ALTER TABLE `" + Utf16ToUtf8(def.name) + "` ADD INDEX `" +
                         Utf16ToUtf8(index.name) + "` (";
          for (const auto& key : def.real_indexes[index.real_index].columns) {
            const Column* column = def.ColumnByNumber(key.column_number);
            got_indexes += "`" + (column ? Utf16ToUtf8(column->name) : "?") + "`";
          }
          got_indexes += ");\n";
        }
      }
    }
    EXPECT_EQ(got + got_indexes, want);
    const std::unique_ptr<PageFile> pages = PageFile::Open(file);
    std::map<uint32_t, std::vector<uint32_t>> owned;  // table page -> its data pages
    for (uint32_t p = 3; p < pages->page_count(); ++p) {
      const PageRef page = pages->ReadPage(p);
      if (page.data()[0] == kPageData) owned[Get32(page.data() + kDataOwner)].push_back(p);
    }
    for (const TableDef& def : defs) {
      EXPECT_EQ(UsageMap::Read(*pages, def.used_pages).Pages(), owned[def.page])
          << Utf16ToUtf8(def.name);
    }
  }
  EXPECT_EQ(files, 6u);
}
#endif  // _WIN32

// Files this engine does not write are refused with what was found.
TEST_F(JetDatabaseTest, RefusedFiles) {
  struct Case {
    const char* name;
    fs::path fixture;
    std::function<void(const fs::path&)> damage;
    std::string reason;
  };
  const std::string elsewhere =
      "; the Windows build of this program writes such files through Microsoft's Access driver";
  const auto masked = [](size_t offset, uint8_t value) {
    return [=](const fs::path& file) {
      Patch(file, 0, kPageSizeJet3, [&](std::span<uint8_t> page) {
        ApplyHeaderMask(page);
        page[offset] = value;
        ApplyHeaderMask(page);
      });
    };
  };
  const std::vector<Case> cases = {
      {"Jet 3 in code page 1252", "real/openiti_shamela_32.mdb", masked(0x3C, 0xE4),
       "it is an Access 97 (Jet 3) database whose text is in code page 1252, where this program "
       "writes Access 97 text in code page 1256 only" +
           elsewhere},
      {"Jet 3 password", "real/openiti_shamela_32.mdb", masked(0x55, 0x11),
       "it is protected by a database password" + elsewhere},
      {"unknown version", "host_plain.mdb",
       [](const fs::path& f) { Patch(f, 0x14, 1, [](std::span<uint8_t> b) { b[0] = 9; }); },
       "its format version byte is 9, a version of Access this program does not know" + elsewhere},
      {"encrypted", "host.accdb", masked(0x3E, 0x5A),
       "it is encrypted (database key 0x5A)" + elsewhere},
      {"password", "host_plain.mdb", masked(0x42, 0x11),
       "it is protected by a database password" + elsewhere},
      {"not Access", "host_plain.mdb",
       [](const fs::path& f) { Patch(f, 4, 4, [](std::span<uint8_t> b) { b[0] = 'X'; }); },
       "it is not an Access database (no Jet or ACE signature at its start)"},
      {"cut inside a page", "host_plain.mdb",
       [](const fs::path& f) { fs::resize_file(f, fs::file_size(f) - 100); },
       "it is cut short: 122780 bytes, not a whole number of 4096-byte pages"},
      {"cut at a page", "host_with_books.mdb",
       [](const fs::path& f) { fs::resize_file(f, 726 * kPageSize); },
       "the Access file is damaged: the table Hadeeths has page 726 of a file of 726 pages: the "
       "file is cut short."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = Copy(c.fixture);
    if (c.damage) c.damage(file);
    try {
      Database::Open(file);
      ADD_FAILURE() << "opened";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errors::kNotADatabase);
      EXPECT_EQ(Utf16ToUtf8(error.description()),
                "Cannot open the database file " + PathToUtf8(file) + ": " + c.reason);
    }
  }
}

}  // namespace
}  // namespace addbook::jet
