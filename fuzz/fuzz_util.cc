#include "fuzz/fuzz_util.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace addbook::fuzz {
namespace {

namespace fs = std::filesystem;

// Removes the scratch folders at exit; libFuzzer ends the process with exit().
std::vector<std::string>& Folders() {
  static auto* folders = [] {
    auto* list = new std::vector<std::string>;
    std::atexit([] {
      std::error_code ec;
      for (const std::string& folder : Folders()) fs::remove_all(folder, ec);
    });
    return list;
  }();
  return *folders;
}

}  // namespace

std::string ScratchFolder(std::string_view name) {
  std::error_code ec;
  fs::path base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                      ? fs::path("/dev/shm")
                      : fs::temp_directory_path();
  std::string pattern = (base / ("addbook-fuzz-" + std::string(name) + "-XXXXXX")).string();
  Check(mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
  Folders().push_back(pattern);
  return pattern;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(static_cast<bool>(out), "cannot write a scratch file");
}

}  // namespace addbook::fuzz
