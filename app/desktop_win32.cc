// The window with Win32 on Windows.  The executable is a GUI-subsystem
// program: started by a double click or from a console, it shows its window;
// started with its standard output redirected to a file or a pipe, as scripts
// and tests start it, it shows its progress there instead (list lines on
// standard output, boxes on standard error), and opens no window.
#include <windows.h>

#include <string>
#include <system_error>

#include "app/platform.h"
#include "app/win32_display.h"

namespace addbook {
namespace {

// True when standard output goes to a file or a pipe.
bool OutputRedirected() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(output);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

class Win32Window : public DesktopWindow {
 public:
  Display& display() override { return display_; }

 private:
  Win32Display display_;
};

}  // namespace

std::unique_ptr<DesktopWindow> OpenDesktopWindow(int, char**, std::string& why_not) {
  why_not.clear();
  if (OutputRedirected()) return nullptr;
  try {
    return std::make_unique<Win32Window>();
  } catch (const std::system_error& e) {
    why_not = "the window cannot be made (" + std::string(e.what()) + ", error " +
              std::to_string(e.code().value()) + ")";
    return nullptr;
  }
}

}  // namespace addbook
