// The catalogue is itself a table; its definition on page 2 names its
// columns, which are found by name so that their order does not matter.
#include "db/jet/catalogue.h"

#include <optional>
#include <string>

#include "base/text.h"
#include "db/jet/format.h"
#include "db/jet/page_file.h"
#include "db/jet/row.h"
#include "db/jet/table_def.h"
#include "db/jet/usage_map.h"

namespace addbook::jet {
namespace {

constexpr int64_t kTypeTable = 1;      // a table of this file (not linked)
constexpr int64_t kTypeContainer = 3;  // "Tables", "Relationships", ...
constexpr uint32_t kSystemFlags = 0x80000002;
constexpr uint32_t kPageOfId = 0x00FFFFFF;

struct CatalogueRow {
  int64_t id = 0;
  int64_t parent = 0;
  std::u16string name;
  int64_t type = 0;
  int64_t flags = 0;
  std::string properties;
};

}  // namespace

std::vector<CatalogueTable> ReadCatalogue(PageFile& file) {
  const TableDef def = ReadTableDef(file, kCataloguePage, u"MSysObjects");
  const auto column = [&](std::u16string_view name) -> const Column& {
    const size_t i = def.ColumnIndex(name);
    if (i == std::u16string::npos) {
      throw Damaged("the catalogue has no column " + Utf16ToUtf8(name));
    }
    return def.columns[i];
  };
  const Column& id = column(u"Id");
  const Column& parent = column(u"ParentId");
  const Column& name = column(u"Name");
  const Column& type = column(u"Type");
  const Column& flags = column(u"Flags");
  const Column& properties = column(u"LvProp");

  std::vector<CatalogueRow> rows;
  const UsageMap used = UsageMap::Read(file, def.used_pages);
  ScanRows(file, def, used, [&](RowId, const RowView& row) {
    CatalogueRow entry;
    entry.type = row.WholeNumber(type).value_or(0);
    entry.name = row.IsNull(name) ? u"" : row.Value(file, name).text();
    // Only tables and the containers that hold them matter here.
    if (entry.type != kTypeTable && entry.type != kTypeContainer) return;
    entry.id = row.WholeNumber(id).value_or(0);
    entry.parent = row.WholeNumber(parent).value_or(0);
    entry.flags = row.WholeNumber(flags).value_or(0);
    if (entry.type == kTypeTable && !row.IsNull(properties)) {
      entry.properties = row.Value(file, properties).bytes();
    }
    rows.push_back(std::move(entry));
  });

  std::optional<int64_t> tables_container;
  for (const CatalogueRow& row : rows) {
    if (row.type == kTypeContainer && EqualsIgnoringAsciiCase(row.name, u"Tables")) {
      tables_container = row.id;
    }
  }
  if (!tables_container) throw Damaged("the catalogue has no Tables container");
  std::vector<CatalogueTable> tables;
  for (CatalogueRow& row : rows) {
    if (row.type != kTypeTable || row.parent != *tables_container ||
        (static_cast<uint32_t>(row.flags) & kSystemFlags) != 0) {
      continue;
    }
    CatalogueTable table;
    table.name = std::move(row.name);
    table.definition_page = static_cast<uint32_t>(row.id) & kPageOfId;
    table.flags = static_cast<uint32_t>(row.flags);
    table.properties = std::move(row.properties);
    tables.push_back(std::move(table));
  }
  return tables;
}

}  // namespace addbook::jet
