// Text inside the program is UTF-16, as the record rules count positions in
// characters.  These helpers convert at the edges (terminal, file names,
// database engine) and format numbers the way every user-visible number and
// every SQL number literal is written.
#ifndef ADDBOOK_BASE_TEXT_H_
#define ADDBOOK_BASE_TEXT_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace addbook {

// UTF-8 to UTF-16.  Malformed sequences become U+FFFD; never throws.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8.  An unpaired surrogate becomes U+FFFD; never throws.
// Statements and values carry whole records, so this is one tight pass.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-16 to and from wchar_t text (UTF-16 where wchar_t has 16 bits, as on
// Windows, copied unit for unit; UTF-32 where it has 32, where unpaired
// surrogates and values that are no character become U+FFFD).  Never throws.
std::wstring Utf16ToWide(std::u16string_view utf16);
std::u16string WideToUtf16(std::wstring_view wide);

// Paths to and from UTF-16 text, without passing through a narrow code page
// on any platform.
std::filesystem::path PathFromUtf16(std::u16string_view utf16);
std::u16string PathToUtf16(const std::filesystem::path& path);
// The path in UTF-8, for messages and for the one engine call that takes
// UTF-8 (on Linux: the path's bytes as they are).
std::string PathToUtf8(const std::filesystem::path& path);

// ASCII letters folded to lower case; every other character as it is.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
// |s| with its ASCII letters folded to lower case: a key that compares names
// without regard to case.
std::u16string FoldAsciiCase(std::u16string_view s);
// True when |a| and |b| are equal once ASCII letters are folded: the way
// names of tables, columns and registry keys are compared.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// Plain signed decimal: digits only, a minus sign for negatives, no leading
// zero, no grouping.  706 -> "706", -1 -> "-1".
std::u16string Decimal(int64_t value);

// The two Boolean captions.
inline std::u16string_view BoolText(bool value) { return value ? u"True" : u"False"; }

// The line break inside record texts, stored values and message texts.
inline constexpr std::u16string_view kCrLf = u"\r\n";

}  // namespace addbook

#endif  // ADDBOOK_BASE_TEXT_H_
