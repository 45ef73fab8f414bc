// Rows written into copies of the Access fixtures and read back from the file
// reopened: inserts of Arabic text and long memos, memos grown by updates
// until rows move, and refusals that leave the file's bytes as they were.
#include "db/jet/table_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "base/error.h"
#include "base/text.h"
#ifndef _WIN32
#include "db/access_readers.h"
#endif
#include "db/jet/format.h"
#include "db/jet/index.h"
#include "db/jet/jet_table.h"
#include "db/jet/jet_test_util.h"
#include "db/jet/long_value.h"
#include "db/jet/row.h"
#include "db/jet/row_encode.h"

namespace addbook::jet {

void PrintTo(const RowId& id, std::ostream* out) { *out << id.page << ":" << id.row; }

namespace {

namespace fs = std::filesystem;

TEST(EncodeTextTest, CompressesWhereJetDoes) {
  const std::u16string long_latin(kMaxCompressedChars + 1, u'a');
  const struct {
    std::u16string text;
    bool compress;
    const char* hex;  // null: UTF-16LE
  } cases[] = {
      {u"abc", true, "fffe616263"},
      {u"abc", false, nullptr},
      {u"ab", true, nullptr},  // not shorter
      {u"\u0627\u0644\u0644\u0647", true, nullptr},
      {u"(6843) \u0627\u0628", true, "fffe283638343329200027062806"},
      {u"\u0627\u0628 word\r\n'x'", true, "fffe00270628060020776f72640d0a277827"},
      {u"\u0627a\u0628b\u0629c", true, nullptr},  // the switches cost more than they save
      {u"abcd\u0100efgh", true, nullptr},         // a two-byte character with a 00 byte
      {long_latin, true, nullptr},
  };
  for (const auto& c : cases) {
    const std::string encoded = EncodeText(c.text, c.compress);
    std::string utf16;
    for (char16_t ch : c.text) utf16 += char(ch & 0xFF), utf16 += char(ch >> 8);
    EXPECT_EQ(Hex(encoded), c.hex ? c.hex : Hex(utf16)) << Hex(utf16);
    EXPECT_EQ(DecodeText({reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size()}),
              c.text);
  }
}

// Text of |n| characters: Arabic with diacritics, digits, quotes,
// apostrophes and line ends, different for each |seed|.
std::u16string Arabic(size_t n, int seed = 0) {
  const std::u16string words[] = {u"صَلَّى",  u"اللَّهُ", u"عَلَيْهِ", u"وَسَلَّمَ", u"(6843)", u"قال: \"حدثنا\"",
                                  u"it's", u"\r\n", u"باب"};
  std::u16string text;
  for (size_t i = seed; text.size() < n; ++i) text += words[i % 9] + u" ";
  text.resize(n);
  return text;
}

class TableWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no Access fixtures in " << kFixtures;
  }
  // A copy of the fixture |name|, opened.
  void Open(const char* name) {
    db_.reset();
    original_ = kFixtures / name;
    path_ = CopyFixture(name, TestFolder());
    Reopen();
  }
  void TearDown() override {
    db_.reset();
    if (!path_.empty()) fs::remove_all(path_.parent_path());
  }
  void Reopen() {
    if (db_) db_->Flush();
    db_.reset();
    db_ = Database::Open(path_);
  }
  JetTable& Table(std::u16string_view name) {
    return *static_cast<JetTable*>(db_->FindTable(name));
  }
  std::vector<size_t> Columns(JetTable& table, std::vector<std::u16string_view> names) {
    std::vector<size_t> columns;
    for (auto name : names) columns.push_back(table.def().ColumnIndex(name));
    return columns;
  }
  RowId Insert(std::u16string_view table, std::vector<std::u16string_view> names,
               std::vector<Variant> values) {
    JetTable& t = Table(table);
    return t.Insert(Columns(t, names), values);
  }
  void Update(std::u16string_view table, RowId row, std::vector<std::u16string_view> names,
              std::vector<Variant> values) {
    JetTable& t = Table(table);
    t.Update(row, Columns(t, names), values);
  }
  // Every row of |table|, by id.
  std::map<RowId, std::vector<Variant>> Rows(std::u16string_view table) {
    std::map<RowId, std::vector<Variant>> rows;
    for (RowId id : Table(table).Find({}, {})) rows[id] = Table(table).Read(id);
    return rows;
  }
  // The places of |table|'s moved rows: where each first place points, and
  // the rows flagged deleted alone, which scans pass by but other readers
  // take for the row.
  std::pair<std::multiset<RowId>, std::multiset<RowId>> MovedRows(std::u16string_view table) {
    JetTable& t = Table(table);
    std::multiset<RowId> pointed, flagged;
    for (uint32_t number : t.used_pages().Pages()) {
      const PageRef page = t.file().ReadPage(number);
      for (uint16_t row = 0; row < Get16(page.data() + DataRowCountAt(page.span().size())); ++row) {
        const RowSlot slot = ReadRowSlot(page.span(), row);
        if (slot.moved && !slot.deleted) pointed.insert(GetRowPointer(page.data() + slot.start));
        if (slot.deleted && !slot.moved) flagged.insert({number, row});
      }
    }
    return {pointed, flagged};
  }
  // Every row of |table| equals |expected|'s; the first difference named.
  void ExpectRows(std::u16string_view table,
                  const std::map<RowId, std::vector<Variant>>& expected) {
    const auto rows = Rows(table);
    ASSERT_EQ(rows.size(), expected.size());
    for (const auto& [id, row] : expected) {
      ASSERT_TRUE(rows.contains(id) && rows.at(id) == row) << testing::PrintToString(id);
    }
  }
  std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path path_, original_;
  std::unique_ptr<Database> db_;
};

