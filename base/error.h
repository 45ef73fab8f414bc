// The installer's one error type, and the catalogue of the errors that the
// program raises itself.
//
// A step that fails throws an Error; the procedure that reports failures of
// that kind catches it at its top and shows the number and the description in
// the fixed form the user knows.  Nothing else catches errors.
#ifndef ADDBOOK_BASE_ERROR_H_
#define ADDBOOK_BASE_ERROR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace addbook {

// A run-time error: a signed number and a description, both shown to the
// user unchanged.
class Error {
 public:
  Error(int32_t number, std::u16string description)
      : number_(number), description_(std::move(description)) {}
  // Convenience for descriptions written in the code (UTF-8).
  Error(int32_t number, std::string_view description_utf8);

  int32_t number() const { return number_; }
  const std::u16string& description() const { return description_; }

 private:
  int32_t number_;
  std::u16string description_;
};

// An error after which the run cannot go on: the source text cannot be read,
// or the database has undone the import on its own.  It is not an Error, so
// no procedure's trap stops it: it unwinds past every one of them to the load
// handler, which shows it once and ends the run, keeping nothing of the book.
class FatalError {
 public:
  enum class Kind {
    kSourceUnreadable,  // reading h1.txt failed
    kImportUndone,      // the database rolled the import back by itself
    kWritesRefused,     // the database refuses every write (it is read-only)
  };
  FatalError(Kind kind, Error error) : kind_(kind), error_(std::move(error)) {}

  Kind kind() const { return kind_; }
  const Error& error() const { return error_; }

 private:
  Kind kind_;
  Error error_;
};

// The FatalError for a transaction that the database undid by itself after
// |cause| (null when no error of a statement led to it).  Statements run
// after it may have taken effect on their own: what is left of the book must
// be looked for before anyone says that nothing of it was stored.
FatalError ImportUndone(const Error* cause);

// The FatalError for a write that the database refused because the database
// itself cannot be written (a read-only file or folder): |cause| is the
// engine's error.  Every other write would be refused alike.
FatalError WritesRefused(const Error& cause);

// Errors the program raises itself.  The numbers follow the run-time error
// numbers that users of the host program's platform already know.
namespace errors {

inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kBadFileNumber = 52;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kInputPastEnd = 62;
inline constexpr int32_t kPathFileAccess = 75;
inline constexpr int32_t kInvalidArgument = 5;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kNotAllowedInContext = 3219;
inline constexpr int32_t kObjectClosed = 3704;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kNotUpdatable = 3251;
inline constexpr int32_t kObjectOpen = 3705;
inline constexpr int32_t kConnectionUnusable = 3709;
inline constexpr int32_t kDatabaseNotFound = 3024;
inline constexpr int32_t kDatabaseInUse = 3045;
inline constexpr int32_t kCannotOpenDatabase = 3051;
inline constexpr int32_t kStatementRefused = 3142;
inline constexpr int32_t kTableNotFound = 3078;
inline constexpr int32_t kFieldNotFound = 3127;
inline constexpr int32_t kFieldTooSmall = 3163;
inline constexpr int32_t kNotADatabase = 3343;

// "Overflow": a value does not fit the width it is stored in.
Error Overflow();
// "Bad file name or number": no source file is open under that number.
Error BadFileNumber();
// "File not found: <path>".
Error FileNotFound(std::string_view path);
// "Path/File access error: <path>: <reason>".
Error PathFileAccess(std::string_view path, std::string_view reason);
// "Input past end of file": an item was asked for after the end of the file.
Error InputPastEnd();
// "Type mismatch": a value cannot be read as the type asked for.
Error TypeMismatch();
// "Invalid use of Null": a Null value was read as a number.
Error InvalidUseOfNull();

// Errors of the database objects (connection, recordset, command).

// 3219: the operation does not fit the object's state, such as closing a
// recordset while an edit of its current row is pending.
Error NotAllowedInContext();
// 3704: the recordset is closed.
Error ObjectClosed();
// 3705: the recordset or connection is already open.
Error ObjectOpen();
// 3265: the recordset has no column of that name.
Error ItemNotFound();
// 3021: there is no current row (the query found none), or it is gone.
Error NoCurrentRecord();
// 3251: the rows of this query cannot be written back; |reason| says why.
Error NotUpdatable(std::u16string_view reason);
// 3709: no open connection stands behind the recordset or command.
Error ConnectionUnusable();

// Opening the database file at |path| failed: "Cannot open the database file
// <path>: <reason>".  |number| is one of kDatabaseNotFound (no such file),
// kDatabaseInUse (another program holds it), kNotADatabase (not a database
// this program can write, or damaged) and kCannotOpenDatabase (anything
// else: a folder, no permission, read-only).  An engine's own error number
// and message belong in |reason|.
Error DatabaseOpen(int32_t number, std::string_view path, std::string_view reason);
// 3142: a statement text refused before the engine ran any of it; |reason|
// says what was wrong.
Error StatementRefused(std::string_view reason);
// 3078: the database has no table |table|.
Error TableNotFound(std::u16string_view table);
// 3127: the table |table| has no column |column|.
Error FieldNotFound(std::u16string_view table, std::u16string_view column);
// 3163: a text of |length| characters for the column |column|, which holds
// at most |size|; refused before anything was stored.
Error FieldTooSmall(std::u16string_view column, size_t length, size_t size);

}  // namespace errors
}  // namespace addbook

#endif  // ADDBOOK_BASE_ERROR_H_
