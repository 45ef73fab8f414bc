#include "db/sql_scanner.h"

#include <charconv>
#include <string>

#include "base/error.h"
#include "base/text.h"

namespace addbook::sql {
namespace {

bool IsIdentifierChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

// Scans SQL text outside of literals, quoted names, comments and
// parentheses.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  size_t pos() const { return pos_; }
  bool at_end() const { return pos_ >= text_.size(); }

  void SkipSpace() {
    while (!at_end() && IsSqlSpace(text_[pos_])) ++pos_;
  }

  // Consumes |keyword| when it stands next as a whole word.
  bool Keyword(std::string_view keyword) {
    if (text_.size() - pos_ < keyword.size()) return false;
    if (!EqualsIgnoringAsciiCase(text_.substr(pos_, keyword.size()), keyword)) return false;
    size_t end = pos_ + keyword.size();
    if (end < text_.size() && IsIdentifierChar(text_[end])) return false;
    pos_ = end;
    return true;
  }

  // Moves to the next |keyword| standing as a whole word at the top level;
  // false when there is none.
  bool FindTopLevel(std::string_view keyword) {
    int depth = 0;
    while (!at_end()) {
      char c = text_[pos_];
      if (c == '\'' || c == '"' || c == '`' || c == '[') {
        SkipQuoted();
      } else if (c == '-' && text_.substr(pos_, 2) == "--") {
        size_t eol = text_.find('\n', pos_);
        pos_ = eol == std::string_view::npos ? text_.size() : eol + 1;
      } else if (c == '/' && text_.substr(pos_, 2) == "/*") {
        size_t close = text_.find("*/", pos_ + 2);
        pos_ = close == std::string_view::npos ? text_.size() : close + 2;
      } else if (c == '(') {
        ++depth;
        ++pos_;
      } else if (c == ')') {
        --depth;
        ++pos_;
      } else if (IsIdentifierChar(c)) {
        size_t start = pos_;
        if (depth == 0 && Keyword(keyword)) {
          pos_ = start;
          return true;
        }
        while (!at_end() && IsIdentifierChar(text_[pos_])) ++pos_;
      } else {
        ++pos_;
      }
    }
    return false;
  }

