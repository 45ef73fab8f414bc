#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "app/wine_path.h"
#include "app/wine_registry.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kKey = u"Software\\VB and VBA Program Settings\\Tessivar\\Settings";
constexpr std::u16string_view kArabicPath =
    u"C:\\Varnel\\Data Files\\\u0645\u0643\u062A\u0628\u0629";
constexpr std::string_view kKeyLine =
    "[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Settings] 1733480000\n";
constexpr const char* kArabicFolder = "\xD9\x85\xD9\x83\xD8\xAA\xD8\xA8\xD8\xA9";

// A file that Wine 8.0 wrote for: reg add "HKCU\Software\VB and VBA Program
// Settings\Tessivar\Settings" /v Path /d "C:\Varnel\Data Files\<Arabic>",
// with a value "Path" in the sibling section "Window" too.
std::string WineFile() {
  std::ifstream in(ADDBOOK_TESTDATA_DIR "/wine/user.reg", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Values under the settings key, as the lines in the file read.
TEST(RegistryTest, Values) {
  const std::pair<std::string, std::optional<std::u16string>> rows[] = {
      {"\"PATH\" = \"a\\\\b \\\"c\\\" \\t\"", u"a\\b \"c\" \t"},
      {"\"Path\"=\"\\x645\\x0645a\\x645g\\x64530\\x\"", u"\u0645\u0645a\u0645g\u64530x"},
      {"\"Path\"=str(2):\"%HOME%\"", u"%HOME%"},
      {"\"Path\"=\"a\"\r\n  \"Path\"=\"b\"", u"b"},  // a later value replaces an earlier one
      {"\"Path\"=\"a\"\n\"Path\"=dword:00000001", std::nullopt},
      {"\"Path\"=str(7):\"a\\0\"", std::nullopt},
      {"\"Bin\"=hex:00,\\\n  \"Path\"=\"in the bytes\"", std::nullopt},
      {"\"Path\"=\"a\"\n\"Path\"=\"unclosed", u"a"},
      {std::string("\"Path\"=\"a\0\"", 11), std::nullopt},  // a NUL ends the line
      {"[Software\\\\Other] 1\n\"Path\"=\"elsewhere\"", std::nullopt},
      // Empty components of the key's path count for nothing.
      {"[\\\\Software\\\\\\\\VB and VBA Program "
       "Settings\\\\Tessivar\\\\Settings\\\\]\n\"Path\"=\"x\"",
       u"x"},
  };
  const std::string head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\n\n" +
                           std::string(kKeyLine) + "#time=1db47e0c9a6f2b4\n";
  for (const auto& [lines, value] : rows)
    EXPECT_EQ(FindRegistryString(head + lines + "\n", kKey, u"path"), value) << lines;
}

// Lines of binary garbage leave the value alone; a file without the header
// holds no value.
TEST(RegistryTest, DamagedFiles) {
  const std::string garbage("\x01\xFF\xFE[\"\\\x80\x7F@=\xC0\0\"Path\"=\"x\"\n", 23);
  std::string damaged = WineFile();
  for (size_t at = damaged.find('\n'); at != std::string::npos; at = damaged.find('\n', at + 24))
    damaged.insert(at + 1, garbage);
  EXPECT_EQ(FindRegistryString(damaged, kKey, u"Path"), kArabicPath);
  EXPECT_EQ(FindRegistryString(garbage + damaged, kKey, u"Path"), std::nullopt);
}

// A folder of the test's own as the Wine prefix, named by $WINEPREFIX while
// the settings are read, laid out the way Wine lays it out:
//   <prefix>/user.reg
//   <prefix>/dosdevices/c: -> ../drive_c
//   <prefix>/drive_c/Varnel/Data Files/<Arabic>/HADEETH.MDB
TEST(WinePrefixTest, SettingsAndNativePaths) {
  const TestHost folder(TestHost::Contents::kNothing);
  const std::string prefix = folder.folder(),
                    old = getenv("WINEPREFIX") ? getenv("WINEPREFIX") : "";
  setenv("WINEPREFIX", prefix.c_str(), 1);
  std::ofstream(prefix + "/user.reg", std::ios::binary) << WineFile();
  EXPECT_EQ(GetSetting(u"tessivar", u"SETTINGS", u"path", u"NONE"), kArabicPath);
  // Read to the end, however long the file.
  std::ofstream(prefix + "/user.reg", std::ios::binary)
      << WineFile() + std::string(2 << 20, '\n') + std::string(kKeyLine) + "\"Path\"=\"\"";
  EXPECT_EQ(GetSetting(u"Tessivar", u"Settings", u"Path", u"NONE"), u"");
  old.empty() ? unsetenv("WINEPREFIX") : setenv("WINEPREFIX", old.c_str(), 1);

  fs::create_directories(prefix + "/dosdevices");
  fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
  fs::create_directories(prefix + "/drive_c/Varnel/Data Files/" + kArabicFolder);
  std::ofstream(prefix + "/drive_c/Varnel/Data Files/" + kArabicFolder + "/HADEETH.MDB");
  const std::string c = prefix + "/dosdevices/c:";
  const std::pair<std::u16string, std::string> rows[] = {
      {u"c:\\VARNEL\\data files\\\u0645\u0643\u062A\u0628\u0629\\hadeeth.mdb",
       c + "/Varnel/Data Files/" + kArabicFolder + "/HADEETH.MDB"},
      {u"C:\\varnel\\Old\\DATA\\x.mdb", c + "/Varnel/Old/DATA/x.mdb"},
      {u"C:\\..\\Varnel\\.\\Data Files\\..\\\\", c + "/Varnel"},
      // A relative path stays relative, climbing as far as it says.
      {u"..\\..\\Varnel 706\\", "../../Varnel 706"},
      {u"\\varnel", c + "/Varnel"},
      {Utf8ToUtf16(prefix + "/DRIVE_C/varnel/"), prefix + "/drive_c/Varnel"}};
  for (const auto& [windows, native] : rows)
    EXPECT_EQ(NativePath(windows, prefix).string(), native) << Utf16ToUtf8(windows);
}

}  // namespace
}  // namespace addbook
