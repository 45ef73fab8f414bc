// The record loop over a real source text and a real host: what each kind of
// record writes and the counters it keeps.
#include "source/record_dispatcher.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

// "باب" in Windows-1256.
#define BAB_1256 "\xC8\xC7\xC8"

using Texts = std::vector<std::string>;

class RecordDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_.OpenDb(no_)); }

  // Runs the loop over |lines| (Windows-1256 text), primed as start-up
  // primes it, and commits.  Returns the boxes shown, as their prompts.
  Texts Loop(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    std::ofstream(host_.folder() + "/h1.txt", std::ios::binary) << text;
    files_.Open(record_.FileNo = files_.FreeFile(), host_.folder() + "/h1.txt");
    for (std::u16string end_marker : {u"", u""}) reader_.readNext(end_marker);
    dispatcher_.Command1_Click();
    db_.Conn.CommitTrans();
    Texts boxes;
    for (const auto& box : display_.boxes()) boxes.push_back(Utf16ToUtf8(box.prompt));
    return boxes;
  }

  TestHost host_;
  std::u16string sep_ = host_.sep();
  RecordingDisplay display_;
  Captions captions_{display_};
  Database db_{display_, sep_};
  int16_t no_ = 0;
  ExportData writers_{db_, display_};
  ReaderFields record_;
  DispatchFields fields_;
  FileTable files_;
  RecordReader reader_{record_, files_, display_};
  RecordDispatcher dispatcher_{record_, fields_, reader_, writers_, captions_, display_};
};

// Each level counts its headings and starts the levels below it afresh.
TEST_F(RecordDispatcherTest, HeadingLevelsAndOddMarkers) {
  EXPECT_EQ(Loop({"*1*one", "*2*two", "*3*" BAB_1256 " three", "*4*four", "*4*five", "*3*six",
                  "*4*seven", "*2*eight", "*3*nine", "*4*ten", "*7*wrong", "*12*double digit",
                  "*no second star", "*book*lower case", "*NOTE*unknown keyword", "123 not a sanad",
                  "*2*  spaced  ", "*1*eof", "*EOF*"}),
            Texts{});
  // A wrong number leaves the counters unchanged; a title "eof" does not stop
  // the loop.
  EXPECT_EQ(host_.Value("SELECT group_concat(Vol || KTB || BAB || SubBAB || ' ' || Title, '') "
                        "FROM (SELECT * FROM Titles ORDER BY TitleID)"),
            "1000 one\r\n1100 two\r\n1110 \u0628\u0627\u0628 three\r\n1111 four\r\n1112 five\r\n"
            "1120 six\r\n1121 seven\r\n1200 eight\r\n1210 nine\r\n1211 ten\r\n1211 wrong\r\n"
            "2000 *double digit\r\n2100 spaced  \r\n3000 eof\r\n");
  EXPECT_EQ(host_.Value("SELECT (SELECT count(*) FROM Books) + (SELECT count(*) FROM Hadeeths)"),
            "0");
}

// Author and typing details find no book; a comment finds no heading
// (counters 0,0,0,0 give -1); a body before any sanad finds no hadeeth 0.  The
// sanad is stored under -1 and its body finds it by -1.
TEST_F(RecordDispatcherTest, RecordsBeforeTheirBookAndHeading) {
  EXPECT_EQ(Loop({"*AUTHOR*a", "*TYPING*t", "*END*", "@early note", "*NOTE*aside", "$early body",
                  "0001-sanad", "*NOTE*aside", "$its body", "*EOF*"}),
            (Texts{"Error Finding Book", "Error Finding Book", "Error Finding Title",
                   "Error Finding Hadeeth"}));
  EXPECT_EQ(host_.Rows("SELECT TitleID, HadeethID, Hadeeth FROM Hadeeths"),
            (std::vector<TestHost::Row>{{"-1", "1", "0001 sanad\r\n\r\n'its body\r\n\r\n'"}}));
}

// A counter at its limit fails its step in a box; the pass goes on and the
// record is still written.  The reader then finds no file open.
TEST_F(RecordDispatcherTest, CounterOverflowIsOneBox) {
  fields_.CurVol = 32767;
  record_.RecText = u"*1*past the end\r\n";
  record_.FileNo = files_.FreeFile();
  dispatcher_.Pass();
  ASSERT_EQ(display_.boxes().size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(display_.boxes()[0].prompt + u"|" + display_.boxes()[1].prompt),
            "Overflow|Bad file name or number");
  EXPECT_EQ(record_.RecText, u"");
  db_.Conn.CommitTrans();
  EXPECT_EQ(host_.Value("SELECT Vol || Title FROM Titles"), "32767past the end\r\n");
}

}  // namespace
}  // namespace addbook
