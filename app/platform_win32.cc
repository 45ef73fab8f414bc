// Windows, where the host program runs natively: its paths are the system's
// own, and the executable's folder comes from GetModuleFileNameW, in full
// (wide, so that Arabic folder names survive).
#include <windows.h>

#include <string>

#include "app/platform.h"
#include "base/error.h"
#include "base/text.h"

namespace addbook {

void PrepareProcess() {
  // Writes to a closed pipe fail on Windows without ending the process; the
  // console display then stops writing there.  Failing drives and missing
  // media are reported to the program, never in a system dialogue.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::filesystem::path ExecutableDir() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) {
      throw errors::PathFileAccess("the executable's path", "GetModuleFileNameW failed, error " +
                                                                std::to_string(GetLastError()));
    }
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    name.resize(name.size() * 2);  // cut short: try a larger buffer
  }
  return std::filesystem::path(name).parent_path();
}

std::filesystem::path HostFilePath(std::u16string_view windows_path) {
  std::filesystem::path path(Utf16ToWide(windows_path));
  // The ODBC connection string gives the file's path as a value, which a
  // ';', '{' or '}' makes the engine put between braces, and not every driver
  // reads braces as ODBC defines them.  Such a folder is named by its short
  // (8.3) name instead, when its volume keeps one.
  if (windows_path.find_first_of(u";{}") == std::u16string_view::npos) return path;
  const std::wstring folder = path.parent_path().wstring();
  std::wstring short_folder(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetShortPathNameW(folder.c_str(), short_folder.data(),
                                static_cast<DWORD>(short_folder.size()));
    if (n == 0) return path;  // no such folder: the open says so
    if (n < short_folder.size()) {
      short_folder.resize(n);
      break;
    }
    short_folder.resize(n);  // |n| counts the terminating NUL here
  }
  // No short name, or one that keeps a '{' or '}' (both allowed in 8.3
  // names): the name as given, which the engine puts between braces.
  if (short_folder.find_first_of(L";{}") != std::wstring::npos) return path;
  return std::filesystem::path(short_folder) / path.filename();
}

}  // namespace addbook
