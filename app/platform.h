// What the installer needs from the system it runs on.  One implementation
// file per platform, picked in CMake: platform_linux.cc (the host under
// Wine), platform_win32.cc; the settings store likewise (settings.h), and the
// desktop window per window system (desktop_qt.cc, desktop_win32.cc,
// desktop_none.cc).
#ifndef ADDBOOK_APP_PLATFORM_H_
#define ADDBOOK_APP_PLATFORM_H_

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "base/display.h"

namespace addbook {

// Readies the process for a run: a reader of the output that goes away must
// make writes fail, not end the import half way.
void PrepareProcess();

// The folder that holds the running executable.  Throws Error (path/file
// access) when the system cannot tell.
std::filesystem::path ExecutableDir();

// The file that the host's Windows path |windows_path| names, as this
// system opens it (under Wine: mapped onto the prefix's drives).
std::filesystem::path HostFilePath(std::u16string_view windows_path);

// The progress window on the desktop, with the window system it needs.
class DesktopWindow {
 public:
  virtual ~DesktopWindow() = default;
  virtual Display& display() = 0;
};

// Opens the progress window when a desktop can be reached and this build
// has a window.  Otherwise returns null; |why_not| then says, in a short
// phrase, why a desktop that the environment names cannot be reached, and is
// empty when there is none to reach.  |argc| and |argv| are the program's own.
std::unique_ptr<DesktopWindow> OpenDesktopWindow(int argc, char** argv, std::string& why_not);

}  // namespace addbook

#endif  // ADDBOOK_APP_PLATFORM_H_
