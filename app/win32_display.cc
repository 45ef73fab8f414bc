// The window is one top-level window of a class of its own, with its
// controls created as child windows at their twip positions; nothing moves or
// sizes them afterwards.  The window has no sizing border and no maximize
// box, so the controls beyond the client area stay out of view and out of
// reach of the mouse.  The buttons are no tab stops, and no dialog manager
// runs over the window (no IsDialogMessage, so no mnemonics and no default
// button), so the keyboard cannot reach them either: the tab chain holds only
// the text box and the list.
//
// Nothing here runs a message loop of its own: the window handles its
// messages only when the run calls DoEvents, or inside MessageBoxW's loop
// while a box is open.  The window procedure is the one place where the
// user's actions reach the run, and it never lets an exception out.
//
// Captions are set as given and never read back by the run: the window
// object keeps its own copy.  The labels show '&' as itself; the buttons,
// out of view, take it as their mnemonic mark, which nothing here acts on.
// Every control uses the system's default GUI font, which shapes Arabic and
// lays it out right to left on its own.
#include "app/win32_display.h"

#include <cstring>
#include <string>
#include <system_error>

#include "app/window_layout.h"
#include "base/text.h"

namespace addbook {
namespace {

using layout::Place;

constexpr wchar_t kClassName[] = L"AddbookProgressWindow";

// Fixed size: a caption with the system menu and a minimize box, no sizing
// border, no maximize box.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The child window class and styles for |control|.
void ChildClass(Control control, const wchar_t*& class_name, DWORD& style, DWORD& ex_style) {
  style = WS_CHILD | WS_VISIBLE;
  ex_style = 0;
  if (control == Control::kText1) {
    class_name = L"EDIT";
    style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    ex_style = WS_EX_CLIENTEDGE;
  } else if (layout::IsButton(control)) {
    class_name = L"BUTTON";
    style |= BS_PUSHBUTTON;
  } else {
    class_name = L"STATIC";
    style |= SS_LEFT | SS_NOPREFIX;
  }
}

}  // namespace

Win32Display::Win32Display() : instance_(GetModuleHandleW(nullptr)), dpi_(ScreenDpi()) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconW(nullptr, reinterpret_cast<const wchar_t*>(IDI_APPLICATION));
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kClassName;
  // Another display of this process may have registered the class already.
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError("RegisterClassExW");
  }

  auto px = [this](int twips) { return MulDiv(twips, dpi_, layout::kTwipsPerInch); };
  try {
    RECT frame = {0, 0, px(layout::kClientWidth), px(layout::kClientHeight)};
    if (!AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle)) {
      ThrowLastError("AdjustWindowRectEx");
    }
    const std::wstring title = Utf16ToWide(kWindowTitle);
    window_ = CreateWindowExW(kWindowExStyle, kClassName, title.c_str(), kWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (!window_) ThrowLastError("CreateWindowExW");

    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    auto create = [&](const Place& p, const wchar_t* class_name, DWORD style, DWORD ex_style,
                      int id) {
      HWND child = CreateWindowExW(
          ex_style, class_name, L"", style, px(p.left), px(p.top), px(p.width), px(p.height),
          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
      if (!child) ThrowLastError("CreateWindowExW");
      SendMessageW(child, WM_SETFONT, font, FALSE);
      return child;
    };
    // Children are linked in the order of creation, which is the tab order.
    for (const Place& p : layout::kPlaces) {
      const wchar_t* class_name;
      DWORD style, ex_style;
      ChildClass(p.control, class_name, style, ex_style);
      controls_[static_cast<size_t>(p.control)] =
          create(p, class_name, style, ex_style, ControlId(p.control));
    }
    // Unsorted: lines stay in the order they are added.
    list_ =
        create(layout::kList1, L"LISTBOX",
               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
               WS_EX_CLIENTEDGE, kListId);
  } catch (...) {
    Destroy();
    throw;
  }

  // The captions at start.
  ShowCaption(Control::kFirst, u"First");
  ShowCaption(Control::kCommand1, u"Next");
  ShowCaption(Control::kCommand2, u"ALL");
}

Win32Display::~Win32Display() { Destroy(); }

void Win32Display::Destroy() {
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
  list_ = nullptr;
  controls_.fill(nullptr);
  // Fails, harmlessly, while another display of this process has a window.
  UnregisterClassW(kClassName, instance_);
}

HWND Win32Display::control(const char* name) const {
  if (std::strcmp(name, layout::kList1.name) == 0) return list_;
  for (const Place& p : layout::kPlaces) {
    if (std::strcmp(name, p.name) == 0) return control(p.control);
  }
  return nullptr;
}

void Win32Display::AddListLine(std::u16string_view line) {
  const std::wstring text = Utf16ToWide(line);
  SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32Display::ShowCaption(Control control, std::u16string_view text) {
  SetWindowTextW(this->control(control), Utf16ToWide(text).c_str());
}

void Win32Display::MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) {
  const std::wstring text = Utf16ToWide(prompt);
  const std::wstring caption = Utf16ToWide(title.empty() ? kDefaultTitle : title);
  const UINT type = MB_OK | (style == BoxStyle::kCritical ? MB_ICONSTOP : 0);
  MessageBoxW(window_, text.c_str(), caption.c_str(), type);
  delivery_.RethrowPending();
}

void Win32Display::ShowWindow() {
  ::ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

void Win32Display::Repaint() {
  RedrawWindow(window_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Display::DoEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The run ends on its own terms, never on a quit request.
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  delivery_.RethrowPending();
}

LRESULT CALLBACK Win32Display::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* display = reinterpret_cast<Win32Display*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!display) return DefWindowProcW(hwnd, message, wparam, lparam);
  return display->HandleMessage(hwnd, message, wparam, lparam);
}

LRESULT Win32Display::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      // The window always closes, but only out of sight: it lives as long as
      // the display, and the run learns of the close at its event point.
      delivery_.Deliver([](DisplayEvents& events) { events.Closing(); });
      ::ShowWindow(hwnd, SW_HIDE);
      return 0;

    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
        const HWND from = reinterpret_cast<HWND>(lparam);
        for (Control button : {Control::kFirst, Control::kCommand1, Control::kCommand2}) {
          if (from == control(button)) {
            delivery_.Deliver([button](DisplayEvents& events) { events.Clicked(button); });
            return 0;
          }
        }
      }
      break;

    // Like a form, the window passes the focus on to a control: the tab stop
    // that had it last, else the first in the tab order.
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && (focus == list_ || focus == control(Control::kText1))) focus_ = focus;
      }
      break;
    case WM_SETFOCUS: {
      HWND to = focus_ && IsWindow(focus_) ? focus_ : control(Control::kText1);
      if (to) SetFocus(to);
      return 0;
    }

    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}
}  // namespace addbook