Variant I(int64_t v) { return Variant(v); }
Variant T(std::u16string v) { return Variant(std::move(v)); }

TEST_F(TableWriterTest, InsertedRowsReadBackExactly) {
  Open("host_indexed.mdb");
  std::map<RowId, std::vector<Variant>> books, titles, hadeeths;
  // Details: Null, empty, inline, one long-value row, a chain of them.
  const Variant details[] = {Variant(),     T(u""),          T(u"Line one\r\nIt's \"quoted\""),
                             T(Arabic(50)), T(Arabic(2000)), T(Arabic(20000))};
  for (int64_t i = 0; i < 6; ++i) {
    std::vector<Variant> row = {I(i + 1), T(Arabic(40 + i, i)), T(u"O'Brien \u0627\u0628"),
                                details[i]};
    books[Insert(u"Books", {u"BookNo", u"Name", u"Author", u"Details"}, row)] = row;
  }
  for (int64_t i = 0; i < 300; ++i) {
    const std::vector<Variant> row = {I(i % 6 + 1),
                                      I(1),
                                      I(i / 10),
                                      I(i),
                                      I(0),
                                      T(Arabic(i % 255, int(i))),
                                      T(Arabic(i * 7, int(i)))};
    const RowId id = Insert(
        u"Titles", {u"BookNo", u"Vol", u"KTB", u"BAB", u"SubBAB", u"Title", u"Description"}, row);
    std::vector<Variant> full = {I(i + 1)};  // the AutoNumber
    full.insert(full.end(), row.begin(), row.end());
    titles[id] = full;
  }
  // A column left out gets its default; an AutoNumber given a number moves
  // the next one past it.
  Table(u"Books").def().columns[2].default_value = T(u"\u0645\u062c\u0647\u0648\u0644");
  books[Insert(u"Books", {u"BookNo"}, {I(7)})] = {I(7), Variant(),
                                                  T(u"\u0645\u062c\u0647\u0648\u0644"), Variant()};
  const Variant null;
  titles[Insert(u"Titles", {u"TitleID", u"BookNo"}, {I(1000), I(1)})] = {I(1000), I(1), null, null,
                                                                         null,    null, null, null};
  titles[Insert(u"Titles", {u"BookNo"}, {I(2)})] = {I(1001), I(2), null, null,
                                                    null,    null, null, null};
  for (int64_t i = 0; i < 3000; ++i) {
    const std::vector<Variant> row = {I(i % 6 + 1), I(i % 300 + 1), I(i), I(i + 1),
                                      T(Arabic(i % 5 == 0 ? 3000 : i % 400, int(i)))};
    hadeeths[Insert(u"Hadeeths", {u"BookNo", u"TitleID", u"HadeethID", u"HadeethNo", u"Hadeeth"},
                    row)] = row;
  }
  Reopen();
  ExpectRows(u"Books", books);
  ExpectRows(u"Titles", titles);
  ExpectRows(u"Hadeeths", hadeeths);
  EXPECT_EQ(Table(u"Titles").def().last_auto_number, 1001u);
  EXPECT_EQ(Table(u"Hadeeths").def().row_count, 3000u);
  // Each index tree holds every row, from the first page and with the count
  // of distinct keys the definition keeps.
  for (const char16_t* name : {u"Titles", u"Hadeeths"}) {
    for (const RealIndex& index : Table(name).def().real_indexes) {
      const auto pages = IndexPagesOf(Table(name).file(), index.usage_map);
      EXPECT_EQ(IndexTree(*pages, index.first_page).Scan().entries.size(), Rows(name).size());
      EXPECT_EQ(index.row_count, Rows(name).size());
    }
  }
  EXPECT_EQ(Table(u"Titles").Find(Columns(Table(u"Titles"), {u"BookNo", u"KTB"}), {3, 29}).size(),
            2u);
}

