#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "app/settings.h"
#include "base/text.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kKey = u"Software\\VB and VBA Program Settings\\Tessivar\\Settings";
constexpr std::u16string_view kArabicPath =
    u"C:\\Varnel\\Data Files\\\u0645\u0643\u062A\u0628\u0629";

// The start of every user.reg that Wine writes.
constexpr std::string_view kHead =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n"
    "\n";

constexpr std::string_view kKeyLine =
    "[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Settings] 1733480000\n"
    "#time=1db47e0c9a6f2b4\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "addbook-app-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// --- Reading the registry text ---

class RegistryTest : public testing::Test {
 protected:
  // Looks |name| up under |key| in a file made of Wine's head and |body|.
  static std::optional<std::u16string> Find(std::string_view body,
                                            std::u16string_view name = u"Path",
                                            std::u16string_view key = kKey) {
    return FindRegistryString(std::string(kHead) + std::string(body), key, name);
  }
  // The same, for a body under the settings key line.
  static std::optional<std::u16string> FindInKey(std::string_view values,
                                                 std::u16string_view name = u"Path") {
    return Find(std::string(kKeyLine) + std::string(values), name);
  }
};

TEST_F(RegistryTest, WineEscapesForNonAsciiFolderNames) {
  EXPECT_EQ(
      FindInKey("\"Path\"=\"C:\\\\Varnel\\\\Data Files\\\\\\x645\\x643\\x62a\\x628\\x629\"\n"),
      kArabicPath);
}

TEST_F(RegistryTest, StringEscapes) {
  struct Row {
    std::string_view in;  // between the quotes, as in the file
    std::u16string_view out;
  };
  const Row rows[] = {
      {"plain", u"plain"},
      {"a\\\\b", u"a\\b"},
      {"say \\\"hi\\\"", u"say \"hi\""},
      {"tab\\tcr\\rlf\\n", u"tab\tcr\rlf\n"},
      {"\\a\\b\\e\\f\\v", u"\a\b\x1B\f\v"},
      {"\\x645", u"\u0645"},
      {"\\x0645a", u"\u0645a"},  // padded to four digits when a hex digit follows
      {"\\x645g", u"\u0645g"},   // stops at the first non-hex character
      {"\\x6453", u"\u6453"},    // never more than four digits
      {"\\x64530", u"\u64530"},
      {"\\xe9t\\xE9", u"\u00E9t\u00E9"},
      {"\\xd83c\\xdf0e", u"\U0001F30E"},  // surrogate pairs, as Wine writes them
      {"\\x", u"x"},
      {"\\101\\60", u"A0"},  // octal, up to three digits
      {"\\1012", u"A2"},
      {"\\q\\]", u"q]"},  // any other escaped character stands for itself
      {"\xD9\x85\xD9\x83\xD8\xAA\xD8\xA8\xD8\xA9", u"\u0645\u0643\u062A\u0628\u0629"},  // UTF-8
      {"a\\0b", u"a"},  // a string ends at its first NUL
      {"trail\\\\", u"trail\\"},
  };
  for (const Row& row : rows) {
    std::string line = "\"Path\"=\"" + std::string(row.in) + "\"\n";
    EXPECT_EQ(FindInKey(line), std::optional<std::u16string>(row.out)) << line;
  }
}

TEST_F(RegistryTest, EmptyStringAndNoneAreValues) {
  EXPECT_EQ(FindInKey("\"Path\"=\"\"\n"), u"");
  EXPECT_EQ(FindInKey("\"Path\"=\"NONE\"\n"), u"NONE");
  EXPECT_EQ(FindInKey("\"Path\"=\" C:\\\\x \"\n"), u" C:\\x ");  // taken unchanged
}

TEST_F(RegistryTest, NamesMatchInAnyCase) {
  const std::string_view value = "\"Path\"=\"v\"\n";
  EXPECT_EQ(Find("[software\\\\vb and vba program settings\\\\TESSIVAR\\\\settings] 1\n" +
                 std::string(value)),
            u"v");
  EXPECT_EQ(FindInKey("\"PATH\"=\"v\"\n"), u"v");
  EXPECT_EQ(FindInKey("\"Path\"=\"v\"\n", u"path"), u"v");
}

