#include "source/source_file.h"

#include <iconv.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "gtest/gtest.h"

namespace addbook {
namespace {

using Items = std::vector<std::u16string>;

// Every item of a file holding |bytes|, read until the end.  The file is
// unlinked once open.
Items ReadAll(const std::string& bytes) {
  const std::string path = testing::TempDir() + "addbook_src" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary) << bytes;
  auto file = SourceFile::Open(path);
  std::filesystem::remove(path);
  Items items;
  while (!file->AtEnd()) items.push_back(file->ReadItem());
  return items;
}

TEST(Cp1256Test, AgreesWithIconvForEveryByte) {
  char bytes[256];
  unsigned char utf16le[512];
  for (int b = 0; b < 256; ++b) bytes[b] = static_cast<char>(b);
  char *in = bytes, *out = reinterpret_cast<char*>(utf16le);
  size_t in_left = sizeof bytes, out_left = sizeof utf16le;
  iconv_t cd = iconv_open("UTF-16LE", "CP1256");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "iconv has no CP1256";
  ASSERT_EQ(iconv(cd, &in, &in_left, &out, &out_left), 0u);
  iconv_close(cd);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(DecodeCp1256(b), utf16le[2 * b] | utf16le[2 * b + 1] << 8) << "byte " << b;
    EXPECT_EQ(EncodeCp1256(DecodeCp1256(b)), b) << "byte " << b;
  }
  EXPECT_EQ(EncodeCp1256(u'\u0100'), std::nullopt);  // a character the code page lacks
  EXPECT_EQ(EncodeCp1256(u'\uFFFF'), std::nullopt);
}

// Bytes of a file and the items read from it.
TEST(SourceFileTest, Grammar) {
  // clang-format off
  std::vector<std::pair<std::string, Items>> rows = {
      {"", {}}, {"x", {u"x"}},
      // The Arabic comma is an ordinary character.
      {"\xC8\xD3\xE3\xA1 \xC7\xE1", {u"\u0628\u0633\u0645\u060C \u0627\u0644"}},
      // Blanks before an item are skipped, blanks after it kept.
      {" \t a b \t,\tc  \r\n", {u"a b \t", u"c  "}}, {"\r\n \t \r\na\r\n", {u"", u"", u"a"}},
      // Line ends: CR LF, LF, CR, mixed.  CR LF is one line end, LF CR two.
      {"a\r\nb\nc\rd\n\re\r", {u"a", u"b", u"c", u"d", u"", u"e"}}, {"a\nb\n", {u"a", u"b"}},
      // A comma before a line end ends an empty item; one as the last byte does not.
      {"a,\r\nb", {u"a", u"", u"b"}}, {"a,", {u"a"}}, {",,a", {u"", u"", u"a"}},
      // Quotation marks: only as an item's first character; text after the
      // closing one is appended; an unclosed one ends at the line end.
      {"\"a, b\",c\r\n", {u"a, b", u"c"}}, {"\"\"\r\nx", {u"", u"x"}}, {"  \"a,b\"", {u"a,b"}},
      {"\"a,b\"c d ,e", {u"a,bc d ", u"e"}}, {"a\"b,c\"d\r\n", {u"a\"b", u"c\"d"}},
      {"\"a,b\r\nc,d", {u"a,b", u"c", u"d"}}, {"x\r\n\"a,b", {u"x", u"a,b"}},
      // NUL bytes stay.
      {std::string("a\0b,\0\r\n", 7), {std::u16string(u"a\0b", 3), std::u16string(u"\0", 1)}}};
  // clang-format on
  // Line ends, blanks, marks and the last line that straddle two reads of
  // the file, or make up the second alone.
  for (size_t pad = 65523; pad <= 65538; ++pad)
    rows.push_back({std::string(pad, 'x') + "\r\n \t\"a,b\"c\r\nd",
                    {std::u16string(pad, u'x'), u"a,bc", u"d"}});
  for (const auto& [bytes, items] : rows) {
    SCOPED_TRACE(testing::PrintToString(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0)));
    EXPECT_EQ(ReadAll(bytes), items);
  }
}

}  // namespace
}  // namespace addbook
