// The progress window on Windows, with plain Win32 windows.
//
// The window is laid out in twips, as the window object describes it, and
// turned into pixels at the screen's DPI: the client area shows the list and
// nothing else; the text box, the buttons and the labels sit beyond its
// edges, present, enabled and out of view.
#ifndef ADDBOOK_APP_WIN32_DISPLAY_H_
#define ADDBOOK_APP_WIN32_DISPLAY_H_

#include <windows.h>

#include <array>

#include "base/display.h"
#include "base/event_delivery.h"

namespace addbook {

class Win32Display : public Display {
 public:
  // Builds the window, not yet shown, on the calling thread, which must be
  // the one that calls every other member.  Throws std::system_error when
  // Windows refuses the window class or a window.
  Win32Display();
  ~Win32Display() override;
  Win32Display(const Win32Display&) = delete;
  Win32Display& operator=(const Win32Display&) = delete;

  void SetEvents(DisplayEvents* events) override { delivery_.set_events(events); }
  void AddListLine(std::u16string_view line) override;
  void ShowCaption(Control control, std::u16string_view text) override;
  // Runs the box's own message loop until it is closed; an exception thrown
  // by a user-action handler meanwhile is rethrown once the box has returned.
  void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) override;
  void ShowWindow() override;
  void Repaint() override;
  // Dispatches the messages pending for this thread once; an exception
  // thrown by a user-action handler is rethrown here, after Windows has
  // returned.
  void DoEvents() override;

  // The top-level window.
  HWND window() const { return window_; }
  // The list, List1.
  HWND list() const { return list_; }
  // The child window that shows |control|.
  HWND control(Control control) const { return controls_[static_cast<size_t>(control)]; }
  // The child window that the window object names |name| (List1, Text1,
  // First, Command1, Command2, lCurVol, lCurBook, lCurChapter, lCurHadeeth,
  // lCurSubChapter, lPhase, lBAB); null for any other name.
  HWND control(const char* name) const;
  // The dots per inch at which twips were turned into pixels.
  int dpi() const { return dpi_; }

  // The control ID of |control|'s child window; the list's is kListId.
  static constexpr int ControlId(Control control) { return kFirstId + static_cast<int>(control); }
  static constexpr int kFirstId = 100;
  static constexpr int kListId = kFirstId + kControlCount;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Destroys the window and unregisters its class; safe on a half-built display.
  void Destroy();

  HINSTANCE instance_ = nullptr;
  int dpi_ = 96;
  HWND window_ = nullptr;
  HWND list_ = nullptr;                         // child of window_
  std::array<HWND, kControlCount> controls_{};  // children of window_
  HWND focus_ = nullptr;    // the child that had the focus when the window was last active
  EventDelivery delivery_;  // user actions, delivered from inside the event dispatch
};

}  // namespace addbook

#endif  // ADDBOOK_APP_WIN32_DISPLAY_H_