TEST_F(RegistryTest, NonAsciiNamesMatchInAnyCase) {
  locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  if (unicode == locale_t(0)) GTEST_SKIP() << "no C.UTF-8 locale: names fold in ASCII only";
  freelocale(unicode);
  EXPECT_EQ(FindInKey("\"\\xc9tude\\x3a3\"=\"v\"\n", u"\u00E9tude\u03C3"), u"v");
  EXPECT_EQ(FindInKey("\"\\x645\"=\"v\"\n", u"\u0645"), u"v");
}

TEST_F(RegistryTest, KeyPathsMatchByComponent) {
  // Empty components are ignored, as Wine does.
  EXPECT_EQ(Find("[Software\\\\VB and VBA Program Settings\\\\\\\\Tessivar\\\\Settings\\\\] 1\n"
                 "\"Path\"=\"v\"\n"),
            u"v");
  EXPECT_EQ(Find(std::string(kKeyLine) + "\"Path\"=\"v\"\n", u"Path",
                 u"\\Software\\VB and VBA Program Settings\\Tessivar\\Settings\\"),
            u"v");
  // An escaped bracket belongs to the name.
  EXPECT_EQ(Find("[Software\\\\App\\]x] 1\n\"Path\"=\"v\"\n", u"Path", u"Software\\App]x"), u"v");
  // Neither a parent, a sub-key nor a sibling is the key.
  EXPECT_EQ(Find("[Software\\\\VB and VBA Program Settings\\\\Tessivar] 1\n\"Path\"=\"v\"\n"),
            std::nullopt);
  EXPECT_EQ(Find("[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Settings\\\\Old] 1\n"
                 "\"Path\"=\"v\"\n"),
            std::nullopt);
  EXPECT_EQ(Find("[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Window] 1\n"
                 "\"Path\"=\"v\"\n"),
            std::nullopt);
}

TEST_F(RegistryTest, ValuesBelongToTheLastKeyLine) {
  EXPECT_EQ(Find(std::string(kKeyLine) + "\"Left\"=dword:00000078\n\n" +
                 "[Software\\\\Wine\\\\Debug] 1\n\"Path\"=\"wrong\"\n"),
            std::nullopt);
  EXPECT_EQ(Find("[Software\\\\Wine\\\\Debug] 1\n\"Path\"=\"wrong\"\n" + std::string(kKeyLine) +
                 "  \"Path\"  =  \"right\"\n"),
            u"right");
}

TEST_F(RegistryTest, DefaultValueHasTheEmptyName) {
  EXPECT_EQ(FindInKey("@=\"default\"\n\"Path\"=\"v\"\n", u""), u"default");
  EXPECT_EQ(FindInKey("\"Path\"=\"v\"\n", u""), std::nullopt);
}

TEST_F(RegistryTest, OtherStringForms) {
  EXPECT_EQ(FindInKey("\"Path\"=str(2):\"%USERPROFILE%\\\\Varnel\"\n"), u"%USERPROFILE%\\Varnel");
  EXPECT_EQ(FindInKey("\"Path\"=str:\"old\"\n"), u"old");
  // Strings that Wine could not write as text come as UTF-16LE bytes.
  EXPECT_EQ(FindInKey("\"Path\"=hex(1):43,00,3a,00,5c,00,45,06,00,00\n"), u"C:\\\u0645");
  EXPECT_EQ(FindInKey("\"Path\"=hex(2):41,00,\\\n  42,00,43\n"), u"AB");
}

TEST_F(RegistryTest, ValuesThatAreNotStrings) {
  EXPECT_EQ(FindInKey("\"Path\"=dword:0000002a\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=hex:43,00,3a,00\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=str(7):\"a\\0b\\0\"\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=hex(7):61,00,00,00,00,00\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=hex(b):01,00,00,00,00,00,00,00\n"), std::nullopt);
}

