// The settings file parser and the path mapping over arbitrary text: the
// text is read as user.reg, and the value found (or, when none is, the text
// itself) is mapped onto a Wine prefix.  A path on a drive, or a network
// path, must map under that drive's or the network's folder of the prefix,
// however many ".." it holds.  (A path that begins with '/' is native and is
// taken as it is.)
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/wine_path.h"
#include "app/wine_registry.h"
#include "base/text.h"
#include "fuzz/fuzz_util.h"

using namespace addbook;
namespace fs = std::filesystem;

namespace {

// A prefix laid out as Wine lays it out, with the host's folder on drive C:.
std::string MakePrefix() {
  std::string prefix = fuzz::ScratchFolder("settings");
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(prefix + "/drive_c/Varnel/Data");
  fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
  return prefix;
}

bool IsDriveLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

void CheckMapping(std::u16string_view windows_path, const std::string& prefix) {
  const std::string native = NativePath(windows_path, prefix).string();
  const std::string dosdevices = prefix + "/dosdevices/";
  std::u16string slashed(windows_path);
  for (char16_t& c : slashed) {
    if (c == u'\\') c = u'/';
  }
  if (windows_path.starts_with(u'/')) return;  // a native path, taken as it is
  if (slashed.size() >= 2 && IsDriveLetter(slashed[0]) && slashed[1] == u':') {
    const char drive = static_cast<char>(slashed[0] | 0x20);
    fuzz::Check(native.starts_with(dosdevices + drive + ":"), "a drive path left its drive");
  } else if (slashed.starts_with(u"//") && !slashed.starts_with(u"//?/") &&
             !slashed.starts_with(u"//./")) {
    fuzz::Check(native.starts_with(dosdevices + "unc"), "a network path left the network");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string prefix = MakePrefix();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<std::u16string> value = FindRegistryString(
      text, u"Software\\VB and VBA Program Settings\\Tessivar\\Settings", u"Path");
  if (value) {
    CheckMapping(*value, prefix);
  } else {
    CheckMapping(Utf8ToUtf16(text.substr(0, 512)), prefix);
  }
  return 0;
}
