// The desktop window on Windows, read back through Win32 itself: geometry in
// pixels at the DPI the display used, styles, texts, the message boxes, and
// the user's actions as the run receives them.  Under Wine's null graphics
// driver the screen has 96 dpi, where one pixel is 15 twips.
#include "app/win32_display.h"

#include <gmock/gmock.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/platform.h"
#include "app/window_layout.h"
#include "base/text.h"

namespace addbook {
namespace {

using layout::Place;

std::wstring W(std::u16string_view text) { return Utf16ToWide(text); }

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::vector<std::wstring> ListLines(HWND list) {
  std::vector<std::wstring> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    std::wstring line(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    line.resize(static_cast<size_t>(
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
    lines.push_back(line);
  }
  return lines;
}

// The places of every child, the list last, in the order of creation.
std::vector<Place> AllPlaces() {
  std::vector<Place> places(std::begin(layout::kPlaces), std::end(layout::kPlaces));
  places.push_back(layout::kList1);
  return places;
}

// What the run would receive of the user's actions.
struct RecordingEvents : DisplayEvents {
  void Closing() override {
    ++closings;
    if (throw_on_closing) throw std::string("closing");
  }
  void Clicked(Control button) override {
    clicks.push_back(button);
    if (throw_on_click) throw button;
  }
  int closings = 0;
  std::vector<Control> clicks;
  bool throw_on_closing = false;
  bool throw_on_click = false;
};

class Win32DisplayTest : public testing::Test {
 protected:
  Win32DisplayTest() { display_.SetEvents(&events_); }

  int Px(int twips) const { return MulDiv(twips, display_.dpi(), layout::kTwipsPerInch); }

  // Where |place| puts a child within the client area, in pixels.
  RECT Expected(const Place& place) const {
    return {Px(place.left), Px(place.top), Px(place.left) + Px(place.width),
            Px(place.top) + Px(place.height)};
  }

  // Where |child| is within its parent's client area.
  static RECT Actual(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  Win32Display display_;
  RecordingEvents events_;
};

MATCHER_P(RectIs, want, "") {
  *result_listener << "{" << arg.left << ", " << arg.top << ", " << arg.right << ", " << arg.bottom
                   << "}";
  return EqualRect(&arg, &want);
}

TEST_F(Win32DisplayTest, ClientAreaIsTheLayoutsSizeAtTheScreensDpi) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(display_.dpi(), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);

  HWND window = display_.window();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(WindowText(window), L"Varnel - Adding Book");
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(layout::kClientWidth));
  EXPECT_EQ(client.bottom, Px(layout::kClientHeight));
  if (display_.dpi() == 96) {
    EXPECT_EQ(client.right, 433);
    EXPECT_EQ(client.bottom, 79);
  }
  // Fixed size: no sizing border, no maximize box.
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_CAPTION, 0);
  EXPECT_FALSE(IsWindowVisible(window));
  display_.ShowWindow();
  EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(Win32DisplayTest, EveryControlAtItsTwipPlaceAndOnlyTheListInView) {
  HWND window = display_.window();
  RECT client;
  GetClientRect(window, &client);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (const Place& place : AllPlaces()) {
    SCOPED_TRACE(place.name);
    const bool is_list = std::string(place.name) == layout::kList1.name;
    HWND child = display_.control(place.name);
    ASSERT_TRUE(IsWindow(child));
    EXPECT_EQ(GetParent(child), window);
    EXPECT_EQ(child, is_list ? display_.list() : display_.control(place.control));
    EXPECT_EQ(GetDlgCtrlID(child),
              is_list ? Win32Display::kListId : Win32Display::ControlId(place.control));
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_NE(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_THAT(Actual(child), RectIs(Expected(place)));
    RECT child_rect = Actual(child), overlap;
    EXPECT_EQ(IntersectRect(&overlap, &client, &child_rect) != 0, is_list);
    EXPECT_EQ(static_cast<WPARAM>(SendMessageW(child, WM_GETFONT, 0, 0)), font);
  }
  EXPECT_EQ(display_.control("Text2"), nullptr);
}

TEST_F(Win32DisplayTest, ControlKindsAndStyles) {
  for (const Place& place : layout::kPlaces) {
    SCOPED_TRACE(place.name);
    HWND child = display_.control(place.control);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (place.control == Control::kText1) {
      EXPECT_EQ(ClassOf(child), L"Edit");
      EXPECT_NE(style & WS_TABSTOP, 0);
    } else if (layout::IsButton(place.control)) {
      EXPECT_EQ(ClassOf(child), L"Button");
      EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
      EXPECT_EQ(style & WS_TABSTOP, 0);
    } else {
      EXPECT_EQ(ClassOf(child), L"Static");
      EXPECT_NE(style & SS_NOPREFIX, 0);
      EXPECT_EQ(style & WS_TABSTOP, 0);
    }
  }
  const LONG_PTR list_style = GetWindowLongPtrW(display_.list(), GWL_STYLE);
  EXPECT_EQ(ClassOf(display_.list()), L"ListBox");
  EXPECT_EQ(list_style & (LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_TABSTOP),
            LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_TABSTOP);
}

TEST_F(Win32DisplayTest, CaptionsAtStart) {
  EXPECT_EQ(WindowText(display_.control(Control::kFirst)), L"First");
  EXPECT_EQ(WindowText(display_.control(Control::kCommand1)), L"Next");
  EXPECT_EQ(WindowText(display_.control(Control::kCommand2)), L"ALL");
  for (Control c :
       {Control::kText1, Control::kCurVol, Control::kCurBook, Control::kCurChapter,
        Control::kCurHadeeth, Control::kCurSubChapter, Control::kPhase, Control::kBab}) {
    EXPECT_EQ(WindowText(display_.control(c)), L"") << static_cast<int>(c);
  }
}

TEST_F(Win32DisplayTest, CaptionsReadBackExactly) {
  for (std::u16string_view text : {u"كتاب العلم  \r\n", u"a & b", u"  eof \r\n", u""}) {
    SCOPED_TRACE(Utf16ToUtf8(text));
    for (Control c :
         {Control::kPhase, Control::kBab, Control::kFirst, Control::kCommand2, Control::kText1}) {
      display_.ShowCaption(c, text);
      EXPECT_EQ(WindowText(display_.control(c)), W(text)) << static_cast<int>(c);
    }
  }
}

TEST_F(Win32DisplayTest, ListLinesKeepTheirOrderAndText) {
  const std::vector<std::u16string_view> lines = {u"باب ما جاء في العلم", u"b", u"a",
                                                  u"  سطر ١٢ & مسافة  ",  u"",  u"a"};
  std::vector<std::wstring> want;
  for (std::u16string_view line : lines) {
    display_.AddListLine(line);
    want.push_back(W(line));
    EXPECT_EQ(ListLines(display_.list()), want);
  }
}

// A helper thread that waits for this process's message box titled |title|,
// reads it, runs |while_open| (on the helper thread), then presses OK.
class BoxCloser {
 public:
  struct Seen {
    bool found = false;
    std::wstring title;
    bool prompt_shown = false;
    int ok_buttons = 0, other_buttons = 0;
    HICON icon = nullptr;  // the visible icon, if any
  };

  BoxCloser(std::wstring title, std::wstring prompt, std::function<void()> while_open = {})
      : title_(std::move(title)),
        prompt_(std::move(prompt)),
        while_open_(std::move(while_open)),
        thread_([this] { Run(); }) {}
  ~BoxCloser() {
    if (thread_.joinable()) thread_.join();
  }

  const Seen& Join() {
    thread_.join();
    return seen_;
  }

 private:
  void Run() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    HWND box = nullptr;
    while (!box && std::chrono::steady_clock::now() < deadline) {
      HWND found = FindWindowW(L"#32770", title_.c_str());
      DWORD process = 0;
      if (found) GetWindowThreadProcessId(found, &process);
      if (found && process == GetCurrentProcessId() && IsWindowVisible(found)) {
        box = found;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!box) return;  // the box never opened: MsgBox failed, and the test with it
    seen_.found = true;
    seen_.title = WindowText(box);
    EnumChildWindows(box, Inspect, reinterpret_cast<LPARAM>(this));
    if (while_open_) while_open_();
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }

  static BOOL CALLBACK Inspect(HWND child, LPARAM self_param) {
    auto* self = reinterpret_cast<BoxCloser*>(self_param);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring class_name = ClassOf(child);
    if (class_name == L"Button") {
      ++(GetDlgCtrlID(child) == IDOK ? self->seen_.ok_buttons : self->seen_.other_buttons);
    } else if (class_name == L"Static") {
      if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        if (auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0))) {
          self->seen_.icon = icon;
        }
      } else if (WindowText(child) == self->prompt_) {
        self->seen_.prompt_shown = true;
      }
    }
    return TRUE;
  }