TEST_F(RegistryTest, MissingKeyOrValue) {
  EXPECT_EQ(Find(""), std::nullopt);
  EXPECT_EQ(Find("[Software\\\\Wine] 1\n\"Path\"=\"v\"\n"), std::nullopt);
  EXPECT_EQ(FindInKey(""), std::nullopt);
  EXPECT_EQ(FindInKey("\"Left\"=\"v\"\n\"Path2\"=\"v\"\n\"Pat\"=\"v\"\n"), std::nullopt);
  EXPECT_EQ(FindRegistryString("", kKey, u"Path"), std::nullopt);
}

TEST_F(RegistryTest, LaterValueReplacesEarlier) {
  EXPECT_EQ(FindInKey("\"Path\"=\"one\"\n\"path\"=\"two\"\n"), u"two");
  EXPECT_EQ(FindInKey("\"Path\"=\"one\"\n\"Path\"=dword:00000001\n"), std::nullopt);
  // A later copy that does not parse changes nothing.
  EXPECT_EQ(FindInKey("\"Path\"=\"one\"\n\"Path\"=\"two\n"), u"one");
}

TEST_F(RegistryTest, HexContinuationLinesAreNeverValues) {
  EXPECT_EQ(FindInKey("\"Bin\"=hex:00,11,\\\n"
                      "  \"Path\"=\"inside a hex value\"\n"),
            std::nullopt);
  EXPECT_EQ(FindInKey("\"Bin\"=hex:00,11,\\\n"
                      "  22,33,\\\n"
                      "  44\n"
                      "\"Path\"=\"after\"\n"),
            u"after");
}

TEST_F(RegistryTest, LineEndsAndLeadingSpace) {
  std::string crlf = std::string(kHead) + std::string(kKeyLine) + "\"Path\"=\"v\"\r\n";
  for (size_t pos = 0; (pos = crlf.find('\n', pos)) != std::string::npos; pos += 2) {
    crlf.insert(pos, "\r");
  }
  EXPECT_EQ(FindRegistryString(crlf, kKey, u"Path"), u"v");
  EXPECT_EQ(Find("\t[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Settings]\n"
                 "   \"Path\"=\"v\"\n"),
            u"v");
}

// --- Damaged files ---

TEST_F(RegistryTest, NotARegistryFile) {
  const std::string values = std::string(kKeyLine) + "\"Path\"=\"v\"\n";
  EXPECT_EQ(FindRegistryString(values, kKey, u"Path"), std::nullopt);
  EXPECT_EQ(FindRegistryString("WINE REGISTRY Version 1\n" + values, kKey, u"Path"), std::nullopt);
  EXPECT_EQ(FindRegistryString("WINE REGISTRY Version 20\n" + values, kKey, u"Path"), std::nullopt);
  EXPECT_EQ(FindRegistryString("REGEDIT4\n" + values, kKey, u"Path"), std::nullopt);
  EXPECT_EQ(FindRegistryString("\n" + std::string(kHead) + values, kKey, u"Path"), std::nullopt);
}

TEST_F(RegistryTest, UnterminatedStringIsNoValue) {
  EXPECT_EQ(FindInKey("\"Path\"=\"C:\\\\Varnel\n\"Other\"=\"x\"\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=\"C:\\\\Varnel\\\"\n"), std::nullopt);  // escaped quote
  EXPECT_EQ(FindInKey("\"Path\"=\"C:\\\\Varnel\\"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path=\"v\"\n"), std::nullopt);
}

