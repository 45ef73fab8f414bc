// Windows files: ReadFile and WriteFile at offsets, FlushFileBuffers for
// durability; the path passed in its own wide form.
#include <windows.h>

#include <string>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/file_io.h"
#include "db/jet/win32_error.h"

namespace addbook::jet {

std::string SystemWords(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", text ? n : 0);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  return Utf16ToUtf8(WideToUtf16(message));
}

namespace {

std::string SystemMessage(DWORD code) {
  std::string words = SystemWords(code);
  return words.empty() ? "system error " + std::to_string(code) : words;
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

class WindowsFile final : public RandomAccessFile {
 public:
  WindowsFile(HANDLE handle, std::filesystem::path path)
      : handle_(handle), path_(std::move(path)) {}
  ~WindowsFile() override { CloseHandle(handle_); }

  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) Fail("cannot read its size");
    return static_cast<uint64_t>(size.QuadPart);
  }

  void Read(uint64_t offset, std::span<uint8_t> into) override {
    size_t done = 0;
    while (done < into.size()) {
      OVERLAPPED at = At(offset + done);
      DWORD n = 0;
      if (!ReadFile(handle_, into.data() + done, static_cast<DWORD>(into.size() - done), &n, &at) &&
          GetLastError() != ERROR_HANDLE_EOF) {
        Fail("read failed");
      }
      if (n == 0) {
        throw errors::PathFileAccess(PathToUtf8(path_),
                                     "it ends before byte " + std::to_string(offset + into.size()));
      }
      done += n;
    }
  }

  void Write(uint64_t offset, std::span<const uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      OVERLAPPED at = At(offset + done);
      DWORD n = 0;
      if (!WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                     &at) ||
          n == 0) {
        Fail("write failed");
      }
      done += n;
    }
  }

  void Sync() override {
    if (!FlushFileBuffers(handle_)) Fail("flush to the disk failed");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    const DWORD code = GetLastError();
    throw errors::PathFileAccess(PathToUtf8(path_), what + ": " + SystemMessage(code));
  }

  HANDLE handle_;
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> RandomAccessFile::Open(const std::filesystem::path& path) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    throw errors::DatabaseOpen(missing ? errors::kDatabaseNotFound : errors::kCannotOpenDatabase,
                               PathToUtf8(path), SystemMessage(code));
  }
  return std::make_unique<WindowsFile>(handle, path);
}

}  // namespace addbook::jet
