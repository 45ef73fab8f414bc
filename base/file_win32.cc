#include <stdio.h>

#include "base/file.h"

namespace addbook {

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}

}  // namespace addbook
