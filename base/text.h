// Text inside the program is UTF-16, as the record rules count positions in
// characters.  These helpers convert at the edges (terminal, file names,
// database engine) and format numbers the way every user-visible number and
// every SQL number literal is written.
#ifndef ADDBOOK_BASE_TEXT_H_
#define ADDBOOK_BASE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace addbook {

// UTF-8 to UTF-16.  Malformed sequences become U+FFFD; never throws.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8.  An unpaired surrogate becomes U+FFFD; never throws.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Plain signed decimal: digits only, a minus sign for negatives, no leading
// zero, no grouping.  706 -> "706", -1 -> "-1".
std::u16string Decimal(int64_t value);

// The two Boolean captions.
inline std::u16string_view BoolText(bool value) { return value ? u"True" : u"False"; }

// The line break inside record texts, stored values and message texts.
inline constexpr std::u16string_view kCrLf = u"\r\n";

}  // namespace addbook

#endif  // ADDBOOK_BASE_TEXT_H_