TEST_F(TableWriterTest, UpdatesGrowMemosAndMoveRowsKeepingTheRest) {
  Open("host_with_books.mdb");
  auto titles = Rows(u"Titles");
  auto hadeeths = Rows(u"Hadeeths");
  // Grow memos from short to chained, round after round, and titles until
  // their pages have no room and the rows move, some of them twice.
  std::vector<RowId> grown;
  for (auto it = hadeeths.begin(); it != hadeeths.end(); std::advance(it, 97)) {
    grown.push_back(it->first);
    if (std::distance(it, hadeeths.end()) <= 97) break;
  }
  for (int round = 1; round <= 4; ++round) {
    for (RowId id : grown) {
      auto& row = hadeeths[id];
      row[4] = T(row[4].text() + Arabic(round * round * 1500, round));
      Update(u"Hadeeths", id, {u"Hadeeth"}, {row[4]});
    }
    int n = 0;
    for (auto& [id, row] : titles) {
      if (n++ % 7 != 0) continue;
      row[6] = T(Arabic(60 * round, round));
      row[7] = T(Arabic(700 * round, round));
      Update(u"Titles", id, {u"Title", u"Description"}, {row[6], row[7]});
    }
  }
  // New rows after all that, in the space updates freed; the AutoNumber
  // goes on from the fixture's last.
  for (int64_t i = 0; i < 40; ++i) {
    const std::vector<Variant> row = {I(4), I(301), I(i), I(i), T(Arabic(i * 60, int(i)))};
    hadeeths[Insert(u"Hadeeths", {u"BookNo", u"TitleID", u"HadeethID", u"HadeethNo", u"Hadeeth"},
                    row)] = row;
  }
  titles[Insert(u"Titles", {u"BookNo", u"Title"}, {I(4), T(Arabic(30))})] = {
      I(301), I(4), Variant(), Variant(), Variant(), Variant(), T(Arabic(30)), Variant()};
  Reopen();
  ExpectRows(u"Titles", titles);
  ExpectRows(u"Hadeeths", hadeeths);
  const auto [pointed, flagged] = MovedRows(u"Titles");
  EXPECT_GT(pointed.size(), 10u);
  EXPECT_EQ(pointed, flagged);

  // A long memo rewritten at the same length takes no more pages: the rows
  // of the value it replaces are freed and used again.
  const RowId id = grown.front();
  Update(u"Hadeeths", id, {u"Hadeeth"}, {T(Arabic(20000, 1))});
  Reopen();
  const uintmax_t size = fs::file_size(path_);
  for (int i = 2; i < 8; ++i) Update(u"Hadeeths", id, {u"Hadeeth"}, {T(Arabic(20000, i))});
  Reopen();
  EXPECT_EQ(fs::file_size(path_), size);
  EXPECT_EQ(Table(u"Hadeeths").Read(id)[4], T(Arabic(20000, 7)));
}

