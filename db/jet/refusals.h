// The refusals of a row change, in Jet's own numbers and words: what a user
// of Access meets for the same row.
#ifndef ADDBOOK_DB_JET_REFUSALS_H_
#define ADDBOOK_DB_JET_REFUSALS_H_

#include <cstdint>
#include <string_view>

#include "base/error.h"

namespace addbook::jet::refusals {

inline constexpr int32_t kDuplicateKey = 3022;
inline constexpr int32_t kRecordTooLarge = 3047;
inline constexpr int32_t kNullInIndex = 3058;
inline constexpr int32_t kFieldNotUpdatable = 3164;
inline constexpr int32_t kRequiredNull = 3314;
inline constexpr int32_t kZeroLength = 3315;
inline constexpr int32_t kNumericOverflow = 3349;
inline constexpr int32_t kDataTypeConversion = 3421;

// 3022: the row would put a second row under one key of a unique index or
// the primary key.
Error DuplicateKey();
// 3047: the row's bytes, long values aside, exceed what a row may hold.
Error RecordTooLarge();
// 3058: a key column of the primary key or of a required index is Null.
Error NullInIndex();
// 3164: an AutoNumber column given a new value in an update.
Error FieldNotUpdatable();
// 3314: Null in the Required column |table|.|column|.
Error RequiredNull(std::u16string_view table, std::u16string_view column);
// 3315: a zero-length text in |table|.|column|, whose AllowZeroLength is off.
Error ZeroLength(std::u16string_view table, std::u16string_view column);
// 3349: a number outside its column's range.
Error NumericOverflow();
// 3421: a text for an Access 97 (Jet 3) file with a character that the
// file's code page, Windows-1256, lacks.
Error DataTypeConversion();

}  // namespace addbook::jet::refusals

#endif  // ADDBOOK_DB_JET_REFUSALS_H_
