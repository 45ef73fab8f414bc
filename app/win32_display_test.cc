// The desktop window on Windows, read back through Win32 itself.  Under
// Wine's null graphics driver the screen has 96 dpi, where one pixel is 15
// twips.
#include "app/win32_display.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/text.h"

namespace addbook {
namespace {

std::wstring Text(HWND hwnd) {
  wchar_t text[256] = {};
  GetWindowTextW(hwnd, text, 256);
  return text;
}

// Where |child| lies within its parent's client area.
RECT PlaceOf(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Every message box this thread opens is answered with OK as soon as it is
// active, and read into g_box first: its title, then the texts of its visible
// children in order, the stop icon as "(stop)".
std::wstring g_box;

LRESULT CALLBACK ReadAndAnswerBox(int code, WPARAM wparam, LPARAM lparam) {
  const auto box = reinterpret_cast<HWND>(wparam);
  if (code == HCBT_ACTIVATE && GetClassLongPtrW(box, GCW_ATOM) == 0x8002) {  // a dialog
    g_box = Text(box);
    const auto stop = LRESULT(LoadIconW(nullptr, reinterpret_cast<const wchar_t*>(IDI_HAND)));
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (!(GetWindowLongPtrW(c, GWL_STYLE) & WS_VISIBLE)) continue;
      g_box += L"|" + (SendMessageW(c, STM_GETICON, 0, 0) == stop ? L"(stop)" : Text(c));
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
const HHOOK g_answer_boxes =
    SetWindowsHookExW(WH_CBT, ReadAndAnswerBox, nullptr, GetCurrentThreadId());

// The window has a fixed size and shows the list, its lines in the order
// added, Arabic as given, and nothing else: the other controls lie beyond its
// edges.  No button is a tab stop, and every control has the default GUI
// font, which shapes Arabic.
TEST(Win32DisplayTest, OnlyTheListInView) {
  Win32Display display;
  HWND window = display.window();
  EXPECT_EQ(Text(window), L"Varnel - Adding Book");
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  RECT client, want_client = {0, 0, 433, 79}, overlap;
  GetClientRect(window, &client);
  EXPECT_TRUE(EqualRect(&client, &want_client));
  for (const auto& [name, want] :
       {std::pair{"List1", RECT{8, 8, 433, 77}}, {"Command2", RECT{464, 328, 577, 353}}}) {
    const RECT place = PlaceOf(display.control(name));
    EXPECT_TRUE(EqualRect(&place, &want)) << name;
  }
  const auto font = LRESULT(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    const RECT place = PlaceOf(c);
    EXPECT_EQ(IntersectRect(&overlap, &client, &place) != 0, c == display.list());
    EXPECT_EQ(SendMessageW(c, WM_GETFONT, 0, 0), font);
    EXPECT_FALSE(c != display.control(Control::kText1) && c != display.list() &&
                 GetWindowLongPtrW(c, GWL_STYLE) & WS_TABSTOP);
  }
  const std::u16string_view lines[] = {u"باب ما جاء في العلم", u"b", u"a"};
  for (std::u16string_view line : lines) display.AddListLine(line);
  for (WPARAM i = 0; i < 4; ++i) {  // the fourth: none
    wchar_t line[64] = {};
    SendMessageW(display.list(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(line, i < 3 ? Utf16ToWide(lines[i]) : L"");
  }
}

// A box has OK only, the default title unless given one, and the stop icon
// only when critical; MsgBox returns once OK is pressed.
TEST(Win32DisplayTest, BoxesWaitForOk) {
  Win32Display display;
  display.MsgBox(u"لا يوجد\r\nملف a & b", BoxStyle::kPlain, u"");
  EXPECT_EQ(g_box, L"Adding Book||OK|لا يوجد\r\nملف a & b");
  display.MsgBox(u"x", BoxStyle::kCritical, u"DB Error خطأ");
  EXPECT_EQ(g_box, L"DB Error خطأ|(stop)|OK|x");
}

// Closing the window reaches the run at its next event point; the window
// lives on, out of sight, to the end of the run.
TEST(Win32DisplayTest, ClosingReachesTheRunAtItsEventPoint) {
  struct : DisplayEvents {
    void Closing() override { ++closings; }
    void Clicked(Control) override {}
    int closings = 0;
  } events;
  Win32Display display;
  display.SetEvents(&events);
  PostMessageW(display.window(), WM_CLOSE, 0, 0);
  display.DoEvents();
  EXPECT_EQ(events.closings, 1);
  EXPECT_TRUE(IsWindow(display.window()));
}

}  // namespace
}  // namespace addbook
