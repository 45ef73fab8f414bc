#include "source/source_file.h"

#include <iconv.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "gtest/gtest.h"

namespace addbook {
namespace {

using Items = std::vector<std::u16string>;

// Peak resident memory growth, in bytes, while |run| runs; -1 where the
// system cannot tell (no /proc, or a sanitizer that keeps freed memory).
template <typename F>
long PeakGrowth(F run) {
#if defined(__SANITIZE_ADDRESS__)
  run();
  return -1;
#else
  auto status = [](const char* key) -> long {
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word) {
      if (word == key) {
        long kb = 0;
        in >> kb;
        return kb * 1024;
      }
    }
    return -1;
  };
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;  // restarts the peak at the current size
  long before = status("VmRSS:");
  run();
  long peak = status("VmHWM:");
  if (!reset || before < 0 || peak < 0) return -1;
  return peak - before;
#endif
}

// Runs |f| and checks that it throws the error the user would see.
template <typename F>
void ExpectError(F f, int32_t number, const std::u16string& description) {
  try {
    f();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), number);
    EXPECT_EQ(e.description(), description);
  }
}

class SourceFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }

  // Writes |bytes| to a fresh temporary file and returns its path.
  std::string Write(const std::string& bytes) {
    static std::atomic<int> counter{0};
    path_ = (std::filesystem::temp_directory_path() /
             ("addbook_source_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
                .string();
    std::ofstream out(path_, std::ios::binary);
    out << bytes;
    return path_;
  }

  // Every item of a file holding |bytes|, read until the end.
  Items ReadAll(const std::string& bytes) {
    auto file = SourceFile::Open(Write(bytes));
    Items items;
    while (!file->AtEnd()) items.push_back(file->ReadItem());
    return items;
  }

  std::string path_;
};

// Windows-1256 as the C library knows it, for every byte value.
TEST(DecodeCp1256Test, AgreesWithIconvForEveryByte) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1256");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "iconv has no CP1256";
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[4] = {};
    char* in_ptr = &in;
    char* out_ptr = reinterpret_cast<char*>(out);
    size_t in_left = 1, out_left = sizeof out;
    ASSERT_NE(iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left), static_cast<size_t>(-1))
        << "byte 0x" << std::hex << b;
    ASSERT_EQ(out_left, 2u) << "byte 0x" << std::hex << b;
    char16_t expected = static_cast<char16_t>(out[0] | (out[1] << 8));
    EXPECT_EQ(DecodeCp1256(static_cast<unsigned char>(b)), expected) << "byte 0x" << std::hex << b;
  }
  iconv_close(cd);
}

struct GrammarCase {
  const char* name;
  std::string bytes;
  Items items;
};

void PrintTo(const GrammarCase& c, std::ostream* os) { *os << c.name; }

class GrammarTest : public SourceFileTest, public ::testing::WithParamInterface<GrammarCase> {};

