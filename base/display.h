// What the user sees of a run: the progress window's list and captions, and
// the modal message boxes.  Three realisations: a desktop window, a console
// (no display, or built without the window toolkit), and a recording fake for
// tests.
//
// The display only shows.  The window object stores every caption itself and
// reads it back from its own store, so what a display does to a text (shaping,
// clipping, nothing at all) never changes the run.
#ifndef ADDBOOK_BASE_DISPLAY_H_
#define ADDBOOK_BASE_DISPLAY_H_

#include <string>
#include <string_view>

namespace addbook {

// The window's controls other than the list.
enum class Control {
  kText1,
  kFirst,
  kCommand1,
  kCommand2,
  kCurVol,         // lCurVol
  kCurBook,        // lCurBook
  kCurChapter,     // lCurChapter
  kCurHadeeth,     // lCurHadeeth
  kCurSubChapter,  // lCurSubChapter
  kPhase,          // lPhase
  kBab,            // lBAB
};
inline constexpr int kControlCount = 11;

// Message box styles: OK button only, with no icon or with the critical-stop icon.
enum class BoxStyle { kPlain = 0, kCritical = 16 };

// The program's default title, used by every box that the caller gives no title.
inline constexpr std::u16string_view kDefaultTitle = u"Adding Book";

// The window's title.
inline constexpr std::u16string_view kWindowTitle = u"Varnel - Adding Book";

// What the user does to the window, delivered while the display handles its
// events (DoEvents, or a modal box being open).
class DisplayEvents {
 public:
  virtual ~DisplayEvents() = default;
  // The window is being closed.
  virtual void Closing() = 0;
  // One of the buttons kFirst, kCommand1, kCommand2 was pressed.
  virtual void Clicked(Control button) = 0;
};

class Display {
 public:
  virtual ~Display() = default;

  // Where user actions go; null for none.  Not owned.
  virtual void SetEvents(DisplayEvents* events) { (void)events; }

  // Appends |line| to the progress list, as its new last line.
  virtual void AddListLine(std::u16string_view line) = 0;

  // Shows |text| as the caption of |control|.
  virtual void ShowCaption(Control control, std::u16string_view text) = 0;

  // Shows a modal box with an OK button and returns once it has been closed.
  // An empty |title| means kDefaultTitle.
  virtual void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) = 0;

  // Shows the window (not modal).
  virtual void ShowWindow() = 0;

  // Brings what is on screen up to date at once.
  virtual void Repaint() = 0;

  // Lets the display handle its pending events once (paint, input, closing).
  virtual void DoEvents() = 0;
};

}  // namespace addbook

#endif  // ADDBOOK_BASE_DISPLAY_H_
