// Windows-1256, the Arabic code page: the encoding of the book's text file
// and of the text in an Access 97 file made on an Arabic Windows.
#ifndef ADDBOOK_BASE_CODE_PAGE_H_
#define ADDBOOK_BASE_CODE_PAGE_H_

#include <array>
#include <optional>

namespace addbook {

// Every byte's character, by byte.
extern const std::array<char16_t, 256> kCp1256Chars;

// The character that the Windows-1256 byte |byte| stands for.  Every byte
// value has one; 0x00-0x7F are themselves.
inline char16_t DecodeCp1256(unsigned char byte) { return kCp1256Chars[byte]; }

// The Windows-1256 byte that stands for |c|, or nothing when the code page
// lacks the character.
std::optional<unsigned char> EncodeCp1256(char16_t c);

}  // namespace addbook

#endif  // ADDBOOK_BASE_CODE_PAGE_H_
