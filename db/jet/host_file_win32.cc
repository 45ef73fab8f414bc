// The host file on Windows.
//
// The host is held by opening it with no sharing: the open fails while any
// other program has the file open, and once it succeeds no other program can
// open it.  The lock file is left to Access.  The file is let go just before
// it is replaced, since a file open in this program can be neither given a
// second name nor replaced; MoveFileExW then replaces it in one step.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/host_file.h"
#include "db/jet/win32_error.h"

namespace addbook::jet {
namespace {

// The system's words for |error|, with its number.
std::string Reason(DWORD error) {
  return SystemWords(error) + " (system error " + std::to_string(error) + ")";
}

Error FileError(const std::filesystem::path& path, DWORD error) {
  return errors::PathFileAccess(PathToUtf8(path), Reason(error));
}

// A handle closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  // Closes the handle; false when the system reports a failure.
  bool Close() {
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// Copies the whole of |from| into the new file |to| and flushes it; 0 or the
// system's error, after which |to| is removed.
DWORD CopyInto(HANDLE from, const std::filesystem::path& to) {
  if (!DeleteFileW(to.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return GetLastError();
  Handle out(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
  if (!out) return GetLastError();
  auto failed = [&] {
    const DWORD error = GetLastError();
    out.Reset();
    DeleteFileW(to.c_str());
    return error;
  };
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) return failed();
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return failed();
    }
    if (got == 0) break;
    for (DWORD done = 0; done < got;) {
      DWORD written = 0;
      if (!WriteFile(out.get(), buffer.data() + done, got - done, &written, nullptr)) {
        return failed();
      }
      done += written;
    }
  }
  if (!FlushFileBuffers(out.get())) return failed();
  if (!out.Close()) {
    const DWORD error = GetLastError();
    DeleteFileW(to.c_str());
    return error;
  }
  return 0;
}

class Win32HeldHost : public HeldHost {
 public:
  Win32HeldHost(std::filesystem::path host, HANDLE file) : host_(std::move(host)), file_(file) {}

  void CopyTo(const std::filesystem::path& copy) override {
    if (DWORD error = CopyInto(file_.get(), copy)) throw FileError(copy, error);
  }

  std::optional<std::string> Replace(const std::filesystem::path& copy,
                                     const std::filesystem::path& before) override {
    {
      Handle written(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!written || !FlushFileBuffers(written.get())) throw FileError(copy, GetLastError());
    }
    file_.Reset();
    // A second name of the old file costs nothing; a copy where the file
    // system has no such names.
    DWORD kept = 0;
    if (!DeleteFileW(before.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
      kept = GetLastError();
    } else if (!CreateHardLinkW(before.c_str(), host_.c_str(), nullptr) &&
               !CopyFileW(host_.c_str(), before.c_str(), FALSE)) {
      kept = GetLastError();
    }
    std::optional<std::string> warning;
    if (kept != 0) {
      warning = "The previous file could not be kept as " + PathToUtf8(before) + " (" +
                Reason(kept) + ").";
    }
    if (!MoveFileExW(copy.c_str(), host_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = GetLastError();
      throw errors::PathFileAccess(
          PathToUtf8(host_),
          "it could not be replaced by " + PathToUtf8(copy) + " (" + Reason(error) + ")");
    }
    return warning;
  }

 private:
  std::filesystem::path host_;
  Handle file_;
};

}  // namespace

std::unique_ptr<HeldHost> HoldHost(const std::filesystem::path& host,
                                   const std::filesystem::path& /*lock_file*/,
                                   std::chrono::milliseconds wait) {
  const std::string shown = PathToUtf8(host);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    HANDLE file = CreateFileW(host.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return std::make_unique<Win32HeldHost>(host, file);
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      throw errors::DatabaseOpen(errors::kDatabaseNotFound, shown, "no such file");
    }
    if (error == ERROR_ACCESS_DENIED) {
      const DWORD attributes = GetFileAttributesW(host.c_str());
      const bool read_only =
          attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
      throw errors::DatabaseOpen(
          errors::kCannotOpenDatabase, shown,
          (read_only ? "the file is read-only (" : "the file cannot be opened for writing (") +
              Reason(error) + ")");
    }
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      throw errors::DatabaseOpen(errors::kCannotOpenDatabase, shown,
                                 "the file cannot be opened for writing (" + Reason(error) + ")");
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return nullptr;
    Sleep(static_cast<DWORD>(std::min<int64_t>(left.count(), 50)));
  }
}

bool AccessDriverPreferred() { return true; }

}  // namespace addbook::jet
