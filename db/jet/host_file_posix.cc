// The host file on POSIX systems.
//
// Locks are open-file-description locks (F_OFD_SETLK) where the system has
// them: they belong to the open file, not to the process, so that the page
// store opening and closing the same file in this process (to read it
// outside the import) cannot let them go, as closing any descriptor lets a
// process's classic fcntl locks go.  Both kinds conflict with each other, so
// either sees the locks that Wine takes for Access.
//
// The lock file may be removed by the program that made it the moment it lets
// go, so a lock taken on it counts only when the name still leads to the file
// locked; otherwise the file is opened again.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/host_file.h"

namespace addbook::jet {
namespace {

std::string Reason(int error) { return std::strerror(error); }

Error FileError(const std::filesystem::path& path, int error) {
  return errors::PathFileAccess(PathToUtf8(path), Reason(error));
}

// A descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Takes a write lock on the whole of |fd|: kBusy when another process holds
// a lock on any part of it, kFailed (errno set) when the system refuses.
enum class Lock { kTaken, kBusy, kFailed };
Lock LockWhole(int fd) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return Lock::kTaken;
  // A kernel without them refuses the command itself.
  if (errno != EINVAL) return errno == EAGAIN || errno == EACCES ? Lock::kBusy : Lock::kFailed;
#endif
  if (fcntl(fd, F_SETLK, &lock) == 0) return Lock::kTaken;
  return errno == EAGAIN || errno == EACCES ? Lock::kBusy : Lock::kFailed;
}

// Writes all of |bytes| to |fd|; false with errno set on failure.
bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Copies the whole of |from| into the new file |to|, with |from|'s
// permissions and (where allowed) owner, and flushes it; 0 or the errno of
// the failure, after which |to| is removed.
int CopyFile(int from, const std::filesystem::path& to) {
  struct stat st = {};
  if (fstat(from, &st) != 0) return errno;
  if (::unlink(to.c_str()) != 0 && errno != ENOENT) return errno;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
  if (!out) return errno;
  auto failed = [&](int error) {
    out.Reset();
    ::unlink(to.c_str());
    return error;
  };
  // The file creation mask may have narrowed the mode; a file of another
  // owner keeps its owner only when this process may give it.
  if (fchmod(out.get(), st.st_mode & 07777) != 0) return failed(errno);
  if (st.st_uid != geteuid() || st.st_gid != getegid()) {
    [[maybe_unused]] int ignored = fchown(out.get(), st.st_uid, st.st_gid);
  }
  std::vector<char> buffer(1 << 20);
  for (off_t offset = 0;;) {
    ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failed(errno);
    if (got == 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(got))) return failed(errno);
    offset += got;
  }
  if (fsync(out.get()) != 0) return failed(errno);
  if (::close(out.Release()) != 0) {  // closed by hand, to see its error
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

class PosixHeldHost : public HeldHost {
 public:
  PosixHeldHost(std::filesystem::path host, std::filesystem::path lock_file, Fd host_fd, Fd lock_fd,
                bool made_lock_file)
      : host_(std::move(host)),
        lock_file_(std::move(lock_file)),
        host_fd_(std::move(host_fd)),
        lock_fd_(std::move(lock_fd)),
        made_lock_file_(made_lock_file) {}

  ~PosixHeldHost() override { Release(); }

  void CopyTo(const std::filesystem::path& copy) override {
    if (int error = CopyFile(host_fd_.get(), copy)) throw FileError(copy, error);
  }

  std::optional<std::string> Replace(const std::filesystem::path& copy,
                                     const std::filesystem::path& before) override {
    {
      Fd written(::open(copy.c_str(), O_RDONLY | O_CLOEXEC));
      if (!written || fsync(written.get()) != 0) throw FileError(copy, errno);
    }
    std::optional<std::string> warning;
    // A second name of the old file costs nothing; a copy where the file
    // system has no such names.
    if (::unlink(before.c_str()) != 0 && errno != ENOENT) {
      warning = "The previous file could not be kept as " + PathToUtf8(before) + " (" +
                Reason(errno) + ").";
    } else if (::link(host_.c_str(), before.c_str()) != 0) {
      if (int error = CopyFile(host_fd_.get(), before)) {
        warning = "The previous file could not be kept as " + PathToUtf8(before) + " (" +
                  Reason(error) + ").";
      }
    }
    if (::rename(copy.c_str(), host_.c_str()) != 0) {
      const int error = errno;
      throw errors::PathFileAccess(
          PathToUtf8(host_),
          "it could not be replaced by " + PathToUtf8(copy) + " (" + Reason(error) + ")");
    }
    Fd folder(::open(host_.parent_path().empty() ? "." : host_.parent_path().c_str(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || fsync(folder.get()) != 0) {
      warning = warning.value_or("") + (warning ? " " : "") +
                "The folder of the database file was not flushed to the disk (" + Reason(errno) +
                "): a power cut now could still undo the import.";
    }
    Release();
    return warning;
  }

 private:
  void Release() {
    // Removed while still locked, so that no program takes it as free.
    if (made_lock_file_ && lock_fd_) ::unlink(lock_file_.c_str());
    host_fd_.Reset();
    lock_fd_.Reset();
  }

  std::filesystem::path host_;
  std::filesystem::path lock_file_;
  Fd host_fd_;
  Fd lock_fd_;
  bool made_lock_file_;
};

// One attempt at holding the host; null when it is in use.
std::unique_ptr<HeldHost> TryHold(const std::filesystem::path& host,
                                  const std::filesystem::path& lock_file) {
  const std::string shown = PathToUtf8(host);
  Fd lock_fd;
  bool made = false;
  for (;;) {
    lock_fd = Fd(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    made = static_cast<bool>(lock_fd);
    if (!made && errno == EEXIST) lock_fd = Fd(::open(lock_file.c_str(), O_RDWR | O_CLOEXEC));
    if (!lock_fd) {
      if (errno == ENOENT) continue;  // removed since: make it again
      throw errors::DatabaseOpen(errors::kCannotOpenDatabase, shown,
                                 "its lock file " + PathToUtf8(lock_file) +
                                     " cannot be made or opened for writing (" + Reason(errno) +
                                     "); the folder must be writable");
    }
    const Lock lock = LockWhole(lock_fd.get());
    if (lock == Lock::kBusy) return nullptr;
    if (lock == Lock::kFailed) {
      const int error = errno;
      if (made) ::unlink(lock_file.c_str());
      throw errors::DatabaseOpen(
          errors::kCannotOpenDatabase, shown,
          "its lock file " + PathToUtf8(lock_file) + " cannot be locked (" + Reason(error) + ")");
    }
    struct stat locked = {}, named = {};
    if (fstat(lock_fd.get(), &locked) == 0 && ::stat(lock_file.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      break;
    }
  }
  auto let_go = [&] {
    if (made) ::unlink(lock_file.c_str());
  };

  Fd host_fd(::open(host.c_str(), O_RDWR | O_CLOEXEC));
  if (!host_fd) {
    const int error = errno;
    let_go();
    const bool read_only = error == EACCES || error == EROFS || error == EPERM;
    throw errors::DatabaseOpen(
        error == ENOENT ? errors::kDatabaseNotFound : errors::kCannotOpenDatabase, shown,
        (read_only ? "the file is read-only (" : "the file cannot be opened for writing (") +
            Reason(error) + ")");
  }
  const Lock lock = LockWhole(host_fd.get());
  if (lock != Lock::kTaken) {
    const int error = errno;
    let_go();
    if (lock == Lock::kBusy) return nullptr;
    throw errors::DatabaseOpen(errors::kCannotOpenDatabase, shown,
                               "the file cannot be locked (" + Reason(error) + ")");
  }
  return std::make_unique<PosixHeldHost>(host, lock_file, std::move(host_fd), std::move(lock_fd),
                                         made);
}

}  // namespace

std::unique_ptr<HeldHost> HoldHost(const std::filesystem::path& host,
                                   const std::filesystem::path& lock_file,
                                   std::chrono::milliseconds wait) {
  constexpr std::chrono::milliseconds kRetry(50);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (std::unique_ptr<HeldHost> held = TryHold(host, lock_file)) return held;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::milliseconds(0)) return nullptr;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kRetry));
  }
}

bool AccessDriverPreferred() { return false; }

}  // namespace addbook::jet
