// Application settings under Wine.
//
// The platform's "application settings" calls keep value <key> of
// <app>/<section> in the registry key
//   HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>
// Wine's server holds the registry in memory and saves HKEY_CURRENT_USER to
// <prefix>/user.reg (periodically and when the last Wine process ends), so a
// value the host program has just written may take a moment to reach the file.
//
// user.reg, as Wine writes and reads it (one item per line, UTF-8 text,
// though Wine itself writes ASCII only):
//
//   file    := ["\xEF\xBB\xBF"] "WINE REGISTRY Version 2" line*
//   line    := ";" comment | "#" meta (#arch=, #time=, #class=, #link)
//            | "[" escaped(']') "]" [timestamp]      a key, relative to the root
//            | name "=" data                         a value of the last key
//            | blank
//   name    := "@"  (the key's default value) | '"' escaped('"') '"'
//   data    := '"' escaped('"') '"'                 REG_SZ
//            | "str:" | "str(2):" | "str(7):" '"' escaped('"') '"'
//                                                   REG_SZ, EXPAND_SZ, MULTI_SZ
//            | "dword:" hex8                        REG_DWORD
//            | "hex:" bytes | "hex(" type "):" bytes
//   bytes   := hex pairs separated by ","; a line ending in "\" goes on in
//              the next line, whatever that line holds
//   escaped := characters with "\\", "\<quote>", "\a" "\b" "\e" "\f" "\n" "\r"
//              "\t" "\v", octal "\ooo" (up to 3 digits) and "\xhhhh" (up to 4 hex
//              digits, stopping at the first non-hex character: Wine pads with
//              zeros only when a hex digit follows); any other escaped
//              character stands for itself
//
// Leading white space on a line is skipped.  Key paths match component by
// component and values by name, both in any letter case (Wine folds to upper
// case); empty path components are ignored, as Wine does.
//
// Damage is handled the way Wine's own loader handles it, line by line: a line
// that does not parse is skipped; a key line that does not parse hides the
// values after it until the next key line; a string without its closing quote,
// or a hex value cut short by the end of the file, is not a value.  Later
// values of the same name replace earlier ones.  A string value is the text
// up to its first NUL, as the settings calls return it.  hex(1) and hex(2)
// values (strings Wine could not write as text) are decoded as UTF-16LE.
//
// The file is read line by line; only the value being looked for is kept.
#include <dirent.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "app/settings.h"
#include "base/text.h"

