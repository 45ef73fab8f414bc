// The progress window's layout, in twips (1/1440 inch; 15 twips make a
// pixel at 96 dots per inch), read by every window implementation.  The
// client area shows the list and nothing else; the text box, the buttons and
// the labels sit beyond its edges, present, enabled and out of view.
#ifndef ADDBOOK_APP_WINDOW_LAYOUT_H_
#define ADDBOOK_APP_WINDOW_LAYOUT_H_

#include "base/display.h"

namespace addbook::layout {

inline constexpr int kClientWidth = 6495;
inline constexpr int kClientHeight = 1185;
inline constexpr int kTwipsPerInch = 1440;

// A control's place within the client area.
struct Place {
  Control control;
  const char* name;  // the window object's name for it
  int left, top, width, height;
};

// The list, the one control in view.
inline constexpr Place kList1 = {Control::kText1, "List1", 120, 120, 6375, 1035};

// The other controls in tab order, which is also the order of creation (and
// so the focus chain).  The list comes after them all.
inline constexpr Place kPlaces[kControlCount] = {
    {Control::kText1, "Text1", 120, 1560, 9135, 1815},
    {Control::kFirst, "First", 6960, 3720, 1695, 375},
    {Control::kCommand1, "Command1", 6960, 4320, 1695, 375},
    {Control::kCurVol, "lCurVol", 360, 3720, 615, 255},
    {Control::kCurBook, "lCurBook", 1080, 3720, 615, 255},
    {Control::kCurChapter, "lCurChapter", 1800, 3720, 615, 255},
    {Control::kPhase, "lPhase", 360, 4200, 5895, 255},
    {Control::kBab, "lBAB", 360, 4680, 615, 255},
    {Control::kCommand2, "Command2", 6960, 4920, 1695, 375},
    {Control::kCurHadeeth, "lCurHadeeth", 2520, 3720, 615, 255},
    {Control::kCurSubChapter, "lCurSubChapter", 3240, 3720, 615, 255},
};

inline constexpr bool IsButton(Control c) {
  return c == Control::kFirst || c == Control::kCommand1 || c == Control::kCommand2;
}

}  // namespace addbook::layout

#endif  // ADDBOOK_APP_WINDOW_LAYOUT_H_