TEST_F(TableWriterTest, RefusalsLeaveTheFileAsItWas) {
  const struct {
    const char* fixture;
    std::function<void()> change;
    int32_t number;
    std::u16string description;  // its start
  } cases[] = {
      {"host_with_books.mdb",
       [&] {
         Table(u"Books").def().columns[1].required = true;
         Insert(u"Books", {u"BookNo"}, {I(9)});
       },
       3314, u"The field 'Books.Name' cannot contain a Null value because the Required property"},
      {"host_with_books.mdb",
       [&] {
         Insert(u"Books", {u"BookNo", u"Name"}, {I(9), T(Arabic(256))});
       },
       3163, u"The field is too small"},
      {"host_with_books.mdb",
       [&] {
         Update(u"Books", Table(u"Books").Find({}, {}).front(), {u"Author"}, {T(Arabic(300))});
       },
       3163, u"The field is too small"},
      {"host_with_books.mdb",
       [&] {
         Table(u"Books").def().columns[2].allow_zero_length = false;
         Insert(u"Books", {u"BookNo", u"Name", u"Author"}, {I(9), T(u"x"), T(u"")});
       },
       3315, u"Field 'Books.Author' cannot be a zero-length string."},
      {"host_with_books.mdb",
       [&] {
         Insert(u"Titles", {u"TitleID", u"BookNo", u"Title"}, {I(5), I(1), T(u"x")});
       },
       3022,
       u"The changes you requested to the table were not successful because they would create "
       u"duplicate values"},
      {"host_with_books.mdb",
       [&] {
         Insert(u"Titles", {u"BookNo", u"Vol"}, {I(1), T(u"one")});
       },
       errors::kTypeMismatch, u"Type mismatch"},
      // Access 97: text that Windows-1256 cannot hold, in a Text column and
      // in a memo; a text too long for its column.
      {"real/sham19y_0005.bok",
       [&] {
         Insert(u"Shorts", {u"Bk", u"ramz"}, {I(1), T(u"\u0627\u4E2D")});
       },
       3421, u"Data type conversion error."},
      {"real/sham19y_0005.bok",
       [&] {
         Update(u"b5", Table(u"b5").Find({}, {}).front(), {u"nass"}, {T(Arabic(3000) + u"\u20B9")});
       },
       3421, u"Data type conversion error."},
      {"real/sham19y_0005.bok",
       [&] {
         Insert(u"Shorts", {u"Bk", u"ramz"}, {I(1), T(Arabic(11))});
       },
       3163, u"The field is too small"},
      // An Access 97 text key holding a character whose key Jet's files
      // never showed (the space) cannot be written: not one failed row of
      // the book but the end of the import, through the error of a damaged
      // write.
      {"real/mie00_160111.mdb", [&] { Insert(u"Ix", {u"wrd"}, {T(u"\u0628 \u0628")}); },
       errors::kNotADatabase, u"The index wrd of the table Ix has a Text key"},
  };
  for (const char* fixture :
       {"host_with_books.mdb", "real/sham19y_0005.bok", "real/mie00_160111.mdb"}) {
    SCOPED_TRACE(fixture);
    Open(fixture);
    for (const auto& c : cases) {
      if (std::string_view(c.fixture) != fixture) continue;
      try {
        c.change();
        ADD_FAILURE() << "not refused: " << c.number;
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description().substr(0, c.description.size()), c.description);
      }
    }
    Reopen();
    EXPECT_TRUE(Bytes(path_) == Bytes(original_)) << "the file changed";
  }
}

