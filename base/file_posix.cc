#include "base/file.h"

namespace addbook {

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

}  // namespace addbook
