// The window with Qt on Linux.  Qt goes through X here (the only display
// platform it is installed with), and ends the process when it cannot reach
// its display, so an X server is asked first: a desktop is there when one
// answers on $DISPLAY and accepts this program.  A Qt platform chosen by name
// in QT_QPA_PLATFORM is taken as given.
#include <xcb/xcb.h>

#include <QApplication>
#include <cstdlib>

#include "app/platform.h"
#include "app/qt_display.h"

namespace addbook {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool DesktopReachable(std::string& why_not) {
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
    why_not =
        "the window needs an X display, and only the Wayland display \"" + wayland + "\" is named";
  }
  return false;
}

class QtWindow : public DesktopWindow {
 public:
  QtWindow(int argc, char** argv) : argc_(argc), application_(argc_, argv) {}
  Display& display() override { return display_; }

 private:
  int argc_;  // QApplication keeps a reference to it
  QApplication application_;
  QtDisplay display_;
};

}  // namespace

std::unique_ptr<DesktopWindow> OpenDesktopWindow(int argc, char** argv, std::string& why_not) {
  why_not.clear();
  if (!DesktopReachable(why_not)) return nullptr;
  return std::make_unique<QtWindow>(argc, argv);
}

}  // namespace addbook
