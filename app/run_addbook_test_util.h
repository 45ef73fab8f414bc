// The real executable, installed as a user installs it: copied beside the
// sample book into a folder of its own, with a Wine prefix whose settings
// name a fresh host's folder.  Drive C: of the prefix is the host's folder,
// and its folder "مكتب" links back to it.
#ifndef ADDBOOK_APP_RUN_ADDBOOK_TEST_UTIL_H_
#define ADDBOOK_APP_RUN_ADDBOOK_TEST_UTIL_H_

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "db/test_host.h"

namespace addbook {

struct Installation {
  TestHost host;
  std::string root = host.folder(), out, err;  // out and err: of the last run

  // |setting| is the host's folder as user.reg escapes it.
  explicit Installation(const std::string& setting = "C:\\\\مكتب\\\\") {
    std::system(("cd '" + root + "' && chmod 755 . && mkdir -p bin prefix/dosdevices && ln -s '" +
                 root +
                 "' prefix/dosdevices/c: && ln -s . مكتب && cp '" ADDBOOK_EXE
                 "' bin/addbook && cp '" ADDBOOK_SOURCE_DIR "/book/h1.txt' bin/")
                    .c_str());
    std::ofstream(root + "/prefix/user.reg")
        << "WINE REGISTRY Version 2\n\n[Software\\\\VB and VBA Program Settings\\\\Tessivar\\\\"
           "Settings] 1765000000\n#time=1db6a2b3c4d5e6f\n\"Path\"=\""
        << setting << "\"\n";
  }

  // Runs the executable, behind |wrapper| and with no display, and returns
  // its exit status, -1 when a signal ended it.  A write past a file size
  // limit fails rather than end the run.
  int Run(const std::string& args = "", const std::string& wrapper = "") {
    const int raw = std::system(
        ("cd / && trap '' XFSZ && exec timeout -s KILL 60 env -u DISPLAY -u WAYLAND_DISPLAY "
         "WINEPREFIX='" +
         root + "/prefix' " + wrapper + " '" + root + "/bin/addbook' " + args + " >'" + root +
         "/out' 2>'" + root + "/err' </dev/null")
            .c_str());
    std::getline(std::ifstream(root + "/out"), out, '\0');
    std::getline(std::ifstream(root + "/err"), err, '\0');
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

// Writes killat.sh into |folder| and returns the wrapper that runs a program
// through it, to be followed by a byte count: the program is killed
// (SIGKILL) once its read position in the book (h1.txt beside it) has passed
// that many bytes, however fast it runs.
inline std::string KillAtRead(const std::string& folder) {
  std::ofstream(folder + "/killat.sh") << R"sh("$2" & p=$!
while kill -0 $p 2>/dev/null; do
  for fd in /proc/$p/fd/*; do
    [ "$(readlink "$fd")" = "${2%/*}/h1.txt" ] || continue
    pos=$(sed -n 's/^pos:[[:space:]]*//p' /proc/$p/fdinfo/${fd##*/} 2>/dev/null)
    [ "${pos:-0}" -ge "$1" ] && kill -KILL $p
  done
  sleep 0.01
done
wait $p
)sh";
  return "sh '" + folder + "/killat.sh' ";
}

}  // namespace addbook

#endif  // ADDBOOK_APP_RUN_ADDBOOK_TEST_UTIL_H_
