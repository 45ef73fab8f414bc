#include "app/console_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace addbook {
namespace {

// Everything written to |f| so far.
std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  return text;
}

TEST(ConsoleDisplayTest, ListGoesToStandardOutputAndBoxesToStandardError) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ConsoleDisplay display(out, err);
  display.AddListLine(u"Adding Book, Please Wait ...");
  display.MsgBox(u"Error Finding Title", BoxStyle::kPlain, u"");
  display.AddListLine(u"dbCMD:no such table: Titles");
  display.MsgBox(u"-14 unable to open\r\nsecond line", BoxStyle::kCritical, u"DB Error  ( 0 )");
  display.ShowCaption(Control::kPhase, u"eof");  // captions are not shown on the console
  display.MsgBox(u"\u0628\u0627\u0628 a\rb\nc", BoxStyle::kPlain, u"Add Matn");

  EXPECT_EQ(Contents(out), "Adding Book, Please Wait ...\ndbCMD:no such table: Titles\n");
  EXPECT_EQ(Contents(err),
            "Adding Book: Error Finding Title\n"
            "DB Error  ( 0 ): -14 unable to open\nsecond line\n"
            "Add Matn: \xD8\xA8\xD8\xA7\xD8\xA8 a\nb\nc\n");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace addbook
