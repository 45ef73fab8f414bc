// The native engine for Access files (Jet 4 and ACE): this program reads and
// writes the file itself (db/jet/database.h), with no driver.
#ifndef ADDBOOK_DB_JET_JET_ENGINE_H_
#define ADDBOOK_DB_JET_JET_ENGINE_H_

#include <chrono>
#include <filesystem>
#include <memory>

#include "db/engine.h"

namespace addbook::engine {

// Opens the Access file at |path| for reading and writing, removing the
// private copy that an import killed before its end left beside it (when no
// other program has the file open).  Session::Begin waits up to
// |busy_timeout| for another program that has the file open.  Throws
// errors::DatabaseOpen when the file is missing (kDatabaseNotFound), is
// read-only or its folder cannot be written (kCannotOpenDatabase), or is
// not an Access file this engine writes (kNotADatabase: Jet 3, encrypted,
// damaged, an index of Books, Titles or Hadeeths with a key it cannot write
// exactly).
std::unique_ptr<Session> OpenJetDatabase(const std::filesystem::path& path,
                                         std::chrono::milliseconds busy_timeout);

// The private copy of |host| that an import writes: "<host>.addbook-import".
std::filesystem::path ImportCopyPath(const std::filesystem::path& host);

// Where the host's previous file is kept at each commit:
// "<host>.before-addbook".
std::filesystem::path PreviousFilePath(const std::filesystem::path& host);

}  // namespace addbook::engine

#endif  // ADDBOOK_DB_JET_JET_ENGINE_H_
