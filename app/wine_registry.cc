// Wine registry files.
//
// The platform's "application settings" calls keep value <key> of
// <app>/<section> in the registry key
//   HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>
// Wine's server holds the registry in memory and saves HKEY_CURRENT_USER to
// <prefix>/user.reg (periodically and when the last Wine process ends), so a
// value the host program has just written may take a moment to reach the file.
//
// user.reg, as Wine writes it (one item per line, UTF-8 text):
//
//   file    := "WINE REGISTRY Version 2" line*
//   line    := "[" escaped(']') "]" [timestamp]      a key, relative to the root
//            | name "=" data                         a value of the last key
//            | anything else: ";" comments, "#time=" and other meta lines
//   name    := "@"  (the key's default value) | '"' escaped('"') '"'
//   data    := ["str:" | "str(2):"] '"' escaped('"') '"'     a string
//            | "dword:", "hex:", "hex(<type>):", "str(7):" ...  not a string
//   escaped := characters, with "\\" and "\<quote>" for themselves, "\a" "\b"
//              "\e" "\f" "\n" "\r" "\t" "\v", and "\x" followed by one to four
//              hex digits (Wine pads with zeros only when a hex digit
//              follows); any other escaped character stands for itself
//
// Data that ends in "\" (long hex data) goes on in the next line, which is
// then never read as a key or a value.  Leading blanks are skipped and a line
// ends at a CR LF, an LF or a NUL.  Key paths match component by component
// and values by name, ignoring empty path components and the letter case of
// ASCII letters.
//
// Damage is handled line by line, as Wine's own loader does: a line that does
// not parse is skipped; a key line that does not parse hides the values after
// it until the next key line; a string without its closing quote is no
// value.  A later value of the same name replaces an earlier one.  A string
// value is its text up to its first NUL, as the settings calls return it.
//
// The file is read line by line; only the value being looked for is kept.
#include "app/wine_registry.h"

#include "base/text.h"

namespace addbook {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

// One-letter escapes and the characters they stand for.
constexpr std::string_view kEscapeLetters = "abefnrtv";
constexpr char16_t kEscapeUnits[] = {0x07, 0x08, 0x1B, 0x0C, 0x0A, 0x0D, 0x09, 0x0B};

// Splits a key path at backslashes, dropping empty components, and folds it.
std::vector<std::u16string> KeyComponents(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.push_back(FoldAsciiCase(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t')) s.remove_prefix(1);
  return s;
}

// Parses an escaped string that starts at the beginning of |s| and ends at an
// unescaped |quote|.  On success returns the text and leaves |s| just past
// the quote; nullopt when the quote is missing.
std::optional<std::u16string> ParseEscaped(std::string_view& s, char quote) {
  std::u16string out;
  std::string literal;  // UTF-8 bytes waiting to be decoded
  size_t i = 0;
  while (i < s.size() && s[i] != quote) {
    if (s[i] != '\\') {
      literal.push_back(s[i++]);
      continue;
    }
    if (++i == s.size()) return std::nullopt;
    const char e = s[i++];
    const size_t letter = kEscapeLetters.find(e);
    char16_t unit = 0;
    if (letter != std::string_view::npos) {
      unit = kEscapeUnits[letter];
    } else if (e == 'x' && i < s.size() && HexDigit(s[i]) >= 0) {
      for (int n = 0; n < 4 && i < s.size() && HexDigit(s[i]) >= 0; ++n) {
        unit = static_cast<char16_t>(unit * 16 + HexDigit(s[i++]));
      }
    } else {
      literal.push_back(e);  // "\\", "\"", "\]", a bare "\x" and unknown escapes
      continue;
    }
    out += Utf8ToUtf16(literal);
    literal.clear();
    out.push_back(unit);
  }
  if (i == s.size()) return std::nullopt;
  out += Utf8ToUtf16(literal);
  s.remove_prefix(i + 1);
  return out;
}

}  // namespace

RegistryScanner::RegistryScanner(std::u16string_view key_path, std::u16string_view name)
    : key_(KeyComponents(key_path)), name_(FoldAsciiCase(name)) {}

bool RegistryScanner::Feed(std::string_view line) {
  if (rejected_) return false;
  line = line.substr(0, line.find('\0'));  // Wine reads lines as C strings
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (!header_seen_) {
    header_seen_ = true;
    rejected_ = line != kHeader;
    return !rejected_;
  }
  if (continuation_) {
    continuation_ = line.ends_with('\\');
    return true;
  }
  line = SkipBlanks(line);
  if (line.starts_with('[')) {
    line.remove_prefix(1);
    std::optional<std::u16string> path = ParseEscaped(line, ']');
    in_key_ = path && KeyComponents(*path) == key_;
  } else if (line.starts_with('@') || line.starts_with('"')) {
    ValueLine(line);
  }
  return true;
}

void RegistryScanner::ValueLine(std::string_view line) {
  std::u16string name;  // empty for "@", the key's default value
  const bool quoted = line[0] == '"';
  line.remove_prefix(1);
  if (quoted) {
    std::optional<std::u16string> parsed = ParseEscaped(line, '"');
    if (!parsed) return;
    name = std::move(*parsed);
  }
  line = SkipBlanks(line);
  if (!line.starts_with('=')) return;
  line = SkipBlanks(line.substr(1));
  const bool wanted = in_key_ && FoldAsciiCase(name) == name_;
  for (std::string_view form : {"str:", "str(2):"}) {
    if (line.starts_with(form)) line.remove_prefix(form.size());
  }
  if (!line.starts_with('"')) {
    continuation_ = line.ends_with('\\');
    if (wanted) value_.reset();  // a number, bytes or a list of strings
    return;
  }
  line.remove_prefix(1);
  std::optional<std::u16string> text = ParseEscaped(line, '"');
  if (wanted && text) value_ = text->substr(0, text->find(u'\0'));
}

std::optional<std::u16string> FindRegistryString(std::string_view file_text,
                                                 std::u16string_view key_path,
                                                 std::u16string_view name) {
  RegistryScanner scanner(key_path, name);
  while (!file_text.empty()) {
    size_t end = file_text.find('\n');
    std::string_view line = file_text.substr(0, end);
    if (!scanner.Feed(line)) return std::nullopt;
    if (end == std::string_view::npos) break;
    file_text.remove_prefix(end + 1);
  }
  return scanner.value();
}

}  // namespace addbook
