// Helpers the fuzz targets share.
#ifndef ADDBOOK_FUZZ_FUZZ_UTIL_H_
#define ADDBOOK_FUZZ_FUZZ_UTIL_H_

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace addbook::fuzz {

// A fresh folder of this process's own, under /dev/shm when there is one (so
// that writes and syncs stay in memory), else under the temporary folder.
// Removed when the process exits.
std::string ScratchFolder(std::string_view name);

// Writes |bytes| to |path|, replacing it.
void WriteFile(const std::string& path, std::string_view bytes);

// Stops the run with |what| when |ok| is false: the input broke a rule.
inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace addbook::fuzz

#endif  // ADDBOOK_FUZZ_FUZZ_UTIL_H_
