// The real executable, run as a user runs it: copied with a book into a
// folder of its own, with a Wine prefix of its own whose settings point at a
// fresh host.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "db/test_host.h"

namespace addbook {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AddbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(host_.folder());
    fs::create_directories(root_ / "bin");
    fs::copy_file(ADDBOOK_EXE, root_ / "bin" / "addbook");
    fs::create_directories(root_ / "prefix" / "dosdevices");
    // Drive D: is the folder that holds the host's folder; the settings name
    // that folder in upper case, as Windows would not care about case.
    fs::create_directory_symlink(root_.parent_path(), root_ / "prefix" / "dosdevices" / "d:");
    std::string name = root_.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    WriteSettings("D:\\\\" + name);
  }

  void WriteSettings(const std::string& escaped_path) {
    std::ofstream reg(root_ / "prefix" / "user.reg", std::ios::binary);
    reg << "WINE REGISTRY Version 2\n"
           ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
           "[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\Settings] 1765000000\n"
           "#time=1db6a2b3c4d5e6f\n\"Path\"=\""
        << escaped_path << "\"\n";
  }

  void CopyBook(const fs::path& from) { fs::copy_file(from, root_ / "bin" / "h1.txt"); }

  Result Run(const std::string& args = "") {
    Result r;
    std::string cmd = "cd / && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX='" +
                      (root_ / "prefix").string() + "' '" + (root_ / "bin" / "addbook").string() +
                      "' " + args + " >'" + (root_ / "out").string() + "' 2>'" +
                      (root_ / "err").string() + "' </dev/null";
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(root_ / "out");
    r.err = ReadFile(root_ / "err");
    return r;
  }

  TestHost host_;
  fs::path root_;
};

TEST_F(AddbookTest, ImportsTheSampleBook) {
  CopyBook(fs::path(ADDBOOK_SOURCE_DIR) / "book" / "h1.txt");
  Result r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Adding Book, Please Wait ...\nMust Have Varnel Version 2.88 or Later\n");
  // Standard error holds only the closing summary.
  EXPECT_EQ(r.err.rfind("addbook: import finished; 26 records handled, ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "1");
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Titles WHERE BookNo=706"), "9");
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Hadeeths WHERE BookNo=706"), "6");
  // No heading lookup failed: every hadeeth stands under a heading.
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Hadeeths WHERE TitleID=-1"), "0");
  // Short vowels stripped, alef forms folded, in every stored text.
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Hadeeths WHERE Hadeeth GLOB '*[ًٌٍَُِّْأإآ]*'"),
            "0");

  // A second run is refused and changes nothing.
  Result again = Run();
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("Adding Book: This Book is Already Installed\n"), std::string::npos)
      << again.err;
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Hadeeths"), "6");
}

TEST_F(AddbookTest, NoSettingsMeansUpgradeMessage) {
  CopyBook(fs::path(ADDBOOK_SOURCE_DIR) / "book" / "h1.txt");
  fs::remove(root_ / "prefix" / "user.reg");
  Result r = Run();
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("Adding Book: Upgrade Varnel Program, and try again\naddbook: refused", 0),
            0u)
      << r.err;
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
}

TEST_F(AddbookTest, MissingBookEndsAfterOpeningTheDatabase) {
  Result r = Run();
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("Adding Book: 53: File not found: " + (root_ / "bin" / "h1.txt").string() +
                            "\naddbook: stopped early",
                        0),
            0u)
      << r.err;
}

TEST_F(AddbookTest, Arguments) {
  Result help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: addbook", 0), 0u);
  Result version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("addbook ", 0), 0u);
  Result bad = Run("--frobnicate");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("unexpected argument '--frobnicate'"), std::string::npos);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(host_.Value("SELECT count(*) FROM Books"), "0");
}

}  // namespace
}  // namespace addbook
