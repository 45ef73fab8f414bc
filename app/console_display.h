// The display used without a desktop: the progress list goes to standard
// output, one line per list line and nothing else; each message box goes to
// standard error as "<title>: <text>".  It never waits for a key.  A stream
// that cannot be written (a closed pipe, a full disk) is given up at its
// first failure and the run goes on without it.
#ifndef ADDBOOK_APP_CONSOLE_DISPLAY_H_
#define ADDBOOK_APP_CONSOLE_DISPLAY_H_

#include <cstdio>
#include <string>

#include "base/display.h"

namespace addbook {

class ConsoleDisplay : public Display {
 public:
  // Writes to |out| and |err|, which must stay open while it is used.
  ConsoleDisplay(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}

  void AddListLine(std::u16string_view line) override;
  void ShowCaption(Control, std::u16string_view) override {}
  void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) override;
  void ShowWindow() override {}
  void Repaint() override {}
  void DoEvents() override {}

 private:
  // Writes |text| and flushes; on failure gives |*stream| up for good.
  static void Write(std::FILE*& stream, const std::string& text);

  std::FILE* out_;
  std::FILE* err_;
};

// |text| with each line break (CR LF, CR or LF) written as one newline.
std::u16string ConsoleLines(std::u16string_view text);

}  // namespace addbook

#endif  // ADDBOOK_APP_CONSOLE_DISPLAY_H_
