// The database engine behind the connection, recordset and command: what they
// need from whatever actually reads and writes the host's database file.
//
// An engine runs one statement at a time, each taking effect on its own
// (autocommit), loads the whole result of a query at once, and can write an
// edited row of a query back to the very row it was read from.  The engine
// for a file is picked from the file's first bytes (OpenDatabaseFile), so the
// objects above never name an engine.
#ifndef ADDBOOK_DB_ENGINE_H_
#define ADDBOOK_DB_ENGINE_H_

#include <chrono>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/variant.h"

namespace addbook::engine {

// Writes edits of a query's rows back to the rows they came from.
class RowWriter {
 public:
  virtual ~RowWriter() = default;

  // Stores values[i] in column columns[i] (indexes into the query's columns)
  // of the query's row |row|, at once, and of that row only.  Throws Error
  // when the engine refuses the write or the row no longer exists; nothing is
  // stored then.
  virtual void Write(size_t row, const std::vector<size_t>& columns,
                     const std::vector<Variant>& values) = 0;
};

// The whole result of a query.
struct QueryResult {
  std::vector<std::u16string> columns;     // names as the query gives them
  std::vector<std::vector<Variant>> rows;  // each as long as |columns|
  // Null when the rows cannot be written back: the query's columns do not
  // all come straight from the rows of one table.
  std::unique_ptr<RowWriter> writer;
};

// One open database.
class Session {
 public:
  virtual ~Session() = default;

  // Runs |sql|, one statement, and loads every row it returns.  Throws Error
  // when the engine refuses the text or fails while running it.
  virtual QueryResult Query(std::u16string_view sql) = 0;

  // Runs |sql|, one statement; rows it returns are dropped unread.  Returns
  // the number of rows the statement inserted, changed or deleted.  Throws
  // Error when the engine refuses the text or fails while running it.
  virtual int64_t Execute(std::u16string_view sql) = 0;
};

// What a file's first bytes say it holds.
enum class FileKind { kSqlite3, kJet, kAce, kEmpty, kUnknown };

// Tells the kind of a file from its first bytes (at least the first 20 are
// needed to tell them all apart).
FileKind KindOfFile(std::string_view first_bytes);

// Opens the database file at |path| (a native path) for reading and writing,
// with |busy_timeout| as the longest wait for another program's lock.  Never
// creates a file.  Throws Error, naming the path, when the file is missing,
// is not a database this program can write, or cannot be opened for writing.
std::unique_ptr<Session> OpenDatabaseFile(const std::string& path,
                                          std::chrono::milliseconds busy_timeout);

}  // namespace addbook::engine

#endif  // ADDBOOK_DB_ENGINE_H_
