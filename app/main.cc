// addbook: adds the book in h1.txt, beside this executable, to the host
// program's database.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/console_display.h"
#include "app/form1.h"
#include "app/platform.h"
#include "app/settings.h"
#include "base/text.h"
#include "db/engine.h"

namespace {

constexpr char kUsage[] =
    "Usage: addbook [--engine=native | --engine=odbc] | --help | --version\n"
    "\n"
    "Adds the book in h1.txt, which ships beside this program, to the database\n"
    "of Varnel (Hadeeth.mdb in the data folder that Varnel records in its\n"
    "settings).  Progress lines go to standard output, messages to standard\n"
    "error when there is no display.\n"
    "\n"
    "An Access database is written by this program's own engine, or on Windows\n"
    "by Microsoft's Access driver when it is installed:\n"
    "  --engine=native  always this program's own engine\n"
    "  --engine=odbc    always an ODBC driver named \"Microsoft Access Driver\n"
    "                   (*.mdb)\" or \"Microsoft Access Driver (*.mdb, *.accdb)\"\n"
    "\n"
    "Exit status: 0 the book was added and nothing failed; 1 the book was added\n"
    "but failures were reported; 2 nothing of the book was stored.\n";

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
  // At most one argument.
  engine::AccessEngine access = engine::AccessEngine::kPlatform;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (argc == 2 && arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::printf("addbook %s\n", ADDBOOK_VERSION);
      return 0;
    }
    if (i == 1 && arg == "--engine=native") {
      access = engine::AccessEngine::kNative;
    } else if (i == 1 && arg == "--engine=odbc") {
      access = engine::AccessEngine::kOdbc;
    } else {
      std::fprintf(stderr, "addbook: unexpected argument '%s'\n", argv[i]);
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  PrepareProcess();
  Platform platform;
  platform.open_database = engine::DatabaseOpener(access);
  platform.read_host_folder = [] { return GetSetting(u"Tessivar", u"Settings", u"Path", u"NONE"); };
  platform.executable_dir = ExecutableDir;
  platform.resolve_path = HostFilePath;

  std::string why_not;
  if (std::unique_ptr<DesktopWindow> window = OpenDesktopWindow(argc, argv, why_not)) {
    return Run(window->display(), std::move(platform));
  }
  if (!why_not.empty()) {
    std::fprintf(stderr, "addbook: %s; showing progress on the console\n", why_not.c_str());
  }
  ConsoleDisplay display;
  return Run(display, std::move(platform));
}
