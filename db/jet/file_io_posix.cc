// POSIX files: pread and pwrite at offsets, fsync for durability.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/file_io.h"

namespace addbook::jet {
namespace {

class PosixFile final : public RandomAccessFile {
 public:
  PosixFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { ::close(fd_); }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) Fail("cannot read its size");
    return static_cast<uint64_t>(st.st_size);
  }

  void Read(uint64_t offset, std::span<uint8_t> into) override {
    size_t done = 0;
    while (done < into.size()) {
      const ssize_t n =
          ::pread(fd_, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("read failed");
      if (n == 0) {
        throw errors::PathFileAccess(PathToUtf8(path_),
                                     "it ends before byte " + std::to_string(offset + into.size()));
      }
      done += static_cast<size_t>(n);
    }
  }

  void Write(uint64_t offset, std::span<const uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("write failed");
      done += static_cast<size_t>(n);
    }
  }

  void Sync() override {
    if (::fsync(fd_) != 0) Fail("flush to the disk failed");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    const int code = errno;
    throw errors::PathFileAccess(PathToUtf8(path_), what + ": " + ::strerror(code));
  }

  int fd_;
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> RandomAccessFile::Open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    throw errors::DatabaseOpen(
        code == ENOENT ? errors::kDatabaseNotFound : errors::kCannotOpenDatabase, PathToUtf8(path),
        ::strerror(code));
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw errors::DatabaseOpen(errors::kCannotOpenDatabase, PathToUtf8(path),
                               "it is not a regular file");
  }
  return std::make_unique<PosixFile>(fd, path);
}

}  // namespace addbook::jet