namespace addbook {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::u16string_view kSettingsRoot = u"Software\\VB and VBA Program Settings";

// One-letter escapes and the characters they stand for.
constexpr std::string_view kEscapeLetters = "abefnrtv";
constexpr char16_t kEscapeUnits[] = {0x07, 0x08, 0x1B, 0x0C, 0x0A, 0x0D, 0x09, 0x0B};

// Folds one UTF-16 unit to upper case, as Wine compares registry names.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  // A Unicode locale for the case tables; ASCII folding only when there is
  // none on this system.
  static const locale_t kLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  if (kLocale == locale_t(0)) return c;
  wint_t upper = towupper_l(static_cast<wint_t>(c), kLocale);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

// Splits a key path at backslashes, dropping empty components, and folds it.
std::vector<std::u16string> KeyComponents(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.push_back(Fold(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view SkipSpaces(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsSpace(s[n - 1])) --n;
  return s.substr(0, n);
}

// Parses an escaped string that starts at the beginning of |s| and ends at an
// unescaped |quote|.  On success returns the text and leaves |s| just past
// the quote; nullopt when the quote is missing.
std::optional<std::u16string> ParseEscaped(std::string_view& s, char quote) {
  std::u16string out;
  std::string literal;  // UTF-8 bytes waiting to be decoded
  auto flush = [&] {
    out += Utf8ToUtf16(literal);
    literal.clear();
  };
  size_t i = 0;
  while (i < s.size() && s[i] != quote) {
    char c = s[i];
    if (c != '\\') {
      literal.push_back(c);
      ++i;
      continue;
    }
    if (++i == s.size()) return std::nullopt;
    const char e = s[i++];
    char16_t unit;
    if (size_t letter = kEscapeLetters.find(e); letter != std::string_view::npos) {
      unit = kEscapeUnits[letter];
    } else if (e == 'x' && i < s.size() && HexDigit(s[i]) >= 0) {
      unsigned value = 0;
      for (int n = 0; n < 4 && i < s.size() && HexDigit(s[i]) >= 0; ++n) {
        value = value * 16 + static_cast<unsigned>(HexDigit(s[i++]));
      }
      unit = static_cast<char16_t>(value);
    } else if (e >= '0' && e <= '7') {
      unsigned value = static_cast<unsigned>(e - '0');
      for (int n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n) {
        value = value * 8 + static_cast<unsigned>(s[i++] - '0');
      }
      unit = static_cast<char16_t>(value);
    } else {
      literal.push_back(e);  // "\\", "\"", "\]", a bare "\x" and unknown escapes
      continue;
    }
    flush();
    out.push_back(unit);
  }
  if (i == s.size()) return std::nullopt;
  flush();
  s.remove_prefix(i + 1);
  return out;
}

// Appends the bytes of one line of a hex value ("00,1f,\") to |bytes|.
// Returns false when the line is not hex data; sets |more| when it ends in a
// backslash.
bool ParseHexLine(std::string_view s, std::string& bytes, bool& more) {
  more = false;
  s = TrimRight(SkipSpaces(s));
  if (!s.empty() && s.back() == '\\') {
    more = true;
    s = TrimRight(s.substr(0, s.size() - 1));
  }
  while (!s.empty()) {
    s = SkipSpaces(s);
    int value = 0;
    int digits = 0;
    while (!s.empty() && digits < 2 && HexDigit(s[0]) >= 0) {
      value = value * 16 + HexDigit(s[0]);
      ++digits;
      s.remove_prefix(1);
    }
    if (digits == 0) return false;
    bytes.push_back(static_cast<char>(value));
    s = SkipSpaces(s);
    if (s.empty()) break;
    if (s[0] != ',') return false;
    s.remove_prefix(1);
  }
  return true;
}

std::u16string UpToNul(std::u16string text) {
  size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

// Finds one value while it is fed the lines of a registry file in order.
class RegistryScanner {
 public:
  RegistryScanner(std::u16string_view key_path, std::u16string_view name)
      : key_(KeyComponents(key_path)), name_(Fold(name)) {}

  // Takes the next line, without its line end.  Returns false once the text
  // is known not to be a registry file: further lines change nothing.
  bool Feed(std::string_view line);

  // The value, once every line has been fed.
  std::optional<std::u16string> Finish() {
    // A hex value still waiting for its next line was cut short.
    hex_.reset();
    return value_;
  }

 private:
  void KeyLine(std::string_view line);
  void ValueLine(std::string_view line);
  void EndHexValue();

  std::vector<std::u16string> key_;
  std::u16string name_;
  bool header_seen_ = false;
  bool rejected_ = false;
  bool in_key_ = false;        // the lines now read belong to the key looked for
  bool continuation_ = false;  // the next line goes on with a hex value
  // The hex value being collected when it is the one looked for.
  struct HexValue {
    unsigned long type;
    std::string bytes;
    bool ok = true;
  };
  std::optional<HexValue> hex_;
  std::optional<std::u16string> value_;
};

bool RegistryScanner::Feed(std::string_view line) {
  if (rejected_) return false;
  // Wine reads lines as C strings: a NUL ends the line.
  line = line.substr(0, line.find('\0'));
  if (!header_seen_) {
    if (line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    line = TrimRight(line);
    header_seen_ = true;
    rejected_ = line != kHeader;
    return !rejected_;
  }
  if (continuation_) {
    bool more = false;
    std::string bytes;
    bool ok = ParseHexLine(line, bytes, more);
    continuation_ = ok && more;
    if (hex_) {
      hex_->bytes += bytes;
      hex_->ok = hex_->ok && ok;
      if (!continuation_) EndHexValue();
    }
    return true;
  }
  std::string_view text = SkipSpaces(line);
  if (text.empty()) return true;
  switch (text[0]) {
    case '[':
      KeyLine(text.substr(1));
      break;
    case '@':
    case '"':
      ValueLine(text);
      break;
    default:  // comments, #arch= and #time= lines, and anything unreadable
      break;
  }
  return true;
}

void RegistryScanner::KeyLine(std::string_view line) {
  std::optional<std::u16string> path = ParseEscaped(line, ']');
  in_key_ = path && KeyComponents(*path) == key_;
}

void RegistryScanner::ValueLine(std::string_view line) {
  std::u16string name;
  if (line[0] == '@') {
    line.remove_prefix(1);
  } else {
    line.remove_prefix(1);
    std::optional<std::u16string> parsed = ParseEscaped(line, '"');
    if (!parsed) return;
    name = std::move(*parsed);
  }
  line = SkipSpaces(line);
  if (line.empty() || line[0] != '=') return;
  line = SkipSpaces(line.substr(1));

  // Hex data is parsed for every value, so that its continuation lines are
  // never mistaken for keys or values.
  auto starts = [&](std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix) return false;
    line.remove_prefix(prefix.size());
    return true;
  };
  std::optional<unsigned long> hex_type;
  if (starts("hex:")) {
    hex_type = 3;  // REG_BINARY
  } else if (starts("hex(")) {
    size_t close = line.find("):");
    if (close == std::string_view::npos || close == 0 || close > 8) return;
    unsigned long type = 0;
    for (char c : line.substr(0, close)) {
      if (HexDigit(c) < 0) return;
      type = type * 16 + static_cast<unsigned long>(HexDigit(c));
    }
    hex_type = type;
    line.remove_prefix(close + 2);
  }
  bool wanted = in_key_ && Fold(name) == name_;
  if (hex_type) {
    std::string bytes;
    bool more = false;
    bool ok = ParseHexLine(line, bytes, more);
    continuation_ = ok && more;
    if (!wanted) return;
    hex_ = HexValue{*hex_type, std::move(bytes), ok};
    if (!continuation_) EndHexValue();
    return;
  }
  if (!wanted) return;

  bool is_string = true;
  if (starts("\"") || starts("str:\"") || starts("str(2):\"")) {
    // REG_SZ, REG_EXPAND_SZ
  } else if (starts("str(7):\"")) {
    is_string = false;  // REG_MULTI_SZ
  } else if (starts("dword:")) {
    std::string_view digits = TrimRight(line);
    if (digits.empty() || digits.size() > 8) return;
    for (char c : digits) {
      if (HexDigit(c) < 0) return;
    }
    value_.reset();
    return;
  } else {
    return;
  }
  std::optional<std::u16string> text = ParseEscaped(line, '"');
  if (!text) return;
  if (is_string) {
    value_ = UpToNul(std::move(*text));
  } else {
    value_.reset();
  }
}

void RegistryScanner::EndHexValue() {
  HexValue hex = std::move(*hex_);
  hex_.reset();
  if (!hex.ok) return;
  if (hex.type != 1 && hex.type != 2) {  // REG_SZ, REG_EXPAND_SZ
    value_.reset();
    return;
  }
  std::u16string text;
  for (size_t i = 0; i + 1 < hex.bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(hex.bytes[i]) |
                                         static_cast<unsigned char>(hex.bytes[i + 1]) << 8));
  }
  value_ = UpToNul(std::move(text));
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// --- Path mapping ---

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of |dir| whose name equals |name| in any letter case; the first
// by byte order when several do.
std::optional<std::string> FindEntryAnyCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::nullopt;
  const std::u16string wanted = Fold(Utf8ToUtf16(name));
  std::optional<std::string> found;
  while (const dirent* entry = readdir(d)) {
    std::string candidate = entry->d_name;
    if (Fold(Utf8ToUtf16(candidate)) != wanted) continue;
    if (!found || candidate < *found) found = std::move(candidate);
  }
  closedir(d);
  return found;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

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
  return scanner.Finish();
}

std::u16string GetSetting(std::u16string_view app, std::u16string_view section,
                          std::u16string_view key, std::u16string_view def) {
  std::u16string key_path(kSettingsRoot);
  key_path.append(u"\\").append(app).append(u"\\").append(section);
  RegistryScanner scanner(key_path, key);
  std::ifstream in(WinePrefix() + "/user.reg", std::ios::binary);
  if (!in) return std::u16string(def);
  std::string line;
  while (std::getline(in, line)) {
    if (!scanner.Feed(line)) return std::u16string(def);
  }
  std::optional<std::u16string> value = scanner.Finish();
  return value ? *value : std::u16string(def);
}

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return StripTrailingSlashes(prefix);
  return StripTrailingSlashes(HomeDir()) + "/.wine";
}

std::string NativePath(std::u16string_view windows_path, const std::string& prefix_dir) {
  std::string path = Utf16ToUtf8(windows_path);
  const bool native = !path.empty() && path[0] == '/';
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string_view rest = path;
  const std::string dosdevices = StripTrailingSlashes(prefix_dir) + "/dosdevices/";

  // Win32 namespace prefixes ("\\?\C:\...", "\\.\C:\...", "\\?\UNC\...").
  bool unc = false;
  if (!native && (rest.substr(0, 4) == "//?/" || rest.substr(0, 4) == "//./")) {
    rest.remove_prefix(4);
    if (rest.size() >= 4 && Fold(Utf8ToUtf16(rest.substr(0, 4))) == u"UNC/") {
      rest.remove_prefix(4);
      unc = true;
    }
  } else if (!native && rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    unc = true;
  }

  std::string base;  // the folder the components hang off; "" is the current one
  if (unc) {
    base = dosdevices + "unc";
  } else if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == ':') {
    base = dosdevices + static_cast<char>(rest[0] | 0x20) + ":";
    rest.remove_prefix(2);
  } else if (native) {
    base = "/";
  } else if (!rest.empty() && rest[0] == '/') {
    base = dosdevices + "c:";  // rooted on the current drive: Wine starts programs on C:
  }

  std::vector<std::string> parts;
  while (!rest.empty()) {
    size_t end = rest.find('/');
    std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (base.empty()) {
        parts.emplace_back(part);  // a relative path may climb above the current folder
      }
      continue;
    }
    parts.emplace_back(part);
  }

  std::string out = base;
  bool found = true;  // every component so far exists
  for (const std::string& part : parts) {
    std::string name = part;
    if (found && part != ".." && !EntryExists(JoinPath(out, part))) {
      std::optional<std::string> match = FindEntryAnyCase(out, part);
      if (match) {
        name = std::move(*match);
      } else {
        found = false;
      }
    }
    out = JoinPath(out, name);
  }
  return out;
}

}  // namespace addbook
