// Picking the engine for a database file.
//
// The file's kind is told from its first bytes before any engine touches it,
// so that a file of another kind is reported for what it is and is never
// written to: a SQLite 3 file begins "SQLite format 3" and a NUL; an Access
// file carries "Standard Jet DB" (Jet 3/4) or "Standard ACE DB" (ACE) from
// byte 4.  A SQLite 3 file goes to the SQLite engine.  An Access file goes
// to the native engine, except on Windows when Microsoft's Access driver is
// installed: there the driver, Access's own, writes it through ODBC.  A
// caller may name the engine for Access files instead (AccessEngine).
//
// Failures carry the numbers of the error catalogue (errors::DatabaseOpen).
#include "db/engine.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/host_file.h"
#include "db/jet/jet_engine.h"
#include "db/odbc/odbc_engine.h"
#include "db/sqlite/sqlite_engine.h"

namespace addbook::engine {
namespace {

constexpr std::string_view kSqliteMagic("SQLite format 3\0", 16);
constexpr std::string_view kJetMagic = "Standard Jet DB";
constexpr std::string_view kAceMagic = "Standard ACE DB";
constexpr size_t kAccessMagicOffset = 4;

Error OpenFailure(int32_t number, const std::filesystem::path& path, std::string_view reason) {
  return errors::DatabaseOpen(number, PathToUtf8(path), reason);
}

}  // namespace

FileKind KindOfFile(std::string_view first_bytes) {
  if (first_bytes.empty()) return FileKind::kEmpty;
  if (first_bytes.starts_with(kSqliteMagic)) return FileKind::kSqlite3;
  if (first_bytes.size() > kAccessMagicOffset) {
    std::string_view tail = first_bytes.substr(kAccessMagicOffset);
    if (tail.starts_with(kJetMagic)) return FileKind::kJet;
    if (tail.starts_with(kAceMagic)) return FileKind::kAce;
  }
  return FileKind::kUnknown;
}

namespace {

std::unique_ptr<Session> OpenFile(const std::filesystem::path& path,
                                  std::chrono::milliseconds busy_timeout, AccessEngine access) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    throw OpenFailure(status.type() == std::filesystem::file_type::not_found
                          ? errors::kDatabaseNotFound
                          : errors::kCannotOpenDatabase,
                      path, ec ? ec.message() : "no such file");
  }
  if (ec) throw OpenFailure(errors::kCannotOpenDatabase, path, ec.message());
  if (std::filesystem::is_directory(status)) {
    throw OpenFailure(errors::kCannotOpenDatabase, path, "it is a folder, not a file");
  }

  std::ifstream file(path, std::ios::binary);
  if (!file) throw OpenFailure(errors::kCannotOpenDatabase, path, "the file cannot be read");
  char header[32] = {};
  file.read(header, sizeof header);
  std::string_view first_bytes(header, static_cast<size_t>(file.gcount()));
  file.close();

  switch (KindOfFile(first_bytes)) {
    case FileKind::kSqlite3:
      return OpenSqliteDatabase(path, busy_timeout);
    case FileKind::kJet:
    case FileKind::kAce:
      if (access == AccessEngine::kPlatform) {
        access = jet::AccessDriverPreferred() && AccessDriverInstalled() ? AccessEngine::kOdbc
                                                                         : AccessEngine::kNative;
      }
      return access == AccessEngine::kOdbc ? OpenOdbcDatabase(path, busy_timeout)
                                           : OpenJetDatabase(path, busy_timeout);
    case FileKind::kEmpty:
      throw OpenFailure(errors::kNotADatabase, path, "the file is empty, not a database");
    case FileKind::kUnknown:
      break;
  }
  throw OpenFailure(errors::kNotADatabase, path,
                    "it is not a database (it begins with neither a SQLite 3 nor an Access "
                    "header)");
}

}  // namespace

std::unique_ptr<Session> OpenDatabaseFile(const std::filesystem::path& path,
                                          std::chrono::milliseconds busy_timeout) {
  return OpenFile(path, busy_timeout, AccessEngine::kPlatform);
}

SessionOpener DatabaseOpener(AccessEngine access) {
  return [access](const std::filesystem::path& path, std::chrono::milliseconds busy_timeout) {
    return OpenFile(path, busy_timeout, access);
  };
}

}  // namespace addbook::engine
