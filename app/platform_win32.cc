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
  return std::filesystem::path(Utf16ToWide(windows_path));
}

}  // namespace addbook