TEST_F(RegistryTest, TruncatedFile) {
  // Intact up to its closing quote, without a line end: still a value.
  EXPECT_EQ(FindInKey("\"Path\"=\"v\""), u"v");
  // Cut inside a hex value that would go on: no value.
  EXPECT_EQ(FindInKey("\"Path\"=hex(1):41,00,\\\n  42,00,\\\n"), std::nullopt);
  EXPECT_EQ(FindInKey("\"Path\"=hex(1):41,00,\\"), std::nullopt);

  // Every cut of a real-looking file gives the whole value or none.
  const std::string full =
      std::string(kHead) + std::string(kKeyLine) + "\"Bin\"=hex:00,11,22,\\\n  33,44\n" +
      "\"Path\"=\"C:\\\\Varnel\\\\Data Files\\\\\\x645\\x643\\x62a\\x628\\x629\"\n" +
      "\"Size\"=dword:00000010\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    std::optional<std::u16string> found = FindRegistryString(full.substr(0, n), kKey, u"Path");
    if (found) {
      EXPECT_EQ(*found, kArabicPath) << "cut at " << n;
    }
  }
  EXPECT_EQ(FindRegistryString(full, kKey, u"Path"), kArabicPath);
}

TEST_F(RegistryTest, BinaryGarbageAroundTheValue) {
  const std::string garbage("\x00\xFF\xFE[\"\x01\\\x80\x7F@=\xC0", 12);
  EXPECT_EQ(Find(garbage + "\n" + std::string(kKeyLine) + garbage + "\n\"Path\"=\"v\"\n" + garbage +
                 "\n"),
            u"v");
  // A NUL ends a line, as in Wine: the string is left without its quote.
  EXPECT_EQ(FindInKey(std::string("\"Path\"=\"v\0\"\n", 12)), std::nullopt);
  // Invalid UTF-8 inside a string comes out as replacement characters.
  EXPECT_EQ(FindInKey("\"Path\"=\"a\xFF\"\n"), u"a\uFFFD");
}

TEST_F(RegistryTest, DamagedKeyLineHidesTheValuesAfterIt) {
  EXPECT_EQ(Find(std::string(kKeyLine) + "[Software\\\\Broken\n\"Path\"=\"v\"\n"), std::nullopt);
}

TEST_F(RegistryTest, RandomDamageNeverCrashes) {
  const std::string full = ReadFile(fs::path(ADDBOOK_TESTDATA_DIR) / "wine" / "user.reg");
  ASSERT_FALSE(full.empty());
  std::mt19937 random(706);
  for (int round = 0; round < 300; ++round) {
    std::string text = full;
    for (int n = 0; n < 20; ++n) {
      text[random() % text.size()] = static_cast<char>(random() % 256);
    }
    FindRegistryString(text, kKey, u"Path");
    FindRegistryString(text.substr(0, random() % text.size()), kKey, u"Path");
  }
}

// --- The settings of the Wine prefix ---

class SettingsTest : public testing::Test {
 protected:
  SettingsTest() : prefix_env_("WINEPREFIX", dir_.path().c_str()) {}

  void WriteRegistry(std::string_view text) { WriteFile(dir_.path() / "user.reg", text); }
  static std::u16string Path() { return GetSetting(u"Tessivar", u"Settings", u"Path", u"NONE"); }

  TempDir dir_;
  ScopedEnv prefix_env_;
};

TEST_F(SettingsTest, ReadsTheFileWineWrote) {
  // Written by Wine 8.0 for: reg add "HKCU\Software\VB and VBA Program
  // Settings\Tessivar\Settings" /v Path /d "C:\Varnel\Data Files\<Arabic>",
  // with a value "Path" in the sibling section "Window" too.
  fs::copy_file(fs::path(ADDBOOK_TESTDATA_DIR) / "wine" / "user.reg", dir_.path() / "user.reg");
  EXPECT_EQ(Path(), kArabicPath);
  EXPECT_EQ(GetSetting(u"tessivar", u"WINDOW", u"path", u"NONE"), u"not this one");
  EXPECT_EQ(GetSetting(u"Tessivar", u"Window", u"Left", u"NONE"), u"NONE");  // a dword
  EXPECT_EQ(GetSetting(u"Tessivar", u"Settings", u"Missing", u"def"), u"def");
  EXPECT_EQ(GetSetting(u"Other", u"Settings", u"Path", u"NONE"), u"NONE");
}

