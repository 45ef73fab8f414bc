// A build without a window: the console always shows the progress.
#include "app/platform.h"

namespace addbook {

std::unique_ptr<DesktopWindow> OpenDesktopWindow(int, char**, std::string& why_not) {
  why_not.clear();
  return nullptr;
}

}  // namespace addbook
