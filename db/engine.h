// The database engine behind the connection, recordset and command: what they
// need from whatever actually reads and writes the host's database file.
//
// An engine runs one statement at a time inside the one write transaction of
// the import (Begin ... Commit), loads the whole result of a query at once,
// and can write an edited row of a query back to the very row it was read
// from.  The engine for a file is picked from the file's first bytes
// (OpenDatabaseFile: SQLite for a SQLite file; for an Access file the native
// engine, or Microsoft's Access driver through ODBC where it is installed on
// Windows), so the objects above never name an engine.
#ifndef ADDBOOK_DB_ENGINE_H_
#define ADDBOOK_DB_ENGINE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "db/variant.h"

namespace addbook::engine {

// Writes edits of a query's rows back to the rows they came from.
class RowWriter {
 public:
  virtual ~RowWriter() = default;

  // Stores values[i] in column columns[i] (indexes into the query's columns)
  // of the query's row |row|, at once, and of that row only.  Returns the
  // engine's warning when it stored the values and warned.  Throws Error
  // when the engine refuses the write or the row no longer exists; nothing is
  // stored then.
  virtual std::optional<Error> Write(size_t row, const std::vector<size_t>& columns,
                                     const std::vector<Variant>& values) = 0;
};

// The whole result of a query.
struct QueryResult {
  std::vector<std::u16string> columns;     // names as the query gives them
  std::vector<std::vector<Variant>> rows;  // each as long as |columns|
  // Null when the rows cannot be written back; |read_only_reason| then says
  // why, in a sentence.
  std::unique_ptr<RowWriter> writer;
  std::u16string read_only_reason;
};

// What a statement that ran did.
struct Executed {
  int64_t rows = 0;  // inserted, changed or deleted
  // Set when the engine ran the statement, kept its effect and warned about
  // it (a driver's SQL_SUCCESS_WITH_INFO): the statement is not undone.
  std::optional<Error> warning;
};

// One open database.
class Session {
 public:
  virtual ~Session() = default;

  // Runs |sql|, one statement, and loads every row it returns.  Throws Error
  // when the engine refuses the text or fails while running it.
  virtual QueryResult Query(std::u16string_view sql) = 0;

  // Runs |sql|, one statement; rows it returns are dropped unread.  Returns
  // the number of rows the statement inserted, changed or deleted, and the
  // engine's warning when it ran with one.  Throws Error when the engine
  // refuses the text or fails while running it; nothing of it is kept then.
  virtual Executed Execute(std::u16string_view sql) = 0;

  // Begins the write transaction that every later statement runs in, taking
  // the database's write lock at once, so that no other program can write
  // until Commit or Rollback.  Waits for another program's lock up to the
  // busy timeout given at open, and no longer on later statements.  Throws
  // Error when the lock cannot be had or the transaction cannot begin.
  virtual void Begin() = 0;
  // Makes everything done since Begin permanent, on the disk, before it
  // returns; returns the engine's warning when it committed with one.  When
  // the commit fails, everything since Begin is undone and Error is thrown.
  virtual std::optional<Error> Commit() = 0;
  // Undoes everything done since Begin; nothing when no transaction is open.
  // Throws Error when the engine fails to (the database file's own journal
  // then undoes the transaction when it is next opened).
  virtual void Rollback() = 0;
  // After Commit or Rollback each statement takes effect on its own.

  // Query, Execute and RowWriter::Write throw FatalError, not Error, when the
  // engine has undone the transaction on its own (some full-disk, I/O and
  // memory errors): what would run after it would take effect outside the
  // transaction.  They throw FatalError too when the database refuses a
  // write because it is read-only: every later write would be refused alike.
};

// What a file's first bytes say it holds.
enum class FileKind { kSqlite3, kJet, kAce, kEmpty, kUnknown };

// Tells the kind of a file from its first bytes (at least the first 20 are
// needed to tell them all apart).
FileKind KindOfFile(std::string_view first_bytes);

// Opens the database file at |path| for reading and writing, with
// |busy_timeout| as the longest wait for another program's lock.  Never
// creates a file.  Throws errors::DatabaseOpen, naming the path, when the
// file is missing, is not a database this program can write, or cannot be
// opened for writing.
std::unique_ptr<Session> OpenDatabaseFile(const std::filesystem::path& path,
                                          std::chrono::milliseconds busy_timeout);

// How a connection opens its database file: OpenDatabaseFile, or an engine
// chosen by the caller.
using SessionOpener = std::function<std::unique_ptr<Session>(const std::filesystem::path&,
                                                             std::chrono::milliseconds)>;

// Which engine writes an Access file.
enum class AccessEngine {
  kPlatform,  // Microsoft's Access driver on Windows when it is installed,
              // else the native engine (always, elsewhere)
  kNative,    // this program's own (db/jet)
  kOdbc,      // an ODBC driver registered under an Access driver's name
};

// Opens files as OpenDatabaseFile does, an Access file with |access|.
SessionOpener DatabaseOpener(AccessEngine access);

}  // namespace addbook::engine

#endif  // ADDBOOK_DB_ENGINE_H_
