// The host's Access file as the native engine holds it through an import:
// marked as in use, so that neither the host program nor another installer
// opens it meanwhile; copied to the private file the import writes; and
// replaced by that copy at the commit, in one rename.  One implementation
// per platform (host_file_posix.cc, host_file_win32.cc).
//
// In use.  On POSIX systems a program that has an Access file open holds
// fcntl locks: Access (under Wine, whose Windows locks are fcntl locks) on
// byte ranges of its lock file "<name>.ldb" ("<name>.laccdb" for ACE) and of
// the file itself.  The file counts as in use when another process holds a
// lock on either; this program then takes a write lock on the whole of both,
// so that every such program sees the file in use in turn.  On Windows a
// program that has the file open keeps it from being opened with no sharing,
// and the file opened so keeps every other program out.
#ifndef ADDBOOK_DB_JET_HOST_FILE_H_
#define ADDBOOK_DB_JET_HOST_FILE_H_

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace addbook::jet {

// The host file, held as in use by this program until the object goes.
class HeldHost {
 public:
  virtual ~HeldHost() = default;

  // Copies the host's bytes into a new file |copy| (replacing one left
  // there), with the host's permissions, flushed to the disk.  Throws Error
  // (errors::PathFileAccess, naming |copy| and the system's reason) on
  // failure, and leaves no copy behind then.
  virtual void CopyTo(const std::filesystem::path& copy) = 0;

  // Makes |copy| the host: flushes it to the disk, keeps the host's current
  // file under the name |before| (replacing a file of that name: a second
  // name of the same file where the file system allows it, else a copy), then
  // renames |copy| over the host, so that at every instant the host's name
  // holds the old file or the new one, whole, and flushes the folder.  The
  // host is no longer held after it.  Returns a warning (a sentence) when
  // the rename is done and something around it was not: |before| not kept,
  // the folder not flushed.  Throws Error (errors::PathFileAccess) when the
  // host could not be replaced; the host is then as it was.
  virtual std::optional<std::string> Replace(const std::filesystem::path& copy,
                                             const std::filesystem::path& before) = 0;
};

// Holds the host file |host| as in use, waiting up to |wait| while another
// program has it open.  |lock_file| is Access's lock file beside it
// (POSIX only; made when missing and removed again when this program made
// it).  Returns null when the file is still in use after the wait.  Throws
// Error when it cannot be held for another reason: errors::DatabaseOpen
// (kCannotOpenDatabase) when the file cannot be opened for writing ("the
// file is read-only") or its lock file cannot be made (its folder cannot
// be written).
std::unique_ptr<HeldHost> HoldHost(const std::filesystem::path& host,
                                   const std::filesystem::path& lock_file,
                                   std::chrono::milliseconds wait);

// True where Microsoft's Access driver, when installed, writes Access files
// in place of the native engine: on Windows, where it is Access's own.
bool AccessDriverPreferred();

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_HOST_FILE_H_
