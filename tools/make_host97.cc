// make_host97: makes the Access 97 (Jet 3) test host from a real Access 97
// file that Microsoft's Jet wrote: a copy of it holding the host's tables
// Books, Titles and Hadeeths, empty, with their indexes, created by addbook's
// own engine.
//
//   make_host97 <real Access 97 file> <new file>
//
// The real file is only read.  Exits 1, saying why, when it cannot be done.
#include <cstdio>
#include <filesystem>

#include "base/error.h"
#include "base/text.h"
#include "db/jet/host97_test_util.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: make_host97 <real Access 97 file> <new file>\n", stderr);
    return 1;
  }
  try {
    addbook::jet::MakeHost97(argv[1], argv[2]);
  } catch (const addbook::Error& error) {
    std::fprintf(stderr, "make_host97: %s\n", addbook::Utf16ToUtf8(error.description()).c_str());
    return 1;
  } catch (const std::filesystem::filesystem_error& error) {
    std::fprintf(stderr, "make_host97: %s\n", error.what());
    return 1;
  }
  return 0;
}
