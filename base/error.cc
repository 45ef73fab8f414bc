#include "base/error.h"

#include <string>

#include "base/text.h"

namespace addbook {

Error::Error(int32_t number, std::string_view description_utf8)
    : number_(number), description_(Utf8ToUtf16(description_utf8)) {}

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

}  // namespace errors
}  // namespace addbook
