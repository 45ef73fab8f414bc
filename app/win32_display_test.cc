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

// The window at the screen's DPI, fixed in size; every control at its twip
// place, in the default GUI font, and only the list in view; the kinds and
// styles that keep the buttons from the keyboard and show '&' as itself; the
// captions at start.
TEST_F(Win32DisplayTest, TheWindowAndItsControls) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(display_.dpi(), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  HWND window = display_.window();
  EXPECT_EQ(WindowText(window), L"Varnel - Adding Book");
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(layout::kClientWidth));
  EXPECT_EQ(client.bottom, Px(layout::kClientHeight));
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

  std::vector<Place> places(std::begin(layout::kPlaces), std::end(layout::kPlaces));
  places.push_back(layout::kList1);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    const bool is_list = &place == &places.back();
    HWND child = display_.control(place.name);
    ASSERT_TRUE(IsWindow(child));
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_NE(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE, 0);
    RECT actual = Actual(child), expected = Expected(place), overlap;
    EXPECT_TRUE(EqualRect(&actual, &expected));
    EXPECT_EQ(IntersectRect(&overlap, &client, &actual) != 0, is_list);
    EXPECT_EQ(static_cast<WPARAM>(SendMessageW(child, WM_GETFONT, 0, 0)), font);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (is_list) {
      EXPECT_EQ(ClassOf(child), L"ListBox");
      EXPECT_EQ(style & LBS_SORT, 0);
    } else if (layout::IsButton(place.control)) {
      EXPECT_EQ(ClassOf(child), L"Button");
      EXPECT_EQ(style & WS_TABSTOP, 0);
    } else if (place.control != Control::kText1) {
      EXPECT_EQ(ClassOf(child), L"Static");
      EXPECT_NE(style & SS_NOPREFIX, 0);
    }
  }
  EXPECT_EQ(WindowText(display_.control(Control::kFirst)), L"First");
  EXPECT_EQ(WindowText(display_.control(Control::kCommand1)), L"Next");
  EXPECT_EQ(WindowText(display_.control(Control::kCommand2)), L"ALL");
  EXPECT_EQ(WindowText(display_.control(Control::kPhase)), L"");
}

// Captions read back exactly; list lines keep their order and text.
TEST_F(Win32DisplayTest, TextsReadBackExactly) {
  for (std::u16string_view text : {u"كتاب العلم  \r\n", u"a & b", u""}) {
    SCOPED_TRACE(Utf16ToUtf8(text));
    for (Control c : {Control::kPhase, Control::kFirst, Control::kText1}) {
      display_.ShowCaption(c, text);
      EXPECT_EQ(WindowText(display_.control(c)), W(text)) << static_cast<int>(c);
    }
  }
  std::vector<std::wstring> want;
  for (std::u16string_view line : {u"باب ما جاء في العلم", u"b", u"a", u"", u"a"}) {
    display_.AddListLine(line);
    want.push_back(W(line));
  }
  EXPECT_EQ(ListLines(display_.list()), want);
}

// A helper thread that waits for this process's message box titled |title|,
// reads it, runs |while_open| (on the helper thread), then presses OK.
class BoxCloser {
 public:
  struct Seen {
    bool found = false;
    bool prompt_shown = false;
    int buttons = 0;
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
    EnumChildWindows(box, Inspect, reinterpret_cast<LPARAM>(this));
    if (while_open_) while_open_();
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }

  static BOOL CALLBACK Inspect(HWND child, LPARAM self_param) {
    auto* self = reinterpret_cast<BoxCloser*>(self_param);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring class_name = ClassOf(child);
    if (class_name == L"Button") {
      self->seen_.buttons += GetDlgCtrlID(child) == IDOK ? 1 : 100;
    } else if (class_name == L"Static") {
      if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        self->seen_.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
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

// A box has OK only, the default title unless given one, and the stop icon
// only when critical; MsgBox returns once it is closed.
TEST_F(Win32DisplayTest, Boxes) {
  const HICON stop = LoadIconW(nullptr, reinterpret_cast<const wchar_t*>(IDI_HAND));
  for (const auto& [style, title, shown, icon] :
       {std::tuple{BoxStyle::kPlain, u"", L"Adding Book", HICON{nullptr}},
        std::tuple{BoxStyle::kCritical, u"DB Error خطأ", L"DB Error خطأ", stop}}) {
    const std::u16string_view prompt = u"لا يوجد\r\nملف a & b";
    BoxCloser closer(shown, W(prompt));
    display_.MsgBox(prompt, style, title);
    const BoxCloser::Seen& seen = closer.Join();
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.prompt_shown);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.icon, icon);
  }
}

// Clicks and closing reach the run only at its event points (DoEvents, a
// box open); the window outlives a close, and a quit request ends nothing.
TEST_F(Win32DisplayTest, ActionsReachTheRunAtEventPoints) {
  display_.ShowWindow();
  PostMessageW(display_.control(Control::kCommand1), BM_CLICK, 0, 0);
  PostMessageW(display_.window(), WM_COMMAND,
               MAKEWPARAM(Win32Display::ControlId(Control::kPhase), BN_CLICKED),
               reinterpret_cast<LPARAM>(display_.control(Control::kPhase)));
  PostMessageW(display_.window(), WM_CLOSE, 0, 0);
  PostQuitMessage(0);
  EXPECT_TRUE(events_.clicks.empty());
  display_.DoEvents();
  EXPECT_THAT(events_.clicks, testing::ElementsAre(Control::kCommand1));
  EXPECT_EQ(events_.closings, 1);
  EXPECT_TRUE(IsWindow(display_.window()));

  HWND window = display_.window();
  BoxCloser closer(L"Adding Book", L"x", [window] { PostMessageW(window, WM_CLOSE, 0, 0); });
  display_.MsgBox(u"x", BoxStyle::kPlain, u"");
  ASSERT_TRUE(closer.Join().found);
  EXPECT_EQ(events_.closings, 2);
}

// What a handler throws during the pass is thrown by DoEvents once, after the
// pass; no action is delivered while it is held.
TEST_F(Win32DisplayTest, AHandlerThrowingDuringDoEventsThrowsOnceAfterThePass) {
  events_.throw_on_click = true;
  PostMessageW(display_.control(Control::kCommand2), BM_CLICK, 0, 0);
  PostMessageW(display_.control(Control::kFirst), BM_CLICK, 0, 0);
  PostMessageW(display_.window(), WM_CLOSE, 0, 0);
  EXPECT_THAT([&] { display_.DoEvents(); }, testing::Throws<Control>(Control::kCommand2));
  EXPECT_THAT(events_.clicks, testing::ElementsAre(Control::kCommand2));
  EXPECT_EQ(events_.closings, 0);
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_NO_THROW(display_.DoEvents());
}

// The desktop window opens unless standard output goes to a file or a pipe.
TEST(OpenDesktopWindowTest, ConsoleWhenTheOutputIsRedirected) {
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  char name[] = "addbook";
  char* argv[] = {name, nullptr};
  for (HANDLE output : {write_end, HANDLE{nullptr}}) {
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    std::string why_not = "not cleared";
    std::unique_ptr<DesktopWindow> window = OpenDesktopWindow(1, argv, why_not);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    EXPECT_EQ(why_not, "");
    EXPECT_EQ(window != nullptr, output == nullptr);
  }
  CloseHandle(read_end);
  CloseHandle(write_end);
}

}  // namespace
}  // namespace addbook
