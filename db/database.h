// The installer's one connection to the host's database, with the recordset
// that every query is read into and the command that runs every statement.
// Failures of these steps are reported here, in the forms the user knows,
// and the run goes on.
#ifndef ADDBOOK_DB_DATABASE_H_
#define ADDBOOK_DB_DATABASE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/display.h"
#include "base/error.h"
#include "db/recordset.h"

namespace addbook {

// The default path resolver: the Windows-style path with every backslash
// turned into '/'.
std::filesystem::path SlashedPath(std::u16string_view windows_path);

class Database {
 public:
  // |sep| is the host data folder, read when OpenDb runs; it must outlive
  // this object, as must |display|.
  Database(Display& display, const std::u16string& sep);

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Replaces how the data source "<Sep>\Hadeeth.mdb" is turned into a native
  // path.  Takes effect at the next OpenDb.
  void set_path_resolver(PathResolver resolver) { resolver_ = std::move(resolver); }
  // Replaces how the database file is opened (the engine for its kind unless
  // set).  Takes effect at the next OpenDb.
  void set_session_opener(engine::SessionOpener opener) { opener_ = std::move(opener); }
  // The longest wait for another program's lock; 60 seconds unless set.
  void set_busy_timeout_ms(int ms) { busy_timeout_ = std::chrono::milliseconds(ms); }

  // Opens "<Sep>\Hadeeth.mdb" for reading and writing, begins the import's
  // one transaction (waiting for another program's write lock up to the busy
  // timeout) and ties Rs and Cmd to it.  Sets |DbErrNo| to 0 first.  On
  // failure shows the error's number and description in a critical box
  // titled with |DbErrNo|, leaves the connection closed and returns false.
  bool OpenDb(int16_t& DbErrNo);

  // Closes |rs| when open and opens it on the query |sql|.  A failure becomes
  // the list line "SQL Select:<description>" and leaves |rs| closed, with
  // any pending edit dropped unwritten; the caller is not told.
  void SqlSelect(Recordset& rs, std::u16string_view sql);

  // Runs the statement |sql| through Cmd.  A failure becomes the list line
  // "dbCMD:<description>"; the caller is not told.  A statement that the
  // engine stored with a warning counts as run, and its warning becomes the
  // list line "dbCMD:Stored with a warning: <description>".
  void DbCmd(std::u16string_view sql);

  // Shows |error| as the database box: its number and description in a
  // critical box titled with |DbErrNo|.
  void DbErrorBox(int16_t DbErrNo, const Error& error);

  // Drops a pending edit of |rs| unwritten; ignores every error.
  static void SafeCancel(Recordset& rs);

  // Rows that the statements run by DbCmd inserted, changed or deleted.
  int64_t rows_changed() const { return rows_changed_; }
  // Fields written through Rs.
  int64_t fields_updated() const { return Rs.fields_written(); }

  // The one connection, recordset and command of the run.
  Connection Conn;
  Recordset Rs;
  Command Cmd;

 private:
  Display& display_;
  const std::u16string& sep_;
  PathResolver resolver_ = SlashedPath;
  engine::SessionOpener opener_ = engine::OpenDatabaseFile;
  std::chrono::milliseconds busy_timeout_ = std::chrono::seconds(60);
  int64_t rows_changed_ = 0;
};

}  // namespace addbook

#endif  // ADDBOOK_DB_DATABASE_H_
