// A file read and written at byte offsets, flushed to the disk on demand:
// the one piece of the page store that differs between platforms
// (file_io_posix.cc, file_io_win32.cc).
#ifndef ADDBOOK_DB_JET_FILE_IO_H_
#define ADDBOOK_DB_JET_FILE_IO_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace addbook::jet {

class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  // Opens an existing file for reading and writing.  Throws
  // errors::DatabaseOpen: kDatabaseNotFound when there is none,
  // kCannotOpenDatabase when it cannot be opened so (with the system's
  // reason).
  static std::unique_ptr<RandomAccessFile> Open(const std::filesystem::path& path);

  virtual uint64_t Size() = 0;
  // Reads exactly |into|.size() bytes at |offset|; throws Error
  // (errors::PathFileAccess) on failure or a short read.
  virtual void Read(uint64_t offset, std::span<uint8_t> into) = 0;
  // Writes |bytes| at |offset|, growing the file when needed; throws Error
  // (errors::PathFileAccess) on failure.
  virtual void Write(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  // Flushes what was written to the disk; throws as Write.
  virtual void Sync() = 0;
};

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_FILE_IO_H_
