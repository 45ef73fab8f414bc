// Fresh host databases for tests: a folder of its own under the temporary
// folder, holding Hadeeth.mdb made from db/schema.sql, a connection of the
// test's own to prepare the host, and a session of a database engine to read
// back what was stored, the way the installer reads: through the engine
// interface, so that a suite runs unchanged against any engine.
#ifndef ADDBOOK_DB_TEST_HOST_H_
#define ADDBOOK_DB_TEST_HOST_H_

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine.h"

struct sqlite3;

namespace addbook {

// An engine a suite runs against: SQLite's own, or ODBC through the test
// driver that scripts/build_test_odbc_driver registers under the Access
// driver's name (a SQLite driver: the host files stay SQLite files).
struct TestEngine {
  const char* name;
  engine::SessionOpener open;
  bool odbc;
};
const std::vector<TestEngine>& TestEngines();
// True when the test ODBC driver is registered: $ODBCSYSINI names a folder
// whose odbcinst.ini names it.  Tests of the ODBC engine skip without it.
bool TestOdbcDriverAvailable();
// Prints the engine's name for parameterised tests.
void PrintTo(const TestEngine& engine, std::ostream* os);

class TestHost {
 public:
  enum class Contents { kSchema, kNothing };

  // Makes the folder and, for kSchema, Hadeeth.mdb in it from the schema.
  // Aborts the test program when that fails.  Reads back through sessions
  // that |reader| opens.
  explicit TestHost(Contents contents = Contents::kSchema,
                    engine::SessionOpener reader = engine::OpenDatabaseFile);
  // Removes the folder and everything in it.
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  const std::string& folder() const { return folder_; }
  std::string file() const { return folder_ + "/Hadeeth.mdb"; }
  // The folder as the installer's settings would hold it.
  std::u16string sep() const;

  // Runs |sql| (any number of statements, SQLite's own text) on the host;
  // returns the error message, or an empty string on success.
  std::string Exec(std::string_view sql);

  // The rows of the query |sql|, read through the engine, each column as
  // text (UTF-8; nullopt for Null).  Fails the test on error.
  using Row = std::vector<std::optional<std::string>>;
  std::vector<Row> Rows(std::string_view sql);
  // The single value of a query that returns one row of one column.
  std::optional<std::string> Value(std::string_view sql);

  // Drops the test's own connection and session, e.g. to leave the file
  // alone.
  void Disconnect();

 private:
  sqlite3* db();

  std::string folder_;
  sqlite3* db_ = nullptr;
  engine::SessionOpener reader_;
  std::unique_ptr<engine::Session> session_;
};

}  // namespace addbook

#endif  // ADDBOOK_DB_TEST_HOST_H_
