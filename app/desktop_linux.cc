// The desktop on Linux: the window toolkit goes through X (the only display
// platform it is installed with here), so a desktop is there when an X
// server answers on $DISPLAY and accepts this program.  A toolkit platform
// chosen by name in QT_QPA_PLATFORM is taken as given.
#include <xcb/xcb.h>

#include <cstdlib>

#include "app/desktop.h"

namespace addbook {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool DesktopAvailable(std::string& why_not) {
  why_not.clear();
  if (!Variable("QT_QPA_PLATFORM").empty()) return true;
  const std::string display = Variable("DISPLAY");
  if (!display.empty()) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0) return true;
    why_not = "no X server accepts a connection on the display \"" + display + "\"";
    return false;
  }
  const std::string wayland = Variable("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    why_not = "the window needs an X display, and only the Wayland display \"" + wayland +
              "\" is named";
  }
  return false;
}

}  // namespace addbook
