// The window with Qt on Linux.  Qt ends the process when none of the
// platforms it is told to try can start (a plugin missing, a display that
// does not answer), so the installer asks first, in Qt's own order, and
// shows its progress on the console when no platform would start.
//
// The platforms tried are those named in QT_QPA_PLATFORM ("name:options",
// several joined by ';', names in any case), or else Qt's default for the
// desktop: Wayland first when a Wayland session is named, then X.  A
// platform starts when its plugin is installed (a file in Qt's platform
// plugin folders whose metadata lists the name; the metadata is read without
// loading the plugin) and what it draws on answers: an X server on $DISPLAY
// for xcb, a compositor on the Wayland socket for wayland and its variants;
// offscreen, minimal and vnc need nothing.  The platforms that draw on a
// device of their own (eglfs, linuxfb, minimalegl, vkkhrdisplay) end the
// process or show nothing when the device is missing or unfit, which cannot
// be asked beforehand, so the window is not shown on them.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/platform.h"
#include "app/qt_display.h"
#include "base/text.h"

namespace addbook {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Whether a plugin for the Qt platform |name| (lower case) is installed where
// Qt looks for one.
bool PlatformInstalled(const std::string& name) {
  QStringList folders;
  if (const std::string own = Variable("QT_QPA_PLATFORM_PLUGIN_PATH"); !own.empty()) {
    folders << QString::fromLocal8Bit(own);
  }
  for (const QString& folder : QCoreApplication::libraryPaths()) folders << folder + "/platforms";
  const QString key = QString::fromStdString(name);
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList(QDir::Files)) {
      const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
      if (!meta.value("IID").toString().startsWith(
              "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface")) {
        continue;
      }
      for (const QJsonValue& k : meta.value("MetaData").toObject().value("Keys").toArray()) {
        if (k.toString().compare(key, Qt::CaseInsensitive) == 0) return true;
      }
    }
  }
  return false;
}

// Empty when an X server accepts this program on $DISPLAY, else why not.
std::string WhyNoX() {
  const std::string display = Variable("DISPLAY");
  if (display.empty()) return "no X display is named";
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  if (error == 0) return "";
  return "no X server accepts a connection on the display \"" + display + "\"";
}

// Empty when a compositor accepts a connection on the Wayland socket (found
// as the Wayland client library finds it), else why not.
std::string WhyNoWayland() {
  std::string socket_path = Variable("WAYLAND_DISPLAY");
  if (socket_path.empty()) socket_path = "wayland-0";
  if (socket_path[0] != '/') {
    const std::string runtime = Variable("XDG_RUNTIME_DIR");
    if (runtime.empty()) return "no Wayland socket can be found: XDG_RUNTIME_DIR is not set";
    socket_path = runtime + "/" + socket_path;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  bool accepted = false;
  if (socket_path.size() < sizeof(address.sun_path)) {
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    accepted = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
  }
  if (accepted) return "";
  return "no Wayland compositor accepts a connection on \"" + socket_path + "\"";
}

// Empty when the Qt platform |name| (lower case) would start, else why not.
std::string WhyNotPlatform(const std::string& name) {
  if (!PlatformInstalled(name)) return "the Qt platform \"" + name + "\" is not installed";
  if (name == "xcb") return WhyNoX();
  if (name.starts_with("wayland")) return WhyNoWayland();
  if (name == "offscreen" || name == "minimal" || name == "vnc") return "";
  return "the Qt platform \"" + name + "\" needs a device that cannot be checked before it starts";
}

// Whether a Qt platform would start.  When none would, |why_not| says why
// for each one tried, and is empty when the environment names no desktop.
bool DesktopReachable(std::string& why_not) {
  const std::string named = Variable("QT_QPA_PLATFORM");
  std::vector<std::string> platforms;
  if (!named.empty()) {
    for (size_t start = 0; start <= named.size();) {
      const size_t end = std::min(named.find(';', start), named.size());
      std::string name = named.substr(start, end - start);
      name.resize(std::min(name.find(':'), name.size()));
      for (char& c : name) c = AsciiLower(c);
      if (!name.empty()) platforms.push_back(name);
      start = end + 1;
    }
  } else {
    const bool wayland = !Variable("WAYLAND_DISPLAY").empty();
    if (!wayland && Variable("DISPLAY").empty()) return false;
    if (wayland || Variable("XDG_SESSION_TYPE") == "wayland") platforms.push_back("wayland");
    platforms.push_back("xcb");
  }
  for (const std::string& platform : platforms) {
    const std::string why = WhyNotPlatform(platform);
    if (why.empty()) return true;
    why_not += (why_not.empty() ? "" : ", and ") + why;
  }
  if (!named.empty()) {
    why_not = "QT_QPA_PLATFORM is \"" + named + "\", " +
              (platforms.empty() ? "which names no Qt platform" : "and " + why_not);
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
