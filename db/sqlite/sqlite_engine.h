// The engine for SQLite 3 database files.
#ifndef ADDBOOK_DB_SQLITE_SQLITE_ENGINE_H_
#define ADDBOOK_DB_SQLITE_SQLITE_ENGINE_H_

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "db/engine.h"

namespace addbook::engine {

// Opens the SQLite 3 database at |path| for reading and
// writing; waits up to |busy_timeout| for another program's lock, here and
// in Session::Begin.  Never creates a file and leaves its journal mode alone;
// the commit is flushed to the disk before it returns (synchronous FULL).
// Throws errors::DatabaseOpen (SQLite's code and message in the description)
// when the file cannot be opened, can only be opened read-only, is damaged,
// or stays locked past the timeout.
std::unique_ptr<Session> OpenSqliteDatabase(const std::filesystem::path& path,
                                            std::chrono::milliseconds busy_timeout);

}  // namespace addbook::engine

#endif  // ADDBOOK_DB_SQLITE_SQLITE_ENGINE_H_
