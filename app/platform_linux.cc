// Linux, where the host program runs under Wine: its paths are mapped onto
// the Wine prefix's drives, and the executable's folder comes from the
// /proc/self/exe link, which names the file even when it was started
// through a symbolic link or from a relative path; a file deleted since the
// start gets " (deleted)" appended to its name, which leaves the folder as
// it was.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "app/platform.h"
#include "app/wine_path.h"
#include "base/error.h"

namespace addbook {

void PrepareProcess() {
  // Writes to a closed pipe then fail with EPIPE, and the console display
  // stops writing there.
  std::signal(SIGPIPE, SIG_IGN);
}

std::filesystem::path ExecutableDir() {
  constexpr const char* kSelf = "/proc/self/exe";
  std::string target(256, '\0');
  for (;;) {
    ssize_t n = readlink(kSelf, target.data(), target.size());
    if (n < 0) throw errors::PathFileAccess(kSelf, std::strerror(errno));
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      break;
    }
    target.resize(target.size() * 2);  // may have been cut short: try a larger buffer
  }
  size_t slash = target.rfind('/');
  if (slash == std::string::npos) throw errors::PathFileAccess(kSelf, "not an absolute path");
  if (slash == 0) return "/";
  target.resize(slash);
  return target;
}

std::filesystem::path HostFilePath(std::u16string_view windows_path) {
  return NativePath(windows_path, WinePrefix());
}

}  // namespace addbook
