// The executable's folder on Linux, from the /proc/self/exe link.  The link
// names the file even when it was started through a symbolic link or from
// a relative path; a file deleted since the start gets " (deleted)" appended
// to its name, which leaves the folder as it was.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/exe_path.h"
#include "base/error.h"

namespace addbook {

std::string ExecutableDir() {
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

}  // namespace addbook
