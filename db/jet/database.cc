// Opening reads the header, the catalogue and every table's definition, and
// checks that each table's pages lie inside the file: a file this engine
// cannot read to its end is refused before anything is written to it.
#include "db/jet/database.h"

#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/catalogue.h"
#include "db/jet/format.h"
#include "db/jet/index.h"
#include "db/jet/jet_table.h"
#include "db/jet/page_file.h"
#include "db/jet/table_def.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

class JetDatabase final : public Database {
 public:
  explicit JetDatabase(std::unique_ptr<PageFile> file) : file_(std::move(file)) {
    for (CatalogueTable& entry : ReadCatalogue(*file_)) {
      TableDef def = ReadTableDef(*file_, entry.definition_page, entry.name);
      ApplyProperties(def, entry.properties);
      // The pages of its rows and of its long values.
      std::vector<RowId> maps = {def.used_pages};
      for (const TableDef::LongValueMaps& lv : def.long_value_maps) maps.push_back(lv.used_pages);
      for (const RowId map : maps) {
        if (const std::optional<uint32_t> last = LastPage(UsageMap::Read(*file_, map));
            last && *last >= file_->page_count()) {
          throw Damaged("the table " + Utf16ToUtf8(entry.name) + " has page " +
                        std::to_string(*last) + " of a file of " +
                        std::to_string(file_->page_count()) + " pages: the file is cut short");
        }
      }
      auto table = std::make_unique<JetTable>(*file_, std::move(def));
      tables_.push_back(std::move(table));
    }
  }

  Table* FindTable(std::u16string_view name) override {
    for (const auto& table : tables_) {
      if (EqualsIgnoringAsciiCase(table->name(), name)) return table.get();
    }
    return nullptr;
  }

  std::optional<std::u16string> UnwritableIndex(Table& table) override {
    const TableDef& def = static_cast<JetTable&>(table).def();
    for (const LogicalIndex& index : def.indexes) {
      if (!KeysWritable(DescribeIndex(def, index.real_index))) return index.name;
    }
    return std::nullopt;
  }

  void Flush() override { file_->Flush(); }

 private:
  static std::optional<uint32_t> LastPage(const UsageMap& map) {
    std::optional<uint32_t> last;
    for (auto page = map.Next(0); page; page = map.Next(*page + 1)) last = page;
    return last;
  }

  std::unique_ptr<PageFile> file_;
  std::vector<std::unique_ptr<JetTable>> tables_;
};

}  // namespace

std::unique_ptr<Database> Database::Open(const std::filesystem::path& file) {
  std::unique_ptr<PageFile> pages = PageFile::Open(file);
  try {
    return std::make_unique<JetDatabase>(std::move(pages));
  } catch (const Error& error) {
    if (error.number() != errors::kNotADatabase) throw;
    // Damage met while reading the catalogue and the definitions: said as
    // a refusal to open the file.
    std::u16string reason = error.description();
    if (!reason.empty()) reason[0] = AsciiLower(reason[0]);
    throw Error(errors::kNotADatabase,
                u"Cannot open the database file " + PathToUtf16(file) + u": " + reason);
  }
}

}  // namespace addbook::jet