TEST_F(SettingsTest, DefaultWithoutAReadableFile) {
  EXPECT_EQ(Path(), u"NONE");  // no user.reg
  fs::create_directory(dir_.path() / "user.reg");
  EXPECT_EQ(Path(), u"NONE");
}

TEST_F(SettingsTest, DefaultForADamagedFile) {
  WriteRegistry(
      "\x7F"
      "ELF\x02\x01\x01" +
      std::string(4000, '\0') + "\"Path\"=\"v\"\n");
  EXPECT_EQ(Path(), u"NONE");
  WriteRegistry(std::string(kHead) + std::string(kKeyLine) + "\"Path\"=\"C:\\\\Var");
  EXPECT_EQ(Path(), u"NONE");
}

TEST_F(SettingsTest, StoredValuesComeBackUnchanged) {
  WriteRegistry(std::string(kHead) + std::string(kKeyLine) + "\"Path\"=\"\"\n");
  EXPECT_EQ(Path(), u"");
  WriteRegistry(std::string(kHead) + std::string(kKeyLine) + "\"Path\"=\"NONE\"\n");
  EXPECT_EQ(Path(), u"NONE");
  WriteRegistry(std::string(kHead) + std::string(kKeyLine) + "\"Path\"=\"none \"\n");
  EXPECT_EQ(Path(), u"none ");
}

TEST_F(SettingsTest, LargeFileIsReadToTheEnd) {
  std::string text(kHead);
  for (int i = 0; i < 50000; ++i) {
    text += "[Software\\\\Filler\\\\" + std::to_string(i) + "] 1\n\"Data\"=hex:00,01,02,\\\n  03\n";
  }
  text += std::string(kKeyLine) + "\"Path\"=\"last\"\n";
  WriteRegistry(text);
  EXPECT_EQ(Path(), u"last");
}

TEST(WinePrefixTest, FromEnvironmentOrHome) {
  ScopedEnv home("HOME", "/home/reader");
  {
    ScopedEnv prefix("WINEPREFIX", "/opt/prefix/");
    EXPECT_EQ(WinePrefix(), "/opt/prefix");
  }
  {
    ScopedEnv prefix("WINEPREFIX", "");
    EXPECT_EQ(WinePrefix(), "/home/reader/.wine");
  }
  {
    ScopedEnv prefix("WINEPREFIX", nullptr);
    EXPECT_EQ(WinePrefix(), "/home/reader/.wine");
  }
}

// --- Mapping stored paths onto the prefix ---

// A prefix laid out the way Wine lays it out:
//   <prefix>/dosdevices/c: -> ../drive_c
//   <prefix>/drive_c/Varnel/Data Files/<Arabic>/HADEETH.MDB
class NativePathTest : public testing::Test {
 protected:
  NativePathTest() : prefix_(dir_.path().string()) {
    fs::create_directories(dir_.path() / "dosdevices");
    fs::create_directory_symlink("../drive_c", dir_.path() / "dosdevices" / "c:");
    fs::create_directories(dir_.path() / "drive_c" / "Varnel" / "Data Files" / kArabicFolder);
    WriteFile(dir_.path() / "drive_c" / "Varnel" / "Data Files" / kArabicFolder / "HADEETH.MDB",
              "");
  }

  std::string Map(std::u16string_view windows_path) { return NativePath(windows_path, prefix_); }
  std::string C(std::string_view rest) { return prefix_ + "/dosdevices/c:" + std::string(rest); }

  static constexpr const char* kArabicFolder = "\xD9\x85\xD9\x83\xD8\xAA\xD8\xA8\xD8\xA9";
  TempDir dir_;
  std::string prefix_;
};

TEST_F(NativePathTest, DriveLetterThroughDosDevices) {
  const std::string data = C("/Varnel/Data Files/") + kArabicFolder;
  EXPECT_EQ(Map(kArabicPath), data);
  EXPECT_EQ(Map(u"c:/Varnel/Data Files/\u0645\u0643\u062A\u0628\u0629"), data);
  EXPECT_EQ(Map(u"C:\\"), C(""));
  EXPECT_EQ(Map(u"C:"), C(""));
  EXPECT_TRUE(fs::is_directory(Map(kArabicPath)));
}

