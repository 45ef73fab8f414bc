// Both readers write JSON Lines: mdb-json an object a row, its Null columns
// left out; dump.mjs a line per table ({"table", "rowCount", "columns"}) and
// then {"table", "row"} a row, as the fixtures' dumps do.  A small JSON
// reader below takes them apart; numbers are kept as the text they were
// written as.
#include "db/access_readers.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace addbook {
namespace {

namespace fs = std::filesystem;

// A JSON value; numbers and strings in |text|, arrays in |items|, objects
// in |members|.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json* Find(const std::string& key) const {
    auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
  }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : s_(text) {}

  // The one value of the text; throws std::runtime_error when it is not one.
  Json ParseAll() {
    Json value = Parse();
    Skip();
    if (i_ != s_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + " at character " + std::to_string(i_));
  }
  void Skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool Take(char c) {
    Skip();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail("unexpected character");
  }

  Json Parse() {
    Skip();
    if (i_ >= s_.size()) Fail("no value");
    Json v;
    const char c = s_[i_];
    if (c == '{') {
      v.kind = Json::kObject;
      ++i_;
      if (Take('}')) return v;
      do {
        Skip();
        std::string key = String();
        Expect(':');
        v.members[key] = Parse();
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      v.kind = Json::kArray;
      ++i_;
      if (Take(']')) return v;
      do v.items.push_back(Parse());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (s_.substr(i_, 4) == "null") {
      i_ += 4;
    } else if (s_.substr(i_, 4) == "true" || s_.substr(i_, 5) == "false") {
      v.kind = Json::kBool;
      v.text = c == 't' ? "1" : "0";
      i_ += c == 't' ? 4 : 5;
    } else {
      v.kind = Json::kNumber;
      const size_t start = i_;
      while (i_ < s_.size() && std::string_view("+-.0123456789eE").find(s_[i_]) != s_.npos) ++i_;
      if (i_ == start) Fail("not a value");
      v.text = s_.substr(start, i_ - start);
    }
    return v;
  }

  uint32_t Hex4() {
    if (i_ + 4 > s_.size()) Fail("short \\u escape");
    const uint32_t unit = std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16);
    i_ += 4;
    return unit;
  }

  std::string String() {
    if (i_ >= s_.size() || s_[i_] != '"') Fail("no string");
    std::string out;
    for (++i_; i_ < s_.size() && s_[i_] != '"'; ++i_) {
      if (s_[i_] != '\\') {
        out += s_[i_];
        continue;
      }
      if (++i_ >= s_.size()) break;
      const char e = s_[i_];
      if (e != 'u') {
        const auto at = std::string_view("\"\\/bfnrt").find(e);
        if (at == s_.npos) Fail("unknown escape");
        out += "\"\\/\b\f\n\r\t"[at];
        continue;
      }
      ++i_;
      uint32_t cp = Hex4();
      if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(i_, 2) == "\\u") {
        i_ += 2;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
      }
      --i_;
      // UTF-8 of the code point.
      if (cp < 0x80) {
        out += static_cast<char>(cp);
      } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
      } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      }
    }
    if (i_ >= s_.size()) Fail("string not closed");
    ++i_;
    return out;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// Each JSON line of |text|, empty lines skipped.
std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start)
      lines.push_back(JsonParser(std::string_view(text).substr(start, end - start)).ParseAll());
    start = end + 1;
  }
  return lines;
}

// |object|'s values of |columns|, in the common form.
Row RowOf(const Json& object, const std::vector<std::string>& columns) {
  Row row;
  for (const std::string& column : columns) {
    const Json* v = object.Find(column);
    if (v == nullptr || v->kind == Json::kNull || (v->kind == Json::kString && v->text.empty())) {
      row.push_back(std::nullopt);
    } else {
      row.push_back(v->text);
    }
  }
  return row;
}

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

const std::string kDumpScript = ADDBOOK_SOURCE_DIR "/tools/mdb_reader/dump.mjs";

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
  ReadBack back;
  back.tables.resize(tables.size());
  back.row_counts.assign(tables.size(), -1);
  try {
    if (reader == AccessReader::kMdbtools) {
      for (size_t t = 0; t < tables.size(); ++t) {
        const std::string out = Run(
            "mdb-json " + Quoted(file.string()) + " " + Quoted(tables[t].name), back.complaints);
        for (const Json& line : JsonLines(out))
          back.tables[t].push_back(RowOf(line, tables[t].columns));
      }
    } else {
      std::string command = "node " + Quoted(kDumpScript) + " " + Quoted(file.string());
      for (const TableShape& table : tables) command += " " + Quoted(table.name);
      size_t t = tables.size();
      for (const Json& line : JsonLines(Run(command, back.complaints))) {
        const Json* row = line.Find("row");
        if (row == nullptr) {
          const std::string name = line.Find("table") ? line.Find("table")->text : "";
          for (t = 0; t < tables.size() && tables[t].name != name; ++t) {
          }
          if (t == tables.size()) throw std::runtime_error("a table not asked for: " + name);
          back.row_counts[t] = std::stoll(line.Find("rowCount")->text);
          std::vector<std::string> columns;
          for (const Json& c : line.Find("columns")->items) columns.push_back(c.text);
          if (columns != tables[t].columns) {
            back.complaints += tables[t].name + " has other columns than expected\n";
          }
        } else if (t < tables.size()) {
          back.tables[t].push_back(RowOf(*row, tables[t].columns));
        }
      }
    }
  } catch (const std::exception& e) {
    back.complaints += std::string(ReaderName(reader)) + "'s output cannot be read: " + e.what();
  }
  return back;
}

std::vector<std::vector<Row>> ReadDump(const fs::path& fixture,
                                       const std::vector<TableShape>& tables) {
  fs::path dump = fixture;
  dump.replace_extension((fixture.extension() == ".mdb" ? "" : fixture.extension().string()) +
                         ".dump.jsonl");
  std::vector<std::vector<Row>> rows(tables.size());
  for (const Json& line : JsonLines(ReadFile(dump))) {
    const Json* row = line.Find("row");
    for (size_t t = 0; row != nullptr && t < tables.size(); ++t) {
      if (line.Find("table")->text == tables[t].name)
        rows[t].push_back(RowOf(*row, tables[t].columns));
    }
  }
  return rows;
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
