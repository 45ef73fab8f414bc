// Both readers write JSON (mdb-json an object a row, its Null columns left
// out; mdb-reader JavaScript values), and so do the fixtures' dumps:
// tools/mdb_reader/dump.mjs --lines reads each of the three and writes the
// rows in one plain form, taken apart here.
#include "db/access_readers.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace addbook {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs |command| in the shell; returns its standard output, and adds its
// standard error and a failed exit status to |complaints|.
std::string Run(const std::string& command, std::string& complaints) {
  char err_path[] = "/tmp/addbook-reader-err-XXXXXX";
  const int fd = mkstemp(err_path);
  if (fd < 0) {
    complaints += "cannot make a temporary file\n";
    return "";
  }
  close(fd);
  FILE* pipe = popen((command + " 2>" + Quoted(err_path)).c_str(), "r");
  std::string out;
  if (pipe != nullptr) {
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  }
  const int status = pipe != nullptr ? pclose(pipe) : -1;
  complaints += ReadFile(err_path);
  unlink(err_path);
  if (status != 0) {
    complaints += command + ": exit status " +
                  std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n";
  }
  return out;
}

// Runs dump.mjs --lines with |source| on |file| for |tables| and takes its
// lines apart (see dump.mjs).
ReadBack DumpLines(const std::string& source, const fs::path& file,
                   const std::vector<TableShape>& tables) {
  std::string command = "node " + Quoted(ADDBOOK_SOURCE_DIR "/tools/mdb_reader/dump.mjs") +
                        " --lines " + source + " " + Quoted(file.string());
  for (const TableShape& table : tables) {
    std::string columns;
    for (const std::string& column : table.columns)
      columns += (columns.empty() ? "" : ",") + column;
    command += " " + Quoted(table.name + "=" + columns);
  }
  ReadBack back;
  const std::string out = Run(command, back.complaints);
  for (size_t start = 0, end; start < out.size(); start = end + 1) {
    end = std::min(out.find('\n', start), out.size());
    const std::string_view line = std::string_view(out).substr(start, end - start);
    if (line.starts_with('#')) {
      back.tables.emplace_back();
      back.row_counts.push_back(std::stoll(std::string(line.substr(line.find('\t') + 1))));
      continue;
    }
    if (back.tables.empty()) break;
    Row row(1);  // an empty field stays nullopt
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        row.emplace_back();
        continue;
      }
      char c = line[i];
      if (c == '\\' && ++i < line.size()) {
        c = line[i] == 't' ? '\t' : line[i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i];
      }
      if (!row.back()) row.back().emplace();
      row.back()->push_back(c);
    }
    back.tables.back().push_back(std::move(row));
  }
  if (back.tables.size() != tables.size()) back.complaints += "the tables were not all read\n";
  back.tables.resize(tables.size());
  back.row_counts.resize(tables.size(), -1);
  return back;
}

}  // namespace

const std::vector<TableShape>& HostTables() {
  static const std::vector<TableShape> tables = {
      {"Books", {"BookNo", "Name", "Author", "Details"}},
      {"Hadeeths", {"BookNo", "TitleID", "HadeethID", "HadeethNo", "Hadeeth"}},
      {"Titles", {"TitleID", "BookNo", "Vol", "KTB", "BAB", "SubBAB", "Title", "Description"}}};
  return tables;
}

fs::path JetFixtures() {
  const fs::path folder = ADDBOOK_JET_FIXTURES;
  std::error_code ec;
  return fs::is_directory(folder, ec) ? folder : fs::path();
}

std::optional<std::string> AccessReadersMissing() {
  if (JetFixtures().empty()) {
    return "the Access fixtures are not here: " ADDBOOK_JET_FIXTURES;
  }
  if (std::system("command -v mdb-json >/dev/null && command -v node >/dev/null") != 0) {
    return "mdbtools' mdb-json or node is not installed (scripts/setup installs them)";
  }
  std::error_code ec;
  if (!fs::exists(ADDBOOK_SOURCE_DIR "/tools/mdb_reader/node_modules/mdb-reader", ec)) {
    return "mdb-reader is not installed in tools/mdb_reader (scripts/setup installs it)";
  }
  return std::nullopt;
}

