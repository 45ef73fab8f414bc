// The progress window on a desktop, with Qt Widgets.
//
// The window is laid out in twips, as the window object describes it, and
// turned into pixels at the screen's logical DPI: the client area shows the
// list and nothing else; the text box, the buttons and the labels sit beyond
// its edges, present, enabled and out of view.
#ifndef ADDBOOK_APP_QT_DISPLAY_H_
#define ADDBOOK_APP_QT_DISPLAY_H_

#include <array>
#include <memory>

#include "base/display.h"
#include "base/event_delivery.h"

class QListWidget;
class QWidget;

namespace addbook {

class QtDisplay : public Display {
 public:
  // Builds the window, not yet shown.  A QApplication must exist and outlive
  // this object.
  QtDisplay();
  ~QtDisplay() override;
  QtDisplay(const QtDisplay&) = delete;
  QtDisplay& operator=(const QtDisplay&) = delete;

  void SetEvents(DisplayEvents* events) override { delivery_.set_events(events); }
  void AddListLine(std::u16string_view line) override;
  void ShowCaption(Control control, std::u16string_view text) override;
  // Runs the box's own event loop until it is closed.
  void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) override;
  void ShowWindow() override;
  void Repaint() override;
  // Processes the pending events once; an exception thrown by a user-action
  // handler is rethrown here, after Qt has returned.
  void DoEvents() override;

  // The window.  Its controls are children named as the window object names
  // them: List1, Text1, First, Command1, Command2, lCurVol, lCurBook,
  // lCurChapter, lCurHadeeth, lCurSubChapter, lPhase, lBAB.
  QWidget* window() const;

 private:
  class Window;

  std::unique_ptr<Window> window_;
  QListWidget* list_ = nullptr;                     // owned by window_
  std::array<QWidget*, kControlCount> controls_{};  // owned by window_
  EventDelivery delivery_;  // user actions, delivered from inside the event dispatch
};

}  // namespace addbook

#endif  // ADDBOOK_APP_QT_DISPLAY_H_