  const std::wstring title_, prompt_;
  const std::function<void()> while_open_;
  Seen seen_;
  std::thread thread_;
};

TEST_F(Win32DisplayTest, PlainBoxWithOkOnlyAndTheDefaultTitle) {
  const std::u16string_view prompt = u"لا يوجد\r\nملف a & b";
  BoxCloser closer(L"Adding Book", W(prompt));
  display_.MsgBox(prompt, BoxStyle::kPlain, u"");  // returns once OK is pressed
  const BoxCloser::Seen& seen = closer.Join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, L"Adding Book");
  EXPECT_TRUE(seen.prompt_shown);
  EXPECT_EQ(seen.ok_buttons, 1);
  EXPECT_EQ(seen.other_buttons, 0);
  EXPECT_EQ(seen.icon, nullptr);
}

TEST_F(Win32DisplayTest, CriticalBoxShowsTheStopIcon) {
  const std::u16string_view title = u"DB Error خطأ";
  BoxCloser closer(W(title), L"Error 3022");
  display_.MsgBox(u"Error 3022", BoxStyle::kCritical, title);
  const BoxCloser::Seen& seen = closer.Join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, W(title));
  EXPECT_TRUE(seen.prompt_shown);
  EXPECT_EQ(seen.ok_buttons, 1);
  EXPECT_EQ(seen.other_buttons, 0);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, reinterpret_cast<const wchar_t*>(IDI_HAND)));
}

