// The on-disk encodings of an Access file (Jet 3, Jet 4 and ACE) that every
// layer of the engine shares: the header page, page kinds, page pointers and
// the little-endian numbers they are made of.
//
// Header page (page 0), the part this engine reads:
//   0x00  4  magic 00 01 00 00
//   0x04 16  "Standard Jet DB\0" (Jet) or "Standard ACE DB\0" (ACE)
//   0x14  1  version: 0 Jet 3, 1 Jet 4, 2 ACE 12, 3 ACE 14, 5 ACE 16
//   0x18 128 bytes (126 in Jet 3) masked with a fixed RC4 stream, holding:
//     0x3A  2  Jet 3: sort order (LCID of the collating order of text)
//     0x3C  2  code page of the database: in Jet 3 the encoding of its text
//     0x3E  4  database key: not 0 when the file is encrypted
//     0x42 40  database password (20 bytes in Jet 3; in Jet 4 and ACE masked
//              again with the creation date)
//     0x6E  2  Jet 4 and ACE: sort order
//     0x71  1  sort order version (0 "General (legacy)"; 1 the newer General)
//     0x72  8  creation date, the password's second mask
// Every other page starts with its kind (kPageData ... kPageUsageMap) in its
// first byte.
//
// A page pointer ("data pointer") is 4 little-endian bytes: the row number in
// the low byte, the page number in the upper three.
#ifndef ADDBOOK_DB_JET_FORMAT_H_
#define ADDBOOK_DB_JET_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/error.h"
#include "db/jet/database.h"

namespace addbook::jet {

// Little-endian numbers inside a page.
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put24(uint8_t* p, uint32_t v) {
  Put16(p, static_cast<uint16_t>(v));
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, static_cast<uint16_t>(v));
  Put16(p + 2, static_cast<uint16_t>(v >> 16));
}

// A page pointer: row in the low byte, page in the upper three.
inline RowId GetRowPointer(const uint8_t* p) { return RowId{Get24(p + 1), p[0]}; }
inline void PutRowPointer(uint8_t* p, RowId id) {
  p[0] = static_cast<uint8_t>(id.row);
  Put24(p + 1, id.page);
}

// Page kinds: the first byte of every page but the header.
inline constexpr uint8_t kPageData = 0x01;       // rows (and long values)
inline constexpr uint8_t kPageTableDef = 0x02;   // a table's definition
inline constexpr uint8_t kPageIndexNode = 0x03;  // index tree, above the leaves
inline constexpr uint8_t kPageIndexLeaf = 0x04;  // index tree leaves
inline constexpr uint8_t kPageUsageMap = 0x05;   // bitmap of a type 1 usage map

// Data pages (and long-value pages, which have "LVAL" for the owner):
//   0  1  kPageData     1  1  0x01
//   2  2  free bytes    4  4  owner: the table definition's page, or "LVAL"
//   8  4  (unknown; not in Jet 3)
//  12  2  number of rows in the row table (8 in Jet 3)
//  14  2 per row (10 in Jet 3): the row's start in the page, with the flags
//     below.  Rows are stored from the end of the page backwards: row i ends
//     where row i-1 starts (row 0 at the end of the page).
inline constexpr size_t kDataFreeSpace = 2;
inline constexpr size_t kDataOwner = 4;
inline constexpr uint16_t kRowDeleted = 0x8000;  // deleted, or moved here by an update
inline constexpr uint16_t kRowMoved = 0x4000;    // holds a pointer to the row's new place
inline constexpr uint16_t kRowOffsetMask = 0x1FFF;
// The owner bytes of a long-value page.
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"

// The catalogue's table definition is always on this page.
inline constexpr uint32_t kCataloguePage = 2;
// The file's map of free pages: row 0 of page 1.  A set bit is a free page;
// the map covers a window of pages, and pages past the file's end are free.
inline constexpr RowId kFreePageMap{1, 0};

// The file format versions this engine writes (byte 0x14 of page 0).
inline constexpr uint8_t kVersionJet3 = 0;
inline constexpr uint8_t kVersionJet4 = 1;
inline constexpr uint8_t kVersionAce12 = 2;
inline constexpr uint8_t kVersionAce14 = 3;
inline constexpr uint8_t kVersionAce16 = 5;

inline constexpr uint32_t kPageSize = 4096;      // Jet 4 and ACE
inline constexpr uint32_t kPageSizeJet3 = 2048;  // Jet 3

// Sort orders (LCIDs) of text.
inline constexpr uint16_t kSortGeneral = 1033;
inline constexpr uint16_t kSortArabic = 1025;

// What the header page says about the file, and where its format keeps the
// structures whose place differs between Jet 3 and the later formats.
struct FileHeader {
  uint8_t version = kVersionJet4;
  uint32_t page_size = kPageSize;
  uint16_t code_page = 0;     // e.g. 1252, 1256
  uint16_t sort_order = 0;    // LCID of text collation, e.g. 1033 General
  uint16_t sort_version = 0;  // 0: General (legacy)
  bool jet3() const { return version == kVersionJet3; }
  bool ace() const { return version >= kVersionAce12; }
};

// Where a data page of |page_size| bytes keeps its row count and its row
// table: only Jet 3 has 2048-byte pages.
inline constexpr size_t DataRowCountAt(size_t page_size) {
  return page_size == kPageSizeJet3 ? 8 : 12;
}
inline constexpr size_t DataRowTableAt(size_t page_size) {
  return page_size == kPageSizeJet3 ? 10 : 14;
}

// Decodes the header page |page0| (at least 2048 bytes; the masked bytes as
// stored) of the file at |path|, and throws errors::DatabaseOpen
// (kNotADatabase), saying what it found, for a file this engine does not
// read and write: not an Access file, an unknown version, encrypted or
// protected by a database password, or a Jet 3 file whose text is in a code
// page other than Windows-1256.
FileHeader DecodeHeader(std::span<const uint8_t> page0, const std::filesystem::path& path);

// The header page's masked bytes XORed with the mask, in place: masks and
// unmasks alike.  |page0| holds at least 0x18 + 128 bytes; a Jet 3 header
// (version byte 0) has two bytes fewer masked.
void ApplyHeaderMask(std::span<uint8_t> page0);

// The error for a file whose pages do not hold what they must:
// errors::kNotADatabase, "The Access file is damaged: <what>.".
Error Damaged(std::string_view what);

// Text of a Jet 4 text or memo value: UTF-16LE, or the compressed form that
// starts FF FE and switches at every 00 byte between one byte a character
// (the high byte 0) and two.  Malformed input (an odd UTF-16 length) keeps
// what it can; never throws.
std::u16string DecodeText(std::span<const uint8_t> bytes);

// Text of a Jet 3 text or memo value: one Windows-1256 byte a character.
std::u16string DecodeCodePageText(std::span<const uint8_t> bytes);

// |text| as the bytes of a Jet 3 text or memo value, appended to |out|; the
// index in |text| of the first character that Windows-1256 lacks, with
// |out| as it was, when there is one.
std::optional<size_t> EncodeCodePageText(std::u16string_view text, std::string& out);

// A text or memo value of the file whose header is |header|, as stored.
inline std::u16string DecodeStoredText(const FileHeader& header, std::span<const uint8_t> bytes) {
  return header.jet3() ? DecodeCodePageText(bytes) : DecodeText(bytes);
}

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_FORMAT_H_
