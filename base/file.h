// Opening a file by its path on every platform: on Windows a narrow path
// would pass through the ANSI code page and lose Arabic folder names, so the
// path goes to the system in its own form.
#ifndef ADDBOOK_BASE_FILE_H_
#define ADDBOOK_BASE_FILE_H_

#include <cstdio>
#include <filesystem>

namespace addbook {

// Opens the file at |path| for reading bytes.  Null on failure, with errno
// saying why.
std::FILE* OpenForReading(const std::filesystem::path& path);

}  // namespace addbook

#endif  // ADDBOOK_BASE_FILE_H_
