// Whether the progress window can be shown: decided before any window
// toolkit starts, since a toolkit that cannot reach its display ends the
// process.
#ifndef ADDBOOK_APP_DESKTOP_H_
#define ADDBOOK_APP_DESKTOP_H_

#include <string>

namespace addbook {

// True when a desktop session can be reached.  False without one; then
// |why_not| says, in a short phrase, why a desktop that the environment names
// cannot be reached, and is left empty when the environment names none.
bool DesktopAvailable(std::string& why_not);

}  // namespace addbook

#endif  // ADDBOOK_APP_DESKTOP_H_
