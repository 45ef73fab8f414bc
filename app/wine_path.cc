// Wine paths.  Wine maps drive letters through <prefix>/dosdevices, whose
// entries ("c:", "d:", "unc") link to native folders, and matches names in
// any letter case where the native file system does not.
#include "app/wine_path.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace addbook {
namespace {

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of |dir| whose name equals |name| in any letter case; the first
// by byte order when several do.
std::optional<std::string> FindEntryAnyCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::nullopt;
  const std::u16string wanted = FoldAsciiCase(Utf8ToUtf16(name));
  std::optional<std::string> found;
  while (const dirent* entry = readdir(d)) {
    std::string candidate = entry->d_name;
    if (FoldAsciiCase(Utf8ToUtf16(candidate)) != wanted) continue;
    if (!found || candidate < *found) found = std::move(candidate);
  }
  closedir(d);
  return found;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::filesystem::path WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return StripTrailingSlashes(prefix);
  return StripTrailingSlashes(HomeDir()) + "/.wine";
}

std::filesystem::path NativePath(std::u16string_view windows_path,
                                 const std::filesystem::path& prefix_dir) {
  std::string path = Utf16ToUtf8(windows_path);
  const bool native = !path.empty() && path[0] == '/';
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string_view rest = path;
  const std::string dosdevices = StripTrailingSlashes(PathToUtf8(prefix_dir)) + "/dosdevices/";

  // Win32 namespace prefixes ("\\?\C:\...", "\\.\C:\...", "\\?\UNC\...").
  bool unc = false;
  if (!native && (rest.substr(0, 4) == "//?/" || rest.substr(0, 4) == "//./")) {
    rest.remove_prefix(4);
    if (rest.size() >= 4 && FoldAsciiCase(Utf8ToUtf16(rest.substr(0, 4))) == u"unc/") {
      rest.remove_prefix(4);
      unc = true;
    }
  } else if (!native && rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    unc = true;
  }

  std::string base;  // the folder the components hang off; "" is the current one
  if (unc) {
    base = dosdevices + "unc";
  } else if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == ':') {
    base = dosdevices + static_cast<char>(rest[0] | 0x20) + ":";
    rest.remove_prefix(2);
  } else if (native) {
    base = "/";
  } else if (!rest.empty() && rest[0] == '/') {
    base = dosdevices + "c:";  // rooted on the current drive: Wine starts programs on C:
  }

  std::vector<std::string> parts;
  while (!rest.empty()) {
    size_t end = rest.find('/');
    std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (base.empty()) {
        parts.emplace_back(part);  // a relative path may climb above the current folder
      }
      continue;
    }
    parts.emplace_back(part);
  }

  std::string out = base;
  bool found = true;  // every component so far exists
  for (const std::string& part : parts) {
    std::string name = part;
    if (found && part != ".." && !EntryExists(JoinPath(out, part))) {
      std::optional<std::string> match = FindEntryAnyCase(out, part);
      if (match) {
        name = std::move(*match);
      } else {
        found = false;
      }
    }
    out = JoinPath(out, name);
  }
  return std::filesystem::path(out);
}

}  // namespace addbook
