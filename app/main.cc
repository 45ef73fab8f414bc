// addbook: adds the book in h1.txt, beside this executable, to the host
// program's database.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/console_display.h"
#include "app/desktop.h"
#include "app/exe_path.h"
#include "app/form1.h"
#include "app/settings.h"
#include "base/text.h"
#if ADDBOOK_QT
#include <QApplication>

#include "app/qt_display.h"
#endif

namespace {

constexpr char kUsage[] =
    "Usage: addbook [--help | --version]\n"
    "\n"
    "Adds the book in h1.txt, which ships beside this program, to the database\n"
    "of Varnel (Hadeeth.mdb in the data folder that Varnel records in its\n"
    "settings).  Progress lines go to standard output, messages to standard\n"
    "error when there is no display.\n"
    "\n"
    "Exit status: 0 the book was added and nothing failed; 1 the book was added\n"
    "but failures were reported; 2 the run stopped before the end.\n";

// True when the progress window is used: the program was built with it and
// a desktop session can be reached.  When the environment names a desktop
// that cannot be reached, says so in one line and uses the console.
bool UseWindow() {
#if !ADDBOOK_QT
  return false;
#else
  std::string why_not;
  if (addbook::DesktopAvailable(why_not)) return true;
  if (!why_not.empty()) {
    std::fprintf(stderr, "addbook: %s; showing progress on the console\n", why_not.c_str());
  }
  return false;
#endif
}

// Runs the whole import on |display|, sums it up on standard error and
// returns the exit status.
int Run(addbook::Display& display, addbook::Platform platform) {
  using namespace addbook;
  auto start = std::chrono::steady_clock::now();
  Form1 form(display, std::move(platform));
  form.Form_Load();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::string summary = "addbook: " + Utf16ToUtf8(form.Summary(seconds)) + "\n";
  std::fputs(summary.c_str(), stderr);
  return form.ExitStatus();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace addbook;
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::printf("addbook %s\n", ADDBOOK_VERSION);
      return 0;
    }
    std::fprintf(stderr, "addbook: unexpected argument '%s'\n", argv[1]);
    std::fputs(kUsage, stderr);
    return 2;
  }

#ifdef SIGPIPE
  // A reader of the output that goes away must not end the import half way:
  // writes to it fail instead, and the console display stops writing there.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  std::string prefix = WinePrefix();
  Platform platform;
  platform.read_host_folder = [] { return GetSetting(u"Tessivar", u"Settings", u"Path", u"NONE"); };
  platform.executable_dir = ExecutableDir;
  platform.resolve_path = [prefix](std::u16string_view path) { return NativePath(path, prefix); };

  if (UseWindow()) {
#if ADDBOOK_QT
    QApplication application(argc, argv);
    QtDisplay display;
    return Run(display, std::move(platform));
#endif
  }
  ConsoleDisplay display;
  return Run(display, std::move(platform));
}
