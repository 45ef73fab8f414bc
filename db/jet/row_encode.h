// Values and rows encoded as Jet stores them: the inverse of the decoding in
// row.h and format.h (DecodeStoredText); the row layouts of Jet 3 and Jet 4
// are at the top of row.h.  Jet 3 text is one Windows-1256 byte a character.
//
// Compressed text: FF FE, then runs of characters in two modes, a 00 byte
// switching between them, starting with one byte a character:
//   one byte a character   characters U+0001 .. U+00FF, their low byte;
//   two bytes a character  others, UTF-16LE; neither byte may be 00, as a
//                          reader takes any 00 byte for a switch.
// So the mode of every character is fixed by the character, and the text is
// compressed when its column asks for it, it has at most 1024 characters,
// none of them has a 00 byte in the two-byte mode, and the compressed form
// is shorter.  The text may end in either mode.
#ifndef ADDBOOK_DB_JET_ROW_ENCODE_H_
#define ADDBOOK_DB_JET_ROW_ENCODE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/format.h"
#include "db/jet/table_def.h"
#include "db/variant.h"

namespace addbook::jet {

// The longest text (in characters) stored compressed.
inline constexpr size_t kMaxCompressedChars = 1024;

// |text| as a Text or Memo column stores it: compressed when |compress| and
// the form above allows it and saves bytes, else UTF-16LE.
std::string EncodeText(std::u16string_view text, bool compress);

// A value converted for its column.
struct ColumnValue {
  Variant value;  // as Table::Read gives it back; Null for Null
  // What the column stores: a fixed column's bytes (its length of them), a
  // Text or Memo value's encoded text, a Binary or OLE value's bytes; empty
  // for Null and for Yes/No, whose value is its bit in the null mask.
  std::string bytes;
};

// |value| converted for |column| of a file of |format|.  Null stays Null.
// Throws errors::TypeMismatch for a value the column's type cannot take
// (text that is no number for a number column, bytes for a text or number
// column), errors::Overflow (and NumericOverflow) for a number out of the
// column's range, refusals::DataTypeConversion for Jet 3 text with a
// character that Windows-1256 lacks.  Length limits are the caller's to
// check.
ColumnValue ConvertValue(const Column& column, const Variant& value, const FileHeader& format);

// What a row holds for one column.
struct Field {
  bool present = false;  // false: Null (for Yes/No: No)
  std::string bytes;     // fixed: the column's length of bytes; variable: as stored
};

// The bytes of a row of |def|, in the layout of |format|'s version, holding
// fields[i] in def.columns[i], with zeros after the variable columns' bytes
// when it is shorter than |min_size|.
std::string EncodeRow(const TableDef& def, const FileHeader& format,
                      const std::vector<Field>& fields, size_t min_size = 0);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_ROW_ENCODE_H_
