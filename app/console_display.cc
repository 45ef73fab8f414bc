#include "app/console_display.h"

#include <string>

#include "base/text.h"

namespace addbook {

std::u16string ConsoleLines(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void ConsoleDisplay::AddListLine(std::u16string_view line) {
  std::string utf8 = Utf16ToUtf8(ConsoleLines(line));
  utf8.push_back('\n');
  Write(out_, utf8);
}

void ConsoleDisplay::MsgBox(std::u16string_view prompt, BoxStyle, std::u16string_view title) {
  std::u16string entry(title.empty() ? kDefaultTitle : title);
  entry += u": ";
  entry += ConsoleLines(prompt);
  std::string utf8 = Utf16ToUtf8(entry);
  utf8.push_back('\n');
  Write(err_, utf8);
}

void ConsoleDisplay::Write(std::FILE*& stream, const std::string& text) {
  if (!stream) return;
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
    stream = nullptr;
  }
}

}  // namespace addbook