TEST_P(GrammarTest, Items) { EXPECT_EQ(ReadAll(GetParam().bytes), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(
    Items, GrammarTest,
    ::testing::Values(
        GrammarCase{"empty file", "", {}},
        GrammarCase{"Arabic comma is ordinary",
                    "\xC8\xD3\xE3\xA1 \xC7\xE1\xE1\xE5",
                    {u"\u0628\u0633\u0645\u060C \u0627\u0644\u0644\u0647"}},
        GrammarCase{"comma splits, spaces after it skipped",
                    "Amet, consectetur\r\n",
                    {u"Amet", u"consectetur"}},
        GrammarCase{"leading tabs skipped, trailing blanks kept",
                    " \t a b \t,\tc  \r\n",
                    {u"a b \t", u"c  "}},
        GrammarCase{"line of blanks is one empty item", "a\r\n \t \r\nb", {u"a", u"", u"b"}},
        GrammarCase{"empty lines", "\r\n\r\na\r\n", {u"", u"", u"a"}},
        GrammarCase{"CR LF line ends", "a\r\nb\r\n", {u"a", u"b"}},
        GrammarCase{"LF line ends", "a\nb\n", {u"a", u"b"}},
        GrammarCase{"lone CR line ends", "a\rb\r", {u"a", u"b"}},
        GrammarCase{"mixed line ends, CR LF counted once",
                    "a\r\nb\nc\rd\n\re",
                    {u"a", u"b", u"c", u"d", u"", u"e"}},
        GrammarCase{"last line without line end", "a\r\nb", {u"a", u"b"}},
        GrammarCase{"comma before line end gives an empty item", "a,\r\nb", {u"a", u"", u"b"}},
        GrammarCase{"comma as last byte gives no empty item", "a,", {u"a"}},
        GrammarCase{"empty items between commas", ",,a", {u"", u"", u"a"}},
        GrammarCase{"quoted item keeps its commas", "\"a, b\",c\r\n", {u"a, b", u"c"}},
        GrammarCase{"quoted empty item", "\"\"\r\nx", {u"", u"x"}},
        GrammarCase{"text after closing mark is appended", "\"a,b\"c d ,e", {u"a,bc d ", u"e"}},
        GrammarCase{"unclosed mark ends at the line end", "\"a,b\r\nc,d", {u"a,b", u"c", u"d"}},
        GrammarCase{"unclosed mark at end of file", "x\r\n\"a,b", {u"x", u"a,b"}},
        GrammarCase{"mark not first is ordinary", "a\"b,c\"d\r\n", {u"a\"b", u"c\"d"}},
        GrammarCase{"mark after leading blanks opens a quote", "  \"a,b\"", {u"a,b"}},
        GrammarCase{"NUL bytes stay",
                    std::string("a\0b,\0\r\n", 7),
                    {std::u16string(u"a\0b", 3), std::u16string(u"\0", 1)}}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST_F(SourceFileTest, AtEndOnlyAfterLastLineEnd) {
  auto file = SourceFile::Open(Write("a\r\n"));
  EXPECT_FALSE(file->AtEnd());
  EXPECT_EQ(file->ReadItem(), u"a");
  EXPECT_TRUE(file->AtEnd());
  ExpectError([&] { file->ReadItem(); }, 62, u"Input past end of file");
}

// Line ends, blanks and marks that straddle two reads come back as if read
// at once.
TEST_F(SourceFileTest, DelimitersAcrossReadBoundary) {
  for (size_t pad = 65530; pad <= 65538; ++pad) {
    SCOPED_TRACE(pad);
    EXPECT_EQ(ReadAll(std::string(pad, 'x') + "\r\n \t\"a,b\"c\r\nd"),
              (Items{std::u16string(pad, u'x'), u"a,bc", u"d"}));
  }
}

TEST_F(SourceFileTest, LineOfTwentyMegabytes) {
  std::string bytes(20 * 1024 * 1024, '\xC7');  // alef
  bytes[12345678] = '\xA1';                     // Arabic comma: not a delimiter
  bytes += "\r\n*EOF*";
  Items items;
  long growth = PeakGrowth([&] { items = ReadAll(bytes); });
  ASSERT_EQ(items.size(), 2u);
  std::u16string expected(20 * 1024 * 1024, u'\u0627');
  expected[12345678] = u'\u060C';
  EXPECT_TRUE(items[0] == expected);
  EXPECT_EQ(items[1], u"*EOF*");
  // The item itself takes 40 MB; reading it must not take several times that.
  if (growth >= 0) {
    EXPECT_LT(growth, 160L * 1024 * 1024);
  }
}

// Memory follows the longest item, not the size of the file.
TEST_F(SourceFileTest, ManyLinesInBoundedMemory) {
  std::string line = "0123 \xC8\xD3\xE3 \xC7\xE1\xE1\xE5, \xC7\xE1\xD1\xCD\xE3\xE4\r\n";
  std::string bytes;
  while (bytes.size() < 20 * 1024 * 1024) bytes += line;
  auto file = SourceFile::Open(Write(bytes));
  bytes.clear();
  bytes.shrink_to_fit();
  size_t count = 0;
  long growth = PeakGrowth([&] {
    while (!file->AtEnd()) {
      file->ReadItem();
      ++count;
    }
  });
  EXPECT_EQ(count % 2, 0u);
  EXPECT_GT(count, 500000u);
  if (growth >= 0) {
    EXPECT_LT(growth, 4L * 1024 * 1024);
  }
}

// Error paths: the numbers and texts the user sees.

TEST_F(SourceFileTest, MissingFile) {
  std::string path = (std::filesystem::temp_directory_path() / "addbook_no_such_h1.txt").string();
  ExpectError([&] { SourceFile::Open(path); }, 53, Utf8ToUtf16("File not found: " + path));
}

TEST_F(SourceFileTest, FolderCannotBeOpened) {
  std::string path = std::filesystem::temp_directory_path().string();
  ExpectError([&] { SourceFile::Open(path); }, 75,
              Utf8ToUtf16("Path/File access error: " + path + ": Is a directory"));
}

TEST_F(SourceFileTest, ReadErrorIsReported) {
  // The process's own memory opens like a file, but reading it from
  // address 0 fails with an I/O error.
  if (!std::filesystem::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc";
  auto file = SourceFile::Open("/proc/self/mem");
  ExpectError([&] { file->AtEnd(); }, 75,
              u"Path/File access error: /proc/self/mem: Input/output error");
}

class FileTableTest : public SourceFileTest {};

TEST_F(FileTableTest, NumbersOpenGetAndClose) {
  FileTable files;
  EXPECT_EQ(files.FreeFile(), 1);
  std::string path = Write("a,b");
  files.Open(1, path);
  files.Open(3, path);
  EXPECT_EQ(files.FreeFile(), 2);
  EXPECT_EQ(files.Get(1).ReadItem(), u"a");
  EXPECT_EQ(files.Get(3).ReadItem(), u"a");  // each number reads on its own
  EXPECT_THROW(files.Open(1, path + ".missing"), Error);
  EXPECT_EQ(files.Get(1).ReadItem(), u"b");  // a failed open leaves it as it was
  files.Close(1);
  files.Close(1);  // not open: nothing happens
  EXPECT_FALSE(files.IsOpen(1));
  EXPECT_TRUE(files.IsOpen(3));
  EXPECT_EQ(files.FreeFile(), 1);
}

TEST_F(FileTableTest, NumberNotOpen) {
  FileTable files;
  for (int32_t no : {-1, 0, 1}) {
    ExpectError([&] { files.Get(no); }, 52, u"Bad file name or number");
  }
}

}  // namespace
}  // namespace addbook
