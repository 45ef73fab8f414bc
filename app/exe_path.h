// Where the running program lives.
#ifndef ADDBOOK_APP_EXE_PATH_H_
#define ADDBOOK_APP_EXE_PATH_H_

#include <string>

namespace addbook {

// The folder that holds the running executable, as a native path without a
// trailing slash ("/" when the executable sits in the root folder).  Throws
// Error (path/file access) when the system cannot tell.
std::string ExecutableDir();

}  // namespace addbook

#endif  // ADDBOOK_APP_EXE_PATH_H_
