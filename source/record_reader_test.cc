#include "source/record_reader.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/recording_display.h"
#include "gtest/gtest.h"

namespace addbook {
namespace {

using Records = std::vector<std::u16string>;

// Whole files, call by call from the first: the records, the call from which
// the reader reports the file exhausted, and the box shown if any.  A record
// that begins with "*TYPING" hands back the marker "*END*".  When the end of
// the file comes inside a record, every line is delivered once and later
// records are empty.
TEST(RecordReaderTest, Sequences) {
  // The text, the records, the call from which the file is exhausted, the
  // prompt of the one box shown ("" for none).
  using Row = std::tuple<std::string, Records, size_t, std::u16string>;
  // clang-format off
  std::vector<Row> rows = {
      // "*TYPING" collects record starts too, up to a line beginning "*END*".
      {"*TYPINGS\r\n*1*A\r\n@5 s\r\n*END* y\r\n*typing\r\n0 z",
       {u"\r\n", u"*TYPINGS\r\n*1*A\r\n$5 s\r\n", u"*END* y\r\n", u"*typing\r\n", u"0 z"}, 5, u""},
      {"", {u"", u"", u""}, 1, u""},
      {"*EOF*\r\n", {u"\r\n", u"*EOF*", u"*EOF*"}, 2, u""},
      // A one-line "*" record, then a last line that starts none.
      {"*1*A\r\n*2*B\r\nl", {u"\r\n", u"*1*A\r\n", u"*2*B\r\n", u"l", u"l"}, 4, u""},
      // The end of the file inside a record.
      {"*1*A\r\n0 x\r\nb\r\nl", {u"\r\n", u"*1*A\r\n", u"0 x\r\nb\r\nl\r\n", u"", u""}, 3, u""},
      {"*TYPING\r\n*EOF*", {u"\r\n", u"*TYPING\r\n*EOF*\r\n", u"", u""}, 2, u""},
      // Text before the first record; no number is rewritten inside a comment.
      {"x\r\n@c\r\n013-x\r\n*EOF*", {u"\r\nx\r\n", u"@c\r\n", u"013-x\r\n", u"*EOF*"}, 4, u""}};
  // clang-format on
  // Rule 3 counts in 16 bits: a line of 32,767 digits or more overflows, is
  // reported once, stays as read, and the run goes on.
  for (size_t digits : {32766u, 32767u, 40000u}) {
    const std::u16string zeros(digits, u'0'), box = digits > 32766 ? u"Overflow" : u"";
    const std::u16string third = zeros + (box.empty() ? u" x\r\n" : u"-x\r\n");
    const std::string text = "*1*A\r\n" + std::string(digits, '0') + "-x\r\n012-b";
    rows.push_back({text, {u"\r\n", u"*1*A\r\n", third, u"012 b"}, 4, box});
  }
  // Line rewrites, read after a record that begins with "0" so that every
  // rule applies: the line as in the file, as rewritten, and whether it then
  // starts a record.  Rule 3 turns any character after the digits into a
  // space, Arabic too; the "$" rule comes before the "@" rule.
  // clang-format off
  const std::tuple<std::string, std::u16string, bool> rewrites[] = {
      {"012-Amet", u"012 Amet", true}, {"012Amet", u"012 met", true}, {"012", u"012", true},
      {"0\xC7", u"0 ", true}, {"@5 Amet", u"$5 Amet", true}, {"\"012-a, b\"", u"012 a, b", true},
      {"123 Amet", u"123 Amet", false}, {"@ Amet", u"@ Amet", true}, {"$5", u"%5", false},
      {"%Amet", u"%Amet", false}, {"Amet", u"Amet", false}, {"", u"", false}};
  // clang-format on
  for (const auto& [line, result, starts] : rewrites) {
    rows.push_back({"0 A\r\n" + line + "\r\n*EOF*",
                    starts ? Records{u"\r\n", u"0 A\r\n", result + u"\r\n", u"*EOF*"}
                           : Records{u"\r\n", u"0 A\r\n" + result + u"\r\n", u"*EOF*"},
                    starts ? 4u : 3u, u""});
  }
  const std::string path =
      testing::TempDir() + "addbook_rr" +
      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  for (const auto& [text, records, exhausted_from, box_shown] : rows) {
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 60)));
    std::ofstream(path, std::ios::binary) << text;
    ReaderFields fields;
    FileTable files;
    RecordingDisplay display;
    RecordReader reader(fields, files, display);
    files.Open(fields.FileNo = 1, path);
    for (size_t i = 0; i < records.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "call " << i + 1);
      std::u16string marker;  // as the call leaves it
      reader.readNext(marker);
      EXPECT_EQ(marker, records[i].starts_with(u"*TYPING") ? u"*END*" : u"");
      EXPECT_EQ(fields.RecText, records[i]);
      EXPECT_EQ(reader.Exhausted(), i + 1 >= exhausted_from);
    }
    files.Close(1);  // an open file cannot be removed on every system
    std::filesystem::remove(path);
    EXPECT_EQ(display.boxes().size(), box_shown.empty() ? 0u : 1u);
    for (const RecordingDisplay::Box& box : display.boxes())
      EXPECT_EQ(std::tie(box.prompt, box.style, box.title),
                std::tuple(box_shown, BoxStyle::kPlain, std::u16string(kDefaultTitle)));
  }
}

}  // namespace
}  // namespace addbook
