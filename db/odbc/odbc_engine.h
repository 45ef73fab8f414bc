// The engine for Access (Jet and ACE) database files, through an ODBC
// driver: Microsoft's own on Windows, or any driver registered under the same
// names with unixODBC.
#ifndef ADDBOOK_DB_ODBC_ODBC_ENGINE_H_
#define ADDBOOK_DB_ODBC_ODBC_ENGINE_H_

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine.h"

namespace addbook::engine {

// The drivers that can write an Access file, in the order they are tried:
// the one Windows ships (32-bit only), then the one that comes with Office
// and its redistributable (one bitness per machine).
inline const std::vector<std::u16string> kAccessDrivers = {
    u"Microsoft Access Driver (*.mdb)", u"Microsoft Access Driver (*.mdb, *.accdb)"};

// The connection string for |path| through |driver|:
// "Driver={<driver>};DBQ=<path>;Exclusive=1".  The file is opened
// exclusively: the driver then takes no lock per page and keeps no lock
// file, so a whole book fits in one transaction.  A value holding ';', '{' or
// '}' is given between braces.
std::u16string AccessConnectionString(std::u16string_view driver,
                                      const std::filesystem::path& path);

// True when one of |drivers| is installed; false when the driver manager
// cannot tell.
bool AccessDriverInstalled(const std::vector<std::u16string>& drivers = kAccessDrivers);

// Opens the Access file at |path| for reading and writing through the first
// of |drivers| that is installed.  Throws errors::DatabaseOpen when none is
// (the description names those looked for), when the file is in use by
// another program, and when the driver refuses the file (its own text and
// native error number in the description).  |busy_timeout| is not used: the
// file is opened exclusively, so nothing waits for another program's lock.
std::unique_ptr<Session> OpenOdbcDatabase(
    const std::filesystem::path& path, std::chrono::milliseconds busy_timeout,
    const std::vector<std::u16string>& drivers = kAccessDrivers);

}  // namespace addbook::engine

#endif  // ADDBOOK_DB_ODBC_ODBC_ENGINE_H_
