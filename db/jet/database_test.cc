#include "db/jet/database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/jet_table.h"
#include "db/jet/page_file.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

namespace fs = std::filesystem;

// Just enough JSON for the fixtures' dumps: one value per line.
struct Json {
  enum Kind { kNull, kBool, kInt, kReal, kText, kList, kObject } kind = kNull;
  int64_t integer = 0;
  double real = 0;
  std::u16string text;
  std::vector<Json> items;           // of a list, or an object's values
  std::vector<std::u16string> keys;  // of an object

  const Json& operator[](std::u16string_view key) const {
    static const Json missing;
    const auto it = std::find(keys.begin(), keys.end(), key);
    return it == keys.end() ? missing : items[it - keys.begin()];
  }
};

Json ParseJson(std::string_view& in) {
  const auto skip = [&] { in.remove_prefix(std::min(in.find_first_not_of(" \t"), in.size())); };
  skip();
  Json v;
  const char c = in.front();
  if (c == '{' || c == '[') {
    v.kind = c == '{' ? Json::kObject : Json::kList;
    in.remove_prefix(1);
    for (skip(); in.front() != '}' && in.front() != ']'; skip()) {
      if (in.front() == ',') in.remove_prefix(1);
      if (v.kind == Json::kObject) {
        v.keys.push_back(ParseJson(in).text);
        skip();
        in.remove_prefix(1);  // ':'
      }
      v.items.push_back(ParseJson(in));
    }
    in.remove_prefix(1);
  } else if (c == '"') {
    v.kind = Json::kText;
    std::string utf8;
    size_t i = 1;
    for (; in[i] != '"'; ++i) {
      if (in[i] != '\\') {
        utf8 += in[i];
        continue;
      }
      const char e = in[++i];
      if (e == 'u') {
        v.text += Utf8ToUtf16(utf8) +
                  static_cast<char16_t>(std::stoi(std::string(in.substr(i + 1, 4)), nullptr, 16));
        utf8.clear();
        i += 4;
      } else {
        utf8 += e == 'n'   ? '\n'
                : e == 'r' ? '\r'
                : e == 't' ? '\t'
                : e == 'b' ? '\b'
                : e == 'f' ? '\f'
                           : e;
      }
    }
    v.text += Utf8ToUtf16(utf8);
    in.remove_prefix(i + 1);
  } else if (in.starts_with("null") || in.starts_with("true") || in.starts_with("false")) {
    v.kind = c == 'n' ? Json::kNull : Json::kBool;
    v.integer = c == 't';
    in.remove_prefix(c == 'f' ? 5 : 4);
  } else {
    const size_t n = in.find_first_of(",}] ");
    const std::string number(in.substr(0, n));
    v.kind = number.find_first_of(".eE") == std::string::npos ? Json::kInt : Json::kReal;
    v.integer = v.kind == Json::kInt ? std::stoll(number) : 0;
    v.real = v.kind == Json::kReal ? std::stod(number) : 0;
    in.remove_prefix(n);
  }
  return v;
}

// The dump's form of a value read back.
Json AsJson(const Variant& value) {
  Json v;
  switch (value.type()) {
    case Variant::Type::kNull:
      break;
    case Variant::Type::kInteger:
      v.kind = Json::kInt;
      v.integer = value.integer();
      break;
    case Variant::Type::kReal:
      v.kind = Json::kReal;
      v.real = value.real();
      break;
    case Variant::Type::kText:
      v.kind = Json::kText;
      v.text = value.text();
      break;
    case Variant::Type::kBytes:
      ADD_FAILURE() << "no fixture holds bytes";
  }
  return v;
}

bool operator==(const Json& a, const Json& b) {
  return a.kind == b.kind && a.integer == b.integer && a.real == b.real && a.text == b.text;
}

const char* TypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kLong:
      return "LONG";
    case ColumnType::kText:
      return "TEXT";
    case ColumnType::kMemo:
      return "MEMO";
    default:
      return "OTHER";
  }
}

const fs::path kFixtures = ADDBOOK_JET_FIXTURES;

class JetDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no Access fixtures in " << kFixtures;
    folder_ = fs::path(testing::TempDir()) /
              (std::string("jet_") + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // A writable copy of the fixture |name|.
  fs::path Copy(const fs::path& name) {
    const fs::path copy = folder_ / name.filename();
    fs::copy_file(kFixtures / name, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    return copy;
  }

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

  // The dump of |name|: the database line, then per table its line and rows.
  static std::vector<Json> Dump(const fs::path& name) {
    std::ifstream in(kFixtures / (name.string() + ".dump.jsonl"));
    if (!in) in.open(kFixtures / (name.stem().string() + ".dump.jsonl"));
    std::vector<Json> lines;
    for (std::string line; std::getline(in, line);) {
      std::string_view view = line;
      lines.push_back(ParseJson(view));
    }
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
    const std::vector<Json> dump = Dump(name);
    ASSERT_GT(dump.size(), 1u);
    {
      const FileHeader header = PageFile::Open(file)->header();
      const Json& sort = dump[0][u"sortOrder"];
      EXPECT_EQ(header.page_size, dump[0][u"pageSize"].integer);
      EXPECT_EQ(header.code_page, dump[0][u"codePage"].integer);
      EXPECT_EQ(header.sort_order, sort[u"value"].integer);
      EXPECT_EQ(header.sort_version, sort[u"version"].integer);
      EXPECT_EQ(header.ace(), dump[0][u"format"].text == u"V2007");
    }
    const std::unique_ptr<Database> db = Database::Open(file);
    for (size_t line = 1; line < dump.size();) {
      const Json& table_line = dump[line++];
      auto* table = static_cast<JetTable*>(db->FindTable(FoldAsciiCase(table_line[u"table"].text)));
      ASSERT_NE(table, nullptr);
      const TableDef& def = table->def();
      SCOPED_TRACE(Utf16ToUtf8(def.name));
      EXPECT_EQ(def.name, table_line[u"table"].text);
      const Json& columns = table_line[u"columns"];
      ASSERT_EQ(def.columns.size(), columns.items.size());
      for (size_t c = 0; c < def.columns.size(); ++c) {
        const Column& column = def.columns[c];
        EXPECT_EQ(column.name, columns.items[c][u"name"].text);
        EXPECT_EQ(Utf8ToUtf16(TypeName(column.type)), columns.items[c][u"type"].text);
        EXPECT_EQ(column.long_value() ? 0 : column.length, columns.items[c][u"size"].integer);
        EXPECT_EQ(column.auto_number(), columns.items[c][u"autoNumber"].integer == 1);
      }
      const Json& indexes = table_line[u"indexes"];
      ASSERT_EQ(def.indexes.size(), indexes.items.size());
      for (size_t i = 0; i < def.indexes.size(); ++i) {
        const LogicalIndex& index = def.indexes[i];
        const RealIndex& real = def.real_indexes[index.real_index];
        EXPECT_EQ(index.name, indexes.items[i][u"name"].text);
        EXPECT_EQ(index.primary_key(), indexes.items[i][u"primaryKey"].integer == 1);
        EXPECT_EQ(real.unique(), indexes.items[i][u"unique"].integer == 1);
        std::vector<std::u16string> key;
        for (const auto& k : real.columns) key.push_back(def.ColumnByNumber(k.column_number)->name);
        std::vector<std::u16string> expected;
        for (const Json& k : indexes.items[i][u"columns"].items) expected.push_back(k.text);
        EXPECT_EQ(key, expected);
      }
      const std::vector<RowId> rows = table->Find({}, {});
      ASSERT_EQ(rows.size(), table_line[u"rowCount"].integer);
      EXPECT_EQ(def.row_count, rows.size());
      for (const RowId id : rows) {
        const Json& row = dump[line++][u"row"];
        const std::vector<Variant> values = table->Read(id);
        ASSERT_EQ(row.keys.size(), values.size());
        for (size_t c = 0; c < values.size(); ++c) {
          ASSERT_TRUE(AsJson(values[c]) == row[def.columns[c].name])
              << "row " << id.row << " of page " << id.page << ", "
              << Utf16ToUtf8(def.columns[c].name);
        }
      }
    }
    EXPECT_EQ(db->FindTable(u"MSysObjects"), nullptr);
  }
}

// Find answers from its key map what a scan of the rows gives, in the
// table's order, and only for whole-number columns.
TEST_F(JetDatabaseTest, FindMatchesTheRows) {
  const std::unique_ptr<Database> db = Database::Open(Copy("host_with_books.mdb"));
  Table& hadeeths = *db->FindTable(u"Hadeeths");
  std::map<std::pair<int64_t, int64_t>, std::vector<RowId>> expected;
  for (const RowId id : hadeeths.Find({}, {})) {
    const std::vector<Variant> row = hadeeths.Read(id);
    expected[{row[0].integer(), row[2].integer() % 7}].push_back(id);
  }
  ASSERT_GT(expected.size(), 20u);
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

// A row flagged deleted is passed by; a row whose place points to another
// (where an update moved it, flagged deleted there) is read from there and
// keeps its first place in the table's order.
TEST_F(JetDatabaseTest, DeletedAndMovedRows) {
  const fs::path file = Copy("host_with_books.mdb");
  std::vector<RowId> before;
  std::vector<std::vector<Variant>> values;
  {
    const std::unique_ptr<Database> db = Database::Open(file);
    Table& hadeeths = *db->FindTable(u"Hadeeths");
    before = hadeeths.Find({}, {});
    for (const RowId id : before) values.push_back(hadeeths.Read(id));
  }
  // On the first page: row 0 now points to row 2, which is flagged as a
  // moved row's new place; row 1 is deleted.
  const RowId first = before[0];
  ASSERT_EQ(before[2], (RowId{first.page, 2}));
  const size_t page_at = size_t{first.page} * kPageSize;
  uint16_t row0_start = 0;
  Patch(file, page_at, kPageSize, [&](std::span<uint8_t> page) {
    row0_start = Get16(&page[kDataRowTable]) & kRowOffsetMask;
    Put16(&page[kDataRowTable], row0_start | kRowMoved);
    Put16(&page[kDataRowTable + 2], Get16(&page[kDataRowTable + 2]) | kRowDeleted | kRowMoved);
    Put16(&page[kDataRowTable + 4], Get16(&page[kDataRowTable + 4]) | kRowDeleted);
    PutRowPointer(&page[row0_start], RowId{first.page, 2});
  });
  const std::unique_ptr<Database> db = Database::Open(file);
  Table& hadeeths = *db->FindTable(u"Hadeeths");
  std::vector<RowId> after = hadeeths.Find({}, {});
  std::vector<RowId> expected(before.begin() + 3, before.end());
  expected.insert(expected.begin(), first);
  EXPECT_EQ(after, expected);
  EXPECT_EQ(hadeeths.Read(first), values[2]);
  EXPECT_EQ(hadeeths.Find({1, 2}, {values[2][1].integer(), values[2][2].integer()}),
            std::vector<RowId>{first});
  for (const RowId gone : {before[1], before[2]}) {
    try {
      hadeeths.Read(gone);
      if (gone == before[1]) ADD_FAILURE() << "a deleted row was read";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errors::kNoCurrentRecord);
    }
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
// and shrinks back; counters are written back where they were read.  Every
// change is found again when the file is read anew.
TEST_F(JetDatabaseTest, PagesMapsAndCountersWrittenBack) {
  for (const char* fixture : {"host_2003.mdb", "host_with_books.mdb"}) {
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

  const fs::path file = Copy("host_with_books.mdb");
  {
    const auto db = Database::Open(file);
    TableDef& def = static_cast<JetTable*>(db->FindTable(u"Titles"))->def();
    def.row_count = 70001;
    def.last_auto_number = 70002;
    def.real_indexes[1].row_count = 70003;
    def.real_indexes[1].first_page = 70004;
    const auto pages = PageFile::Open(file);
    WriteCounters(*pages, def);
    pages->Flush();
  }
  const auto db = Database::Open(file);
  const TableDef& def = static_cast<JetTable*>(db->FindTable(u"Titles"))->def();
  EXPECT_EQ(def.row_count, 70001u);
  EXPECT_EQ(def.last_auto_number, 70002u);
  EXPECT_EQ(def.real_indexes[1].row_count, 70003u);
  EXPECT_EQ(def.real_indexes[1].first_page, 70004u);
  EXPECT_EQ(def.real_indexes[0].row_count, 300u);

  const auto pages = PageFile::Open(file);
  UsageMap map = UsageMap::Read(*pages, def.used_pages);
  std::vector<uint32_t> held = map.Pages();
  for (const uint32_t far : {70000u, 100u, 3u}) {
    map.Add(*pages, far);
    held.push_back(far);
    std::sort(held.begin(), held.end());
    EXPECT_EQ(UsageMap::Read(*pages, def.used_pages).Pages(), held) << far;
  }
  map.Remove(*pages, 70000);
  held.pop_back();
  EXPECT_EQ(UsageMap::Read(*pages, def.used_pages).Pages(), held);
}

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
      Patch(file, 0, kPageSize, [&](std::span<uint8_t> page) {
        ApplyHeaderMask(page);
        page[offset] = value;
        ApplyHeaderMask(page);
      });
    };
  };
  const std::vector<Case> cases = {
      {"Jet 3", "real/openiti_shamela_32.mdb", nullptr,
       "it is an Access 97 (Jet 3) database, version byte 0, which this program does not write "
       "itself" +
           elsewhere},
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