const char* ReaderName(AccessReader reader) {
  return reader == AccessReader::kMdbtools ? "mdbtools" : "mdb-reader";
}

ReadBack ReadAccess(AccessReader reader, const fs::path& file,
                    const std::vector<TableShape>& tables) {
  return DumpLines(reader == AccessReader::kMdbtools ? "--mdbtools" : "", file, tables);
}

std::vector<std::vector<Row>> ReadDump(const fs::path& fixture,
                                       const std::vector<TableShape>& tables) {
  fs::path dump = fixture;
  dump.replace_extension((fixture.extension() == ".mdb" ? "" : fixture.extension().string()) +
                         ".dump.jsonl");
  ReadBack back = DumpLines(Quoted("--dump=" + dump.string()), fixture, tables);
  EXPECT_EQ(back.complaints, "");
  return back.tables;
}

std::vector<std::vector<Row>> HostRows(TestHost& host, const std::vector<TableShape>& tables) {
  std::vector<std::vector<Row>> rows;
  for (const TableShape& table : tables) {
    std::string sql;
    for (const std::string& column : table.columns)
      sql += (sql.empty() ? "SELECT " : ", ") + column;
    rows.push_back(host.Rows(sql + " FROM " + table.name + " ORDER BY rowid"));
    for (Row& row : rows.back()) {
      for (auto& value : row) {
        if (value && value->empty()) value.reset();
      }
    }
  }
  return rows;
}

testing::AssertionResult SameRows(const std::vector<TableShape>& tables,
                                  std::vector<std::vector<Row>> got,
                                  std::vector<std::vector<Row>> want, bool any_order) {
  // A row in a line, values joined by '|', long ones cut short.
  const auto show = [](const std::vector<Row>& rows, size_t i) {
    if (i >= rows.size()) return std::string("no row");
    std::string line;
    for (const auto& value : rows[i]) {
      size_t cut = value ? std::min<size_t>(value->size(), 60) : 0;
      while (value && cut < value->size() && ((*value)[cut] & 0xC0) == 0x80) --cut;
      line += (line.empty() ? "" : "|") + (value ? value->substr(0, cut) : "null");
    }
    return line;
  };
  for (size_t t = 0; t < tables.size(); ++t) {
    if (any_order) {
      std::sort(got[t].begin(), got[t].end());
      std::sort(want[t].begin(), want[t].end());
    }
    const auto [g, w] = std::mismatch(got[t].begin(), got[t].end(), want[t].begin(), want[t].end());
    if (g == got[t].end() && w == want[t].end()) continue;
    const size_t i = g - got[t].begin();
    return testing::AssertionFailure() << tables[t].name << ": " << got[t].size() << " rows, "
                                       << want[t].size() << " wanted; row " << i << " is\n  "
                                       << show(got[t], i) << "\nwanted\n  " << show(want[t], i);
  }
  return testing::AssertionSuccess();
}

std::string InsertRowsSql(const std::vector<TableShape>& tables,
                          const std::vector<std::vector<Row>>& rows) {
  std::string sql = "BEGIN;\n";
  for (size_t t = 0; t < tables.size(); ++t) {
    for (const Row& row : rows[t]) {
      sql += "INSERT INTO " + tables[t].name + " (";
      for (size_t c = 0; c < row.size(); ++c) sql += (c ? ", " : "") + tables[t].columns[c];
      sql += ") VALUES (";
      for (size_t c = 0; c < row.size(); ++c) {
        std::string literal = "NULL";
        if (row[c]) {
          literal = "'";
          for (char ch : *row[c]) literal += ch == '\'' ? std::string("''") : std::string(1, ch);
          literal += "'";
        }
        sql += (c ? ", " : "") + literal;
      }
      sql += ");\n";
    }
  }
  return sql + "COMMIT;\n";
}

}  // namespace addbook