  // Consumes |c| when it stands next.
  bool Punctuation(char c) {
    if (at_end() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // Consumes a whole number with an optional "-" that fits |number|.
  bool Number(int64_t& number) {
    size_t end = pos_ < text_.size() && text_[pos_] == '-' ? pos_ + 1 : pos_;
    const size_t digits = end;
    while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
    if (end == digits || (end < text_.size() && IsIdentifierChar(text_[end]))) return false;
    const auto [last, error] = std::from_chars(text_.data() + pos_, text_.data() + end, number);
    if (error != std::errc() || last != text_.data() + end) return false;
    pos_ = end;
    return true;
  }

  // Consumes a text literal '...'; sets |text| to what it stands for, each
  // doubled apostrophe as one.
  bool Text(std::string& text) {
    if (at_end() || text_[pos_] != '\'') return false;
    text.clear();
    for (size_t i = pos_ + 1; i < text_.size(); ++i) {
      if (text_[i] == '\'') {
        if (i + 1 >= text_.size() || text_[i + 1] != '\'') {
          pos_ = i + 1;
          return true;
        }
        ++i;  // a doubled apostrophe stands for one
      }
      text.push_back(text_[i]);
    }
    return false;  // not closed
  }

  // Consumes one table name, bare or quoted; sets |name| to what it stands
  // for.  False when none stands next.
  bool Name(std::string& name) {
    if (at_end()) return false;
    char c = text_[pos_];
    if (c == '"' || c == '`' || c == '[') {
      size_t start = pos_;
      if (!SkipQuoted()) return false;
      std::string_view inner = text_.substr(start + 1, pos_ - start - 2);
      name.clear();
      for (size_t i = 0; i < inner.size(); ++i) {
        name.push_back(inner[i]);
        if (c != '[' && inner[i] == c) ++i;  // a doubled quote stands for one
      }
      return true;
    }
    if (!IsIdentifierChar(c) || (c >= '0' && c <= '9') || c == '$') return false;
    size_t start = pos_;
    while (!at_end() && IsIdentifierChar(text_[pos_])) ++pos_;
    name = std::string(text_.substr(start, pos_ - start));
    return true;
  }

 private:
  // Skips a literal or quoted name that opens at pos_; false when it is not
  // closed.
  bool SkipQuoted() {
    char close = text_[pos_] == '[' ? ']' : text_[pos_];
    size_t i = pos_ + 1;
    for (;;) {
      size_t end = text_.find(close, i);
      if (end == std::string_view::npos) {
        pos_ = text_.size();
        return false;
      }
      if (close != ']' && end + 1 < text_.size() && text_[end + 1] == close) {
        i = end + 2;  // doubled quote inside
        continue;
      }
      pos_ = end + 1;
      return true;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// |sql| without what may follow a statement: white space and one semicolon.
std::string_view WithoutStatementEnd(std::string_view sql) {
  while (!sql.empty() && IsSqlSpace(sql.back())) sql.remove_suffix(1);
  if (!sql.empty() && sql.back() == ';') sql.remove_suffix(1);
  return sql;
}

}  // namespace

bool IsSqlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

void RefuseNul(std::u16string_view sql) {
  if (size_t nul = sql.find(u'\0'); nul != std::u16string_view::npos) {
    throw errors::StatementRefused("The statement holds a NUL character (at character " +
                                   std::to_string(nul + 1) + "); nothing was run");
  }
}

std::optional<SimpleSelect> ParseSimpleSelect(std::string_view sql) {
  sql = WithoutStatementEnd(sql);

  Scanner scan(sql);
  scan.SkipSpace();
  if (!scan.Keyword("select")) return std::nullopt;
  size_t columns_start = scan.pos();
  if (!scan.FindTopLevel("from")) return std::nullopt;
  SimpleSelect select;
  select.columns = std::string(sql.substr(columns_start, scan.pos() - columns_start));
  scan.Keyword("from");
  scan.SkipSpace();
  size_t table_start = scan.pos();
  if (!scan.Name(select.table)) return std::nullopt;
  select.table_token = std::string(sql.substr(table_start, scan.pos() - table_start));
  scan.SkipSpace();
  if (scan.at_end()) return select;
  if (!scan.Keyword("where")) return std::nullopt;
  select.condition = std::string(sql.substr(scan.pos()));
  return select;
}

std::optional<SimpleInsert> ParseInsert(std::string_view sql) {
  sql = WithoutStatementEnd(sql);

  Scanner scan(sql);
  SimpleInsert insert;
  scan.SkipSpace();
  if (!scan.Keyword("insert")) return std::nullopt;
  scan.SkipSpace();
  if (!scan.Keyword("into")) return std::nullopt;
  scan.SkipSpace();
  const size_t table_start = scan.pos();
  if (!scan.Name(insert.table)) return std::nullopt;
  insert.table_token = std::string(sql.substr(table_start, scan.pos() - table_start));
  scan.SkipSpace();
  if (!scan.Punctuation('(')) return std::nullopt;
  do {
    scan.SkipSpace();
    // A bare name or one in brackets; no other quotes.
    if (scan.at_end() || sql[scan.pos()] == '"' || sql[scan.pos()] == '`') return std::nullopt;
    if (!scan.Name(insert.columns.emplace_back())) return std::nullopt;
    scan.SkipSpace();
  } while (scan.Punctuation(','));
  if (!scan.Punctuation(')')) return std::nullopt;
  scan.SkipSpace();
  if (!scan.Keyword("values")) return std::nullopt;
  scan.SkipSpace();
  if (!scan.Punctuation('(')) return std::nullopt;
  do {
    scan.SkipSpace();
    int64_t number = 0;
    std::string text;
    if (scan.Number(number)) {
      insert.values.emplace_back(number);
    } else if (scan.Text(text)) {
      insert.values.emplace_back(std::move(text));
    } else {
      return std::nullopt;
    }
    scan.SkipSpace();
  } while (scan.Punctuation(','));
  if (!scan.Punctuation(')')) return std::nullopt;
  scan.SkipSpace();
  if (!scan.at_end() || insert.values.size() != insert.columns.size()) return std::nullopt;
  return insert;
}

std::optional<std::vector<Equality>> ParseEqualities(std::string_view condition) {
  Scanner scan(condition);
  std::vector<Equality> equalities;
  do {
    scan.SkipSpace();
    Equality& equality = equalities.emplace_back();
    // A bare name or one in brackets; no other quotes.
    if (scan.at_end() || condition[scan.pos()] == '"' || condition[scan.pos()] == '`' ||
        !scan.Name(equality.column)) {
      return std::nullopt;
    }
    scan.SkipSpace();
    if (!scan.Punctuation('=')) return std::nullopt;
    scan.SkipSpace();
    if (!scan.Number(equality.value)) return std::nullopt;
    scan.SkipSpace();
  } while (scan.Keyword("and"));
  if (!scan.at_end()) return std::nullopt;
  return equalities;
}

std::optional<std::string> ParseCountColumn(std::string_view columns) {
  Scanner scan(columns);
  scan.SkipSpace();
  if (!scan.Keyword("count")) return std::nullopt;
  for (char c : {'(', '*', ')'}) {
    scan.SkipSpace();
    if (!scan.Punctuation(c)) return std::nullopt;
  }
  scan.SkipSpace();
  std::string name = "Expr1000";
  if (scan.Keyword("as")) {
    scan.SkipSpace();
    if (scan.at_end() || columns[scan.pos()] == '"' || columns[scan.pos()] == '`' ||
        !scan.Name(name)) {
      return std::nullopt;
    }
    scan.SkipSpace();
  }
  if (!scan.at_end()) return std::nullopt;
  return name;
}

std::string QueryShape(std::string_view sql) {
  std::string shape;
  shape.reserve(sql.size());
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      end = sql.find(close, i + 1);  // a doubled quote is two quoted runs
      end = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '-' && sql.substr(i, 2) == "--") {
      end = sql.find('\n', i);
      end = end == std::string_view::npos ? sql.size() : end;
    } else if (c == '/' && sql.substr(i, 2) == "/*") {
      end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? sql.size() : end + 2;
    } else if (IsIdentifierChar(c)) {
      bool digits = true;
      for (end = i; end < sql.size() && IsIdentifierChar(sql[end]); ++end) {
        digits = digits && sql[end] >= '0' && sql[end] <= '9';
      }
      if (digits) {
        shape.push_back('#');
        i = end;
        continue;
      }
    }
    shape.append(sql.substr(i, end - i));
    i = end;
  }
  return shape;
}

}  // namespace addbook::sql
