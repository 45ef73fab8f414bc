// The system's words for a Windows error code, shared by the Windows pieces
// of the native engine (file_io_win32.cc, host_file_win32.cc).
#ifndef ADDBOOK_DB_JET_WIN32_ERROR_H_
#define ADDBOOK_DB_JET_WIN32_ERROR_H_

#include <string>

namespace addbook::jet {

// The system's text for |code| (a DWORD), in UTF-8, without its line end,
// trailing spaces and final full stop; empty when the system has none.
std::string SystemWords(unsigned long code);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_WIN32_ERROR_H_
