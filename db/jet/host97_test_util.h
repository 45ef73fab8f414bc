// The Access 97 (Jet 3) test host: a copy of a real Jet 3 file, written by
// Microsoft's Jet, with the host's three tables and their indexes created in
// it by this engine (table_creator.h), empty.  No Jet 3 host ships; tests
// make one in a folder of their own.
#ifndef ADDBOOK_DB_JET_HOST97_TEST_UTIL_H_
#define ADDBOOK_DB_JET_HOST97_TEST_UTIL_H_

#include <filesystem>
#include <vector>

#include "db/jet/page_file.h"
#include "db/jet/table_creator.h"

namespace addbook::jet {

// The host's tables, as host_indexed.mdb has them.
inline const std::vector<TableDesign>& Host97Tables() {
  constexpr ColumnType kLong = ColumnType::kLong;
  static const std::vector<TableDesign> tables = {
      {u"Books",
       {{u"BookNo", kLong},
        {u"Name", ColumnType::kText, 255},
        {u"Author", ColumnType::kText, 255},
        {u"Details", ColumnType::kMemo}},
       {{u"BooksByBookNo", {u"BookNo"}}}},
      {u"Titles",
       {{u"TitleID", kLong, 0, true},
        {u"BookNo", kLong},
        {u"Vol", kLong},
        {u"KTB", kLong},
        {u"BAB", kLong},
        {u"SubBAB", kLong},
        {u"Title", ColumnType::kText, 255},
        {u"Description", ColumnType::kMemo}},
       {{u"PrimaryKey", {u"TitleID"}, true},
        {u"TitlesByKey", {u"BookNo", u"Vol", u"KTB", u"BAB", u"SubBAB"}}}},
      {u"Hadeeths",
       {{u"BookNo", kLong},
        {u"TitleID", kLong},
        {u"HadeethID", kLong},
        {u"HadeethNo", kLong},
        {u"Hadeeth", ColumnType::kMemo}},
       {{u"HadeethsByKey", {u"TitleID", u"HadeethID"}}}},
  };
  return tables;
}

// Copies the Jet 3 file |real| to |to| (made writable) and creates the
// host's tables in the copy.  Returns |to|.  Throws as CreateTable does.
inline std::filesystem::path MakeHost97(const std::filesystem::path& real,
                                        const std::filesystem::path& to) {
  std::filesystem::copy_file(real, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  const std::unique_ptr<PageFile> file = PageFile::Open(to);
  // 7 December 2026, noon: a fixed time, so that two hosts made alike are
  // alike byte for byte.
  constexpr double kCreated = 46363.5;
  for (const TableDesign& table : Host97Tables()) CreateTable(*file, table, kCreated);
  file->Flush();
  return to;
}

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_HOST97_TEST_UTIL_H_
