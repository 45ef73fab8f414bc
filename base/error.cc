#include "base/error.h"

#include <string>

#include "base/text.h"

namespace addbook {

Error::Error(int32_t number, std::string_view description_utf8)
    : number_(number), description_(Utf8ToUtf16(description_utf8)) {}

FatalError ImportUndone(const Error* cause) {
  // The number of the failure that ended the transaction; an engine failure
  // without a number of its own when there was none.
  constexpr int32_t kEngineFailure = -1;
  const std::u16string why = cause ? cause->description() : u"a statement ended the transaction";
  return FatalError(FatalError::Kind::kImportUndone,
                    Error(cause ? cause->number() : kEngineFailure,
                          u"The database undid the whole import after this error: " + why + u"."));
}

FatalError WritesRefused(const Error& cause) {
  return FatalError(FatalError::Kind::kWritesRefused,
                    Error(errors::kCannotOpenDatabase,
                          u"The database cannot be written: " + cause.description()));
}

namespace errors {

Error Overflow() { return Error(kOverflow, "Overflow"); }

Error BadFileNumber() { return Error(kBadFileNumber, "Bad file name or number"); }

Error FileNotFound(std::string_view path) {
  return Error(kFileNotFound, "File not found: " + std::string(path));
}

Error PathFileAccess(std::string_view path, std::string_view reason) {
  return Error(kPathFileAccess,
               "Path/File access error: " + std::string(path) + ": " + std::string(reason));
}

Error InputPastEnd() { return Error(kInputPastEnd, "Input past end of file"); }

Error TypeMismatch() { return Error(kTypeMismatch, "Type mismatch"); }

Error InvalidUseOfNull() { return Error(kInvalidUseOfNull, "Invalid use of Null"); }

Error NotAllowedInContext() {
  return Error(kNotAllowedInContext, "Operation is not allowed in this context.");
}

Error ObjectClosed() {
  return Error(kObjectClosed, "Operation is not allowed when the object is closed.");
}

Error ObjectOpen() {
  return Error(kObjectOpen, "Operation is not allowed when the object is open.");
}

Error ItemNotFound() {
  return Error(kItemNotFound,
               "Item cannot be found in the collection corresponding to the requested name or "
               "ordinal.");
}

Error NoCurrentRecord() {
  return Error(kNoCurrentRecord,
               "Either BOF or EOF is True, or the current record has been deleted. Requested "
               "operation requires a current record.");
}

Error NotUpdatable(std::u16string_view reason) {
  return Error(kNotUpdatable,
               u"Current Recordset does not support updating. " + std::u16string(reason));
}

Error ConnectionUnusable() {
  return Error(kConnectionUnusable,
               "The connection cannot be used to perform this operation. It is either closed or "
               "invalid in this context.");
}

Error DatabaseOpen(int32_t number, std::string_view path, std::string_view reason) {
  return Error(number,
               "Cannot open the database file " + std::string(path) + ": " + std::string(reason));
}

Error StatementRefused(std::string_view reason) { return Error(kStatementRefused, reason); }

Error TableNotFound(std::u16string_view table) {
  return Error(kTableNotFound, u"The database has no table named '" + std::u16string(table) +
                                   u"'; nothing was run.");
}

Error FieldNotFound(std::u16string_view table, std::u16string_view column) {
  return Error(kFieldNotFound, u"The table " + std::u16string(table) + u" has no column named '" +
                                   std::u16string(column) + u"'; nothing was run.");
}

Error FieldTooSmall(std::u16string_view column, size_t length, size_t size) {
  return Error(kFieldTooSmall,
               u"The field is too small to accept the amount of data you attempted to add.  Try "
               u"inserting or pasting less data. The column [" +
                   std::u16string(column) + u"] holds at most " +
                   Decimal(static_cast<int64_t>(size)) + u" characters, and the value has " +
                   Decimal(static_cast<int64_t>(length)) + u"; nothing was stored.");
}

}  // namespace errors
}  // namespace addbook