TEST_F(NativePathTest, NamesMatchInAnyCase) {
  EXPECT_EQ(Map(u"C:\\VARNEL\\data files\\\u0645\u0643\u062A\u0628\u0629\\Hadeeth.mdb"),
            C("/Varnel/Data Files/") + kArabicFolder + "/HADEETH.MDB");
  EXPECT_TRUE(fs::is_regular_file(
      Map(u"c:\\varnel\\DATA FILES\\\u0645\u0643\u062A\u0628\u0629\\hadeeth.mdb")));
}

TEST_F(NativePathTest, MissingNamesKeptAsWritten) {
  EXPECT_EQ(Map(u"C:\\VARNEL\\Old Data\\DATA FILES\\x.mdb"),
            C("/Varnel/Old Data/DATA FILES/x.mdb"));
  EXPECT_EQ(Map(u"C:\\Varnel\\Data Files\\\u0645\u0643\u062A\u0628\\Hadeeth.mdb"),
            C("/Varnel/Data Files/\xD9\x85\xD9\x83\xD8\xAA\xD8\xA8/Hadeeth.mdb"));
  // A drive Wine does not have.
  EXPECT_EQ(Map(u"D:\\Varnel"), prefix_ + "/dosdevices/d:/Varnel");
}

TEST_F(NativePathTest, SeparatorsAndDots) {
  const std::string varnel = C("/Varnel");
  EXPECT_EQ(Map(u"C:\\Varnel\\"), varnel);
  EXPECT_EQ(Map(u"C:\\\\Varnel\\\\\\"), varnel);
  EXPECT_EQ(Map(u"C:\\Varnel\\.\\Data Files\\..\\"), varnel);
  EXPECT_EQ(Map(u"C:\\..\\..\\varnel"), varnel);
  EXPECT_EQ(Map(u"C:/Varnel\\Data Files/"), C("/Varnel/Data Files"));
  // A folder with a trailing separator joined with a file name.
  EXPECT_EQ(Map(u"C:\\Varnel\\Data Files\\\\HADEETH.mdb"), C("/Varnel/Data Files/HADEETH.mdb"));
}

TEST_F(NativePathTest, NativeAndRootedPaths) {
  const std::string root = dir_.path().string();
  EXPECT_EQ(Map(Utf8ToUtf16(root + "/DRIVE_C/varnel")), root + "/drive_c/Varnel");
  EXPECT_EQ(Map(Utf8ToUtf16(root + "/drive_c\\Varnel\\")), root + "/drive_c/Varnel");
  EXPECT_EQ(Map(u"/"), "/");
  // Rooted without a drive: on C:, where Wine starts programs.
  EXPECT_EQ(Map(u"\\varnel\\Data Files"), C("/Varnel/Data Files"));
}

TEST_F(NativePathTest, NetworkAndDevicePaths) {
  EXPECT_EQ(Map(u"\\\\server\\share\\Varnel"), prefix_ + "/dosdevices/unc/server/share/Varnel");
  EXPECT_EQ(Map(u"\\\\?\\UNC\\server\\share"), prefix_ + "/dosdevices/unc/server/share");
  EXPECT_EQ(Map(u"\\\\?\\C:\\VARNEL"), C("/Varnel"));
  EXPECT_EQ(Map(u"\\\\.\\c:\\varnel"), C("/Varnel"));
}

TEST_F(NativePathTest, RelativeToTheCurrentFolder) {
  const fs::path old = fs::current_path();
  fs::current_path(dir_.path() / "drive_c");
  EXPECT_EQ(Map(u"varnel\\DATA FILES\\"), "Varnel/Data Files");
  EXPECT_EQ(Map(u"Varnel\\..\\..\\drive_c\\x"), "../drive_c/x");
  EXPECT_EQ(Map(u""), "");
  fs::current_path(old);
}

}  // namespace
}  // namespace addbook
