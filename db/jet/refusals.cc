#include "db/jet/refusals.h"

#include <string>

namespace addbook::jet::refusals {

Error DuplicateKey() {
  return Error(kDuplicateKey,
               "The changes you requested to the table were not successful because they would "
               "create duplicate values in the index, primary key, or relationship.  Change the "
               "data in the field or fields that contain duplicate data, remove the index, or "
               "redefine the index to permit duplicate entries and try again.");
}

Error RecordTooLarge() { return Error(kRecordTooLarge, "Record is too large."); }

Error NullInIndex() {
  return Error(kNullInIndex, "Index or primary key cannot contain a Null value.");
}

Error FieldNotUpdatable() { return Error(kFieldNotUpdatable, "Field cannot be updated."); }

Error RequiredNull(std::u16string_view table, std::u16string_view column) {
  return Error(kRequiredNull, u"The field '" + std::u16string(table) + u"." +
                                  std::u16string(column) +
                                  u"' cannot contain a Null value because the Required property "
                                  u"for this field is set to True.  Enter a value in this field.");
}

Error ZeroLength(std::u16string_view table, std::u16string_view column) {
  return Error(kZeroLength, u"Field '" + std::u16string(table) + u"." + std::u16string(column) +
                                u"' cannot be a zero-length string.");
}

Error NumericOverflow() { return Error(kNumericOverflow, "Numeric field overflow."); }

Error DataTypeConversion() { return Error(kDataTypeConversion, "Data type conversion error."); }

}  // namespace addbook::jet::refusals