#ifndef _WIN32  // the readers run on Linux only (access_readers.h)
// An Access 97 file that Jet wrote takes Arabic rows and growing memos as Jet
// writes them (one byte a character in Windows-1256, memos inline, on one
// long-value row or chained, rows of over 512 bytes with their jump tables):
// read back here and by mdbtools, every earlier row as it was.
TEST_F(TableWriterTest, Jet3RowsReadBackHereAndInMdbtools) {
  if (const auto missing = AccessReadersMissing()) GTEST_SKIP() << *missing;
  Open("real/sham19y_0005.bok");
  const char16_t* kMain[] = {u"BkId", u"Bk",  u"Betaka", u"Inf",    u"Auth",  u"AuthInf",
                             u"seal", u"cat", u"Lng",    u"HigriD", u"aSeal", u"bLnk"};
  auto b5 = Rows(u"b5");
  auto main = Rows(u"Main");
  auto shorts = Rows(u"Shorts");
  // Memos of every form and at the edges between them, in the form Jet
  // gives them, chained in parts of 2032 bytes, page after page; Byte values
  // past 127.
  const struct {
    size_t length;
    uint8_t kind;
    size_t parts;
  } memos[] = {{1, kLongValueInline, 0},     {32, kLongValueInline, 0},
               {33, kLongValueSingleRow, 1}, {1761, kLongValueSingleRow, 1},
               {40, kLongValueSingleRow, 1}, {1762, kLongValueChained, 1},
               {2032, kLongValueChained, 1}, {2033, kLongValueChained, 2},
               {4065, kLongValueChained, 3}, {9000, kLongValueChained, 5}};
  std::vector<RowId> added;
  uint32_t last_page = 0;
  for (size_t i = 0; i < std::size(memos); ++i) {
    const std::vector<Variant> row = {T(Arabic(memos[i].length, int(i))),
                                      I(128 + int64_t(i)),
                                      T(Arabic(i * 5 + 1, int(i))),
                                      I(255 - int64_t(i)),
                                      I(200),
                                      I(int64_t(i))};
    added.push_back(Insert(u"b5", {u"nass", u"part", u"seal", u"id", u"page", u"hno"}, row));
    b5[added.back()] = row;
    PageFile& file = Table(u"b5").file();
    const auto nass =
        RowView(Table(u"b5").def(), LocateRow(file, added.back())->bytes, file.header())
            .Bytes(Table(u"b5").def().columns[0]);
    EXPECT_EQ(ReadLongValueHeader(nass).kind, memos[i].kind) << memos[i].length;
    const std::vector<RowId> parts = LongValueRows(file, nass);
    EXPECT_EQ(parts.size(), memos[i].parts) << memos[i].length;
    for (const RowId& part : parts) {
      EXPECT_GE(part.page, last_page) << memos[i].length;
      last_page = part.page;
    }
  }
  // Main's row as stored: the values set, Null elsewhere.
  const auto main_row = [&](const std::map<std::u16string_view, Variant>& set) {
    std::vector<Variant> row;
    for (const auto& column : Table(u"Main").column_names()) {
      row.push_back(set.contains(column) ? set.at(column) : Variant());
    }
    return row;
  };
  std::map<std::u16string_view, Variant> last;
  RowId grown;
  for (int64_t i = 0; i < 8; ++i) {
    std::vector<Variant> values = {I(100 + i)};
    for (size_t c = 1; c < std::size(kMain); ++c) values.push_back(T(Arabic(32, int(c + i))));
    grown = Insert(u"Main", {std::begin(kMain), std::end(kMain)}, values);
    for (size_t c = 0; c < std::size(kMain); ++c) last[kMain[c]] = values[c];
    main[grown] = main_row(last);
    const std::vector<Variant> row = {I(i), T(Arabic(10, int(i))), T(Arabic(i * 400 + 1, int(i)))};
    shorts[Insert(u"Shorts", {u"Bk", u"ramz", u"nass"}, row)] = row;
  }
  // Memos grown by appending, as the field writers do; a Main row's inline
  // memos pushed to long-value pages.
  for (int round = 1; round <= 3; ++round) {
    for (RowId id : added) {
      b5[id][0] = T(b5[id][0].text() + Arabic(round * 900, round));
      Update(u"b5", id, {u"nass"}, {b5[id][0]});
    }
  }
  Update(u"Main", grown, {u"Bk", u"Inf"}, {T(Arabic(40)), T(Arabic(3000))});
  last[u"Bk"] = T(Arabic(40));
  last[u"Inf"] = T(Arabic(3000));
  main[grown] = main_row(last);
  Reopen();
  std::vector<TableShape> shapes;
  std::vector<std::vector<Row>> ours;
  for (const auto& [name, rows] : {std::pair{u"b5", &b5}, {u"Main", &main}, {u"Shorts", &shorts}}) {
    ExpectRows(name, *rows);
    TableShape& shape = shapes.emplace_back(TableShape{Utf16ToUtf8(name), {}});
    for (const auto& column : Table(name).column_names()) {
      shape.columns.push_back(Utf16ToUtf8(column));
    }
    auto& table = ours.emplace_back();
    for (const auto& [id, values] : *rows) {
      Row& row = table.emplace_back();
      for (const Variant& v : values) {
        if (v.type() == Variant::Type::kInteger) {
          row.push_back(std::to_string(v.integer()));
        } else if (v.type() == Variant::Type::kText && !v.text().empty()) {
          row.push_back(Utf16ToUtf8(v.text()));
        } else {
          row.emplace_back();
        }
      }
    }
  }
  db_.reset();
  for (const AccessReader reader : {AccessReader::kMdbtools, AccessReader::kMdbReader}) {
    SCOPED_TRACE(ReaderName(reader));
    const ReadBack back = ReadAccess(reader, path_, shapes);
    EXPECT_EQ(back.complaints, "");
    EXPECT_TRUE(SameRows(shapes, ours, back.tables, true));
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace addbook::jet