TEST_F(Win32DisplayTest, ClosingTheWindowWhileABoxIsOpenReachesTheRun) {
  HWND window = display_.window();
  BoxCloser closer(L"Adding Book", L"x", [window] { PostMessageW(window, WM_CLOSE, 0, 0); });
  display_.MsgBox(u"x", BoxStyle::kPlain, u"");
  ASSERT_TRUE(closer.Join().found);
  EXPECT_EQ(events_.closings, 1);
}

TEST_F(Win32DisplayTest, AClickReachesTheRunDuringDoEvents) {
  PostMessageW(display_.control(Control::kCommand1), BM_CLICK, 0, 0);
  EXPECT_TRUE(events_.clicks.empty());  // nothing is handled outside an event point
  display_.DoEvents();
  EXPECT_THAT(events_.clicks, testing::ElementsAre(Control::kCommand1));

  // The notification the button sends its parent, for each button.
  for (Control button : {Control::kFirst, Control::kCommand1, Control::kCommand2}) {
    PostMessageW(display_.window(), WM_COMMAND,
                 MAKEWPARAM(Win32Display::ControlId(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(display_.control(button)));
  }
  // Notifications that are no button's click.
  PostMessageW(display_.window(), WM_COMMAND, MAKEWPARAM(Win32Display::kListId, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(display_.list()));
  PostMessageW(display_.window(), WM_COMMAND,
               MAKEWPARAM(Win32Display::ControlId(Control::kPhase), BN_CLICKED),
               reinterpret_cast<LPARAM>(display_.control(Control::kPhase)));
  display_.DoEvents();
  EXPECT_THAT(events_.clicks, testing::ElementsAre(Control::kCommand1, Control::kFirst,
                                                   Control::kCommand1, Control::kCommand2));
  EXPECT_EQ(events_.closings, 0);
}

TEST_F(Win32DisplayTest, CloseReachesTheRunAndTheWindowLivesOn) {
  display_.ShowWindow();
  PostMessageW(display_.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events_.closings, 0);
  display_.DoEvents();
  EXPECT_EQ(events_.closings, 1);
  EXPECT_TRUE(IsWindow(display_.window()));
  EXPECT_FALSE(IsWindowVisible(display_.window()));
  // A quit request ends neither the pass nor the run.
  PostQuitMessage(0);
  PostMessageW(display_.window(), WM_CLOSE, 0, 0);
  display_.DoEvents();
  EXPECT_EQ(events_.closings, 2);
  display_.AddListLine(u"still here");
  EXPECT_EQ(ListLines(display_.list()).size(), 1u);
}

TEST_F(Win32DisplayTest, AHandlerThrowingDuringDoEventsThrowsOnceAfterThePass) {
  events_.throw_on_click = true;
  display_.ShowWindow();
  PostMessageW(display_.control(Control::kCommand2), BM_CLICK, 0, 0);
  PostMessageW(display_.control(Control::kFirst), BM_CLICK, 0, 0);
  PostMessageW(display_.window(), WM_CLOSE, 0, 0);
  EXPECT_THAT([&] { display_.DoEvents(); }, testing::Throws<Control>(Control::kCommand2));
  // The pass went on to its end: the later messages were handled, and no
  // action was delivered while the first one's exception was held.
  EXPECT_THAT(events_.clicks, testing::ElementsAre(Control::kCommand2));
  EXPECT_EQ(events_.closings, 0);
  EXPECT_FALSE(IsWindowVisible(display_.window()));
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
  // Rethrown once only.
  EXPECT_NO_THROW(display_.DoEvents());
  PostMessageW(display_.control(Control::kFirst), BM_CLICK, 0, 0);
  EXPECT_THAT([&] { display_.DoEvents(); }, testing::Throws<Control>(Control::kFirst));
}

// The desktop window opens unless standard output goes to a file or a pipe.
class OpenDesktopWindowTest : public testing::Test {
 protected:
  OpenDesktopWindowTest() : saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {}
  ~OpenDesktopWindowTest() override { SetStdHandle(STD_OUTPUT_HANDLE, saved_); }

  std::unique_ptr<DesktopWindow> Open(HANDLE output, std::string& why_not) {
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    why_not = "not cleared";
    char name[] = "addbook";
    char* argv[] = {name, nullptr};
    auto window = OpenDesktopWindow(1, argv, why_not);
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    return window;
  }

  HANDLE saved_;
};

TEST_F(OpenDesktopWindowTest, OutputToAPipeUsesTheConsole) {
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  std::string why_not;
  EXPECT_EQ(Open(write_end, why_not), nullptr);
  EXPECT_EQ(why_not, "");
  CloseHandle(read_end);
  CloseHandle(write_end);
}

TEST_F(OpenDesktopWindowTest, NoOutputShowsTheWindow) {
  std::string why_not;
  std::unique_ptr<DesktopWindow> window = Open(nullptr, why_not);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(why_not, "");
  auto* display = dynamic_cast<Win32Display*>(&window->display());
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(WindowText(display->window()), L"Varnel - Adding Book");
}

}  // namespace
}  // namespace addbook
