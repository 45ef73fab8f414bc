// Application settings under Wine.
//
// The platform's "application settings" calls keep value <key> of
// <app>/<section> in the registry key
//   HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>
// Wine's server holds the registry in memory and saves HKEY_CURRENT_USER to
// <prefix>/user.reg (periodically and when the last Wine process ends), so a
// value the host program has just written may take a moment to reach the file.
// The file is read line by line; only the value being looked for is kept.
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "app/wine_path.h"
#include "app/wine_registry.h"

namespace addbook {
namespace {

constexpr std::u16string_view kSettingsRoot = u"Software\\VB and VBA Program Settings";

}  // namespace

std::u16string GetSetting(std::u16string_view app, std::u16string_view section,
                          std::u16string_view key, std::u16string_view def) {
  std::u16string key_path(kSettingsRoot);
  key_path.append(u"\\").append(app).append(u"\\").append(section);
  RegistryScanner scanner(key_path, key);
  // Wine keeps its registry in a regular file.  Anything else in its place (a
  // pipe, a device) could block the open or never end, so it counts as no
  // settings.
  const std::filesystem::path path = WinePrefix() / "user.reg";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::u16string(def);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::u16string(def);
  std::string line;
  while (std::getline(in, line)) {
    if (!scanner.Feed(line)) return std::u16string(def);
  }
  return scanner.value().value_or(std::u16string(def));
}
}  // namespace addbook
