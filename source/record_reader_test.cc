#include "source/record_reader.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/display.h"
#include "base/recording_display.h"
#include "gtest/gtest.h"

namespace addbook {
namespace {

class RecordReaderTest : public ::testing::Test {
 protected:
  ~RecordReaderTest() override {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }

  // Writes |bytes| to a temporary file and opens it as the source text, the
  // look-ahead empty.
  void Open(const std::string& bytes) {
    static std::atomic<int> counter{0};
    path_ = (std::filesystem::temp_directory_path() /
             ("addbook_reader_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
                .string();
    std::ofstream(path_, std::ios::binary) << bytes;
    fields_.FileNo = files_.FreeFile();
    files_.Open(fields_.FileNo, path_);
    fields_.CurLine.clear();
  }

  // One call with a fresh marker; returns the marker as the call left it.
  std::u16string Next(std::u16string marker = u"") {
    reader_.readNext(marker);
    return marker;
  }

  // The two priming calls, after which RecText holds the first record.
  void Prime() {
    Next();
    Next();
  }

  // Calls once per entry of |records| and checks RecText after each.
  void ExpectRecords(const std::vector<std::u16string>& records) {
    for (size_t i = 0; i < records.size(); ++i) {
      if (i > 0) Next();
      EXPECT_EQ(fields_.RecText, records[i]) << "record " << i;
    }
  }

  std::string path_;
  ReaderFields fields_;
  FileTable files_;
  RecordingDisplay display_;
  RecordReader reader_{fields_, files_, display_};
};

struct Call {
  std::u16string rec_text;
  std::u16string cur_line;
};

TEST_F(RecordReaderTest, WorkedExample) {
  const std::vector<Call> calls = {
      {u"\r\nLorem ipsum\r\n", u"*1*Alpha"},
      {u"*1*Alpha\r\n", u"012 Amet consectetur"},
      {u"012 Amet consectetur\r\n%Adipiscing elit\r\nsed do\r\n", u"@Nota bene"},
      {u"@Nota bene\r\n", u"013-Eiusmod"},
      {u"013-Eiusmod\r\n", u"$7-Tempor"},
      {u"$7-Tempor\r\n", u"*TYPING*Ut enim"},
      {u"*TYPING*Ut enim\r\n099 minim\r\nveniam\r\n", u"*END*"},
      {u"*END*\r\n", u"*EOF*"},
      {u"*EOF*", u"*EOF*"},
      {u"*EOF*", u"*EOF*"},
      {u"*EOF*", u"*EOF*"},
  };
  const char* lines[] = {"Lorem ipsum",       "*1*Alpha",  "012-Amet consectetur",
                         "$Adipiscing elit",  "sed do",    "@Nota bene",
                         "013-Eiusmod",       "@7-Tempor", "*TYPING*Ut enim",
                         "099-minim, veniam", "*END*",     "*EOF*"};
  // The same records whatever the line ends, with or without one at the end.
  for (std::string line_end : {"\r\n", "\n", "\r"}) {
    for (bool final_line_end : {false, true}) {
      SCOPED_TRACE(testing::Message() << "line end " << line_end.size() << " bytes"
                                      << (final_line_end ? ", file ends with one" : ""));
      std::string text;
      for (const char* line : lines) text += line + line_end;
      if (!final_line_end) text.resize(text.size() - line_end.size());
      Open(text);
      reader_.Reset();
      for (size_t i = 0; i < calls.size(); ++i) {
        std::u16string marker = Next();
        EXPECT_EQ(fields_.RecText, calls[i].rec_text) << "call " << i + 1;
        EXPECT_EQ(fields_.CurLine, calls[i].cur_line) << "call " << i + 1;
        EXPECT_EQ(marker, i + 1 == 7 ? u"*END*" : u"") << "call " << i + 1;
        EXPECT_EQ(reader_.Exhausted(), i + 1 >= 9) << "call " << i + 1;
      }
    }
  }
  EXPECT_TRUE(display_.boxes().empty());
}

struct RewriteCase {
  std::string line;       // as in the file
  std::u16string result;  // after the rewrites
  bool starts_record;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class RewriteTest : public RecordReaderTest, public ::testing::WithParamInterface<RewriteCase> {};

// The line is read after a record that begins with "0", so every rule applies.
TEST_P(RewriteTest, LineAfterNumberedRecord) {
  const RewriteCase& c = GetParam();
  Open("0 A\r\n" + c.line + "\r\n*EOF*");
  Prime();
  if (c.starts_record) {
    EXPECT_EQ(fields_.RecText, u"0 A\r\n");
    EXPECT_EQ(fields_.CurLine, c.result);
  } else {
    EXPECT_EQ(fields_.RecText, u"0 A\r\n" + c.result + u"\r\n");
    EXPECT_EQ(fields_.CurLine, u"*EOF*");
  }
  EXPECT_TRUE(display_.boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RewriteTest,
    ::testing::Values(
        RewriteCase{"012-Amet", u"012 Amet", true}, RewriteCase{"012Amet", u"012 met", true},
        RewriteCase{"012 Amet", u"012 Amet", true}, RewriteCase{"012", u"012", true},  //
        RewriteCase{"0", u"0", true},                                                  //
        RewriteCase{"0-", u"0 ", true},
        RewriteCase{"0\xC7", u"0 ", true},  // any character, Arabic too
        RewriteCase{"\"012-a, b\"", u"012 a, b", true}, RewriteCase{"123 Amet", u"123 Amet", false},
        RewriteCase{"@5", u"$5", true}, RewriteCase{"@5 Amet", u"$5 Amet", true},
        RewriteCase{"@", u"@", true}, RewriteCase{"@ Amet", u"@ Amet", true},
        RewriteCase{"@Amet", u"@Amet", true}, RewriteCase{"$Amet", u"%Amet", false},
        RewriteCase{"$5", u"%5", false},  // rule 1 comes first
        RewriteCase{"%Amet", u"%Amet", false}, RewriteCase{"Amet", u"Amet", false},
        RewriteCase{"", u"", false}, RewriteCase{"*typing", u"*typing", true}));

TEST_F(RecordReaderTest, StarRecordIsOneLineWhateverFollows) {
  Open("*1*A\r\n$body\r\n*2*B\r\n\r\nmore\r\n*3*C\r\nLetters\r\n*EOF*");
  Prime();
  ExpectRecords({u"*1*A\r\n", u"%body\r\n", u"*2*B\r\n", u"\r\nmore\r\n", u"*3*C\r\n",
                 u"Letters\r\n", u"*EOF*"});
}

TEST_F(RecordReaderTest, TypingRecordCollectsUpToEnd) {
  Open("*TYPINGS x\r\n*1*A\r\n@5 s\r\n$m\r\n012-a\r\n*END* y\r\n*typing\r\n0 z\r\n*EOF*");
  Next();
  EXPECT_EQ(Next(), u"*END*");
  EXPECT_EQ(fields_.RecText, u"*TYPINGS x\r\n*1*A\r\n$5 s\r\n%m\r\n012 a\r\n");
  EXPECT_EQ(fields_.CurLine, u"*END* y");
  ExpectRecords({fields_.RecText, u"*END* y\r\n", u"*typing\r\n", u"0 z\r\n", u"*EOF*"});
}

TEST_F(RecordReaderTest, CallersMarkerExtendsRecord) {
  Open("*1*A\r\n*2*B\r\n0 x\r\n*9*C\r\n*EOF*");
  Prime();
  EXPECT_EQ(Next(u"*9"), u"*9");
  EXPECT_EQ(fields_.RecText, u"*2*B\r\n0 x\r\n");
  EXPECT_EQ(fields_.CurLine, u"*9*C");
  Next();
  EXPECT_EQ(fields_.RecText, u"*9*C\r\n");  // the marker did not carry over
}

TEST_F(RecordReaderTest, EmptyFile) {
  Open("");
  for (int i = 0; i < 3; ++i) {
    Next();
    EXPECT_EQ(fields_.RecText, u"");
    EXPECT_TRUE(reader_.Exhausted());
  }
}

TEST_F(RecordReaderTest, OnlyEndOfBookLine) {
  Open("*EOF*\r\n");
  Next();
  EXPECT_EQ(fields_.RecText, u"\r\n");
  EXPECT_EQ(fields_.CurLine, u"*EOF*");
  EXPECT_FALSE(reader_.Exhausted());
  ExpectRecords({u"\r\n", u"*EOF*", u"*EOF*"});
  EXPECT_TRUE(reader_.Exhausted());
}

TEST_F(RecordReaderTest, StarRecordThenLastLineThatIsNoRecordStart) {
  Open("*1*A\r\n*2*B\r\nlast");
  Prime();
  Next();
  EXPECT_EQ(fields_.RecText, u"*2*B\r\n");
  EXPECT_FALSE(reader_.Exhausted());
  ExpectRecords({u"*2*B\r\n", u"last", u"last"});
  EXPECT_TRUE(reader_.Exhausted());
}

// The end of the file inside a record: every line is delivered once.
struct UnfinishedCase {
  const char* name;
  std::string text;
  std::u16string last_record;
};

void PrintTo(const UnfinishedCase& c, std::ostream* os) { *os << c.name; }

class UnfinishedRecordTest : public RecordReaderTest,
                             public ::testing::WithParamInterface<UnfinishedCase> {};

TEST_P(UnfinishedRecordTest, DeliversCollectedAndLastLinesOnce) {
  Open(GetParam().text);
  Prime();
  EXPECT_EQ(fields_.RecText, u"*1*A\r\n");
  EXPECT_FALSE(reader_.Exhausted());
  Next();
  EXPECT_EQ(fields_.RecText, GetParam().last_record);
  EXPECT_TRUE(reader_.Exhausted());
  for (int i = 0; i < 2; ++i) {
    Next();
    EXPECT_EQ(fields_.RecText, u"");
    EXPECT_TRUE(reader_.Exhausted());
  }
  EXPECT_TRUE(display_.boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EndOfFile, UnfinishedRecordTest,
    ::testing::Values(UnfinishedCase{"last line continues a record", "*1*A\r\n0 x\r\nbody\r\nlast",
                                     u"0 x\r\nbody\r\nlast\r\n"},
                      UnfinishedCase{"empty last line", "*1*A\r\n0 x\r\n\r\n", u"0 x\r\n\r\n"},
                      UnfinishedCase{"typing record never closed",
                                     "*1*A\r\n*TYPING t\r\n*2*B\r\nlast\r\n",
                                     u"*TYPING t\r\n*2*B\r\nlast\r\n"},
                      UnfinishedCase{"typing record whose last line starts a record",
                                     "*1*A\r\n*TYPING t\r\n*EOF*", u"*TYPING t\r\n*EOF*\r\n"}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p) name += *p == ' ' ? '_' : *p;
      return name;
    });

// Error paths: what the user sees, and that the run goes on.

TEST_F(RecordReaderTest, NoFileOpen) {
  for (int32_t no : {-1, 4}) {
    display_.Clear();
    fields_.FileNo = no;
    fields_.RecText = u"stale";
    Next();
    EXPECT_EQ(fields_.RecText, u"");
    ASSERT_EQ(display_.boxes().size(), 1u);
    EXPECT_EQ(display_.boxes()[0].prompt, u"Bad file name or number");
    EXPECT_EQ(display_.boxes()[0].style, BoxStyle::kPlain);
    EXPECT_EQ(display_.boxes()[0].title, kDefaultTitle);
  }
}

TEST_F(RecordReaderTest, LongNumberOverflowsAndRunGoesOn) {
  const std::string digits(40000, '0');
  Open("*1*A\r\n" + digits + "-x\r\n012-b\r\n*EOF*");
  Prime();
  EXPECT_EQ(fields_.RecText, u"*1*A\r\n");
  const std::u16string line = std::u16string(40000, u'0') + u"-x";
  EXPECT_EQ(fields_.CurLine, line);  // as read, not rewritten
  ASSERT_EQ(display_.boxes().size(), 1u);
  EXPECT_EQ(display_.boxes()[0].prompt, u"Overflow");
  EXPECT_EQ(display_.boxes()[0].style, BoxStyle::kPlain);
  EXPECT_EQ(display_.boxes()[0].title, kDefaultTitle);
  ExpectRecords({u"*1*A\r\n", line + u"\r\n", u"012 b\r\n", u"*EOF*"});
  EXPECT_EQ(display_.boxes().size(), 1u);
}

TEST_F(RecordReaderTest, SeparatorPositionLimit) {
  struct Row {
    size_t digits;
    std::string tail;
    bool overflows;
  };
  for (const Row& row : {Row{32766, "-x", false}, Row{32767, "-x", true}, Row{32766, "", false},
                         Row{32767, "", true}}) {
    SCOPED_TRACE(testing::Message() << row.digits << " digits, tail \"" << row.tail << '"');
    display_.Clear();
    Open("*1*A\r\n" + std::string(row.digits, '0') + row.tail);
    Prime();
    std::u16string as_read = std::u16string(row.digits, u'0') + (row.tail.empty() ? u"" : u"-x");
    std::u16string rewritten =
        row.tail.empty() || row.overflows ? as_read : std::u16string(row.digits, u'0') + u" x";
    EXPECT_EQ(fields_.CurLine, rewritten);
    EXPECT_EQ(display_.boxes().size(), row.overflows ? 1u : 0u);
  }
}

}  // namespace
}  // namespace addbook
