#include "platform/win32/win32_windows.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {
namespace {

// The timers of the thread, for the timer procedure (SetTimer without a window calls it with the
// timer's id only). Main thread only.
Win32WindowService* g_timer_owner = nullptr;

LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      // Only the renderer decides whether a dialog closes; a window without one never does.
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

void RegisterDialogClass() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DialogWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(1));
  if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.lpszClassName = kDialogWindowClass;
  RegisterClassExA(&wc);
}

HWND H(uint64_t window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

}  // namespace

Win32WindowService::Win32WindowService() { g_timer_owner = this; }

Win32WindowService::~Win32WindowService() {
  HideTrayIcon();
  if (main_window_) ::DestroyWindow(main_window_);
  for (auto& [id, t] : timers_) ::KillTimer(nullptr, id);
  if (g_timer_owner == this) g_timer_owner = nullptr;
}

uint64_t Win32WindowService::MakeWindow(const std::string& name, const std::string& key,
                                        const std::string& caption, const WindowRect& placement) {
  (void)name;
  (void)key;
  RegisterDialogClass();
  // A dialog frame without sizing, a caption with system menu and minimise box; its own taskbar
  // button; children are a dialog's controls, reached by Tab.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  const DWORD ex_style = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  HWND hwnd = CreateWindowExA(ex_style, kDialogWindowClass, caption.c_str(), style, placement.left,
                              placement.top, placement.width, placement.height, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(hwnd));
}

uint64_t Win32WindowService::RecreateWindow(uint64_t window, const std::string& caption,
                                            const WindowRect& placement) {
  // The style never changes; the placement and caption take effect on the same window, which
  // keeps its controls (and nothing flickers).
  HWND hwnd = H(window);
  if (!IsWindow(hwnd)) return MakeWindow("", "", caption, placement);
  SetWindowTextA(hwnd, caption.c_str());
  SetWindowPos(hwnd, nullptr, placement.left, placement.top, placement.width, placement.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  return window;
}

void Win32WindowService::ShowWindow(uint64_t window) {
  HWND hwnd = H(window);
  ::ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  UpdateWindow(hwnd);
}

void Win32WindowService::HideWindow(uint64_t window) { ::ShowWindow(H(window), SW_HIDE); }

void Win32WindowService::DestroyWindow(uint64_t window) {
  if (IsWindow(H(window))) ::DestroyWindow(H(window));
}

void Win32WindowService::MoveWindow(uint64_t window, int left, int top) {
  SetWindowPos(H(window), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32WindowService::RestoreWindow(uint64_t window) {
  HWND hwnd = H(window);
  if (!IsWindow(hwnd)) return;
  ::ShowWindow(hwnd, SW_SHOW);
  BringWindowToTop(hwnd);
  SendMessageA(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  SetForegroundWindow(hwnd);
}

LRESULT CALLBACK Win32WindowService::MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Win32WindowService*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  static const UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");
  if (self && msg == kTrayIconMessage) {
    // A click or a double click on the icon (the mouse message of the icon, or the selection
    // that the keyboard makes).
    const UINT event = LOWORD(lp);
    if (event == WM_LBUTTONUP || event == WM_LBUTTONDBLCLK || event == NIN_SELECT ||
        event == NIN_KEYSELECT) {
      if (self->on_tray_click) self->on_tray_click();
    }
    return 0;
  }
  if (self && msg == taskbar_created && self->tray_icon_shown_) {
    // The shell started again: its notification area no longer has the icon.
    self->NotifyIcon(NIM_ADD);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND Win32WindowService::MainWindow() {
  if (main_window_) return main_window_;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kMainWindowClass;
  RegisterClassExA(&wc);
  // Never shown: it has no taskbar button and takes no focus.
  main_window_ = CreateWindowExA(0, kMainWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, nullptr);
  if (main_window_) {
    SetWindowLongPtrA(main_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  return main_window_;
}

bool Win32WindowService::NotifyIcon(DWORD action, const NOTIFYICONDATAA* balloon) {
  using NotifyFn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
  auto notify = SystemProc<NotifyFn>("shell32.dll", "Shell_NotifyIconA");
  HWND owner = MainWindow();
  if (!notify || !owner) return false;
  NOTIFYICONDATAA data = {};
  data.cbSize = sizeof data;
  data.hWnd = owner;
  data.uID = 1;
  if (action != NIM_DELETE) {
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayIconMessage;
    data.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    if (!data.hIcon) data.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    // The hint is cut to what the icon can hold.
    const size_t n = std::min(tray_hint_.size(), sizeof data.szTip - 1);
    std::memcpy(data.szTip, tray_hint_.data(), n);
    data.szTip[n] = '\0';
  }
  if (balloon) {
    data.uFlags |= NIF_INFO;
    std::memcpy(data.szInfo, balloon->szInfo, sizeof data.szInfo);
    std::memcpy(data.szInfoTitle, balloon->szInfoTitle, sizeof data.szInfoTitle);
    data.dwInfoFlags = balloon->dwInfoFlags;
    data.uTimeout = balloon->uTimeout;
  }
  return notify(action, &data) != FALSE;
}

void Win32WindowService::ShowTrayIcon(const std::string& hint) {
  tray_hint_ = hint;
  if (tray_icon_shown_) {
    NotifyIcon(NIM_MODIFY);
    return;
  }
  // The icon counts as shown only when the shell took it.
  tray_icon_shown_ = NotifyIcon(NIM_ADD);
}

void Win32WindowService::ShowBalloon(const std::string& title, const std::string& text, int kind,
                                     uint32_t timeout_ms) {
  if (!tray_icon_shown_) return;
  NOTIFYICONDATAA balloon = {};
  // Texts are cut to what the icon can hold.
  const size_t t = std::min(title.size(), sizeof balloon.szInfoTitle - 1);
  std::memcpy(balloon.szInfoTitle, title.data(), t);
  const size_t x = std::min(text.size(), sizeof balloon.szInfo - 1);
  std::memcpy(balloon.szInfo, text.data(), x);
  balloon.dwInfoFlags = kind == 3 ? NIIF_ERROR : kind == 2 ? NIIF_WARNING : NIIF_INFO;
  balloon.uTimeout = timeout_ms;
  NotifyIcon(NIM_MODIFY, &balloon);
}

void Win32WindowService::HideTrayIcon() {
  if (!tray_icon_shown_) return;
  NotifyIcon(NIM_DELETE);
  tray_icon_shown_ = false;
}

void Win32WindowService::SetCaption(uint64_t window, const std::string& caption) {
  SetWindowTextA(H(window), caption.c_str());
}

void Win32WindowService::Paint(uint64_t window, const std::vector<std::string>& frame) {
  (void)frame;
  RedrawWindow(H(window), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int Win32WindowService::ScreenWidth() {
  RECT r;
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return r.right - r.left;
  return GetSystemMetrics(SM_CXSCREEN);
}

int Win32WindowService::ScreenHeight() {
  RECT r;
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return r.bottom - r.top;
  return GetSystemMetrics(SM_CYSCREEN);
}

bool Win32WindowService::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) return false;
  // The dialog manager of the window the message is for: Tab and the arrow keys move the focus,
  // Enter and Escape become the default and cancel commands.
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    char cls[32] = {};
    GetClassNameA(root, cls, sizeof cls);
    if (lstrcmpiA(cls, kDialogWindowClass) == 0 && IsDialogMessageA(root, &msg)) return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

WindowService::Pumped Win32WindowService::PumpOne(uint64_t window, WindowInput* input) {
  (void)window;
  if (quit_) return Pumped::kNoInput;
  MSG msg;
  const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
  if (got <= 0) {
    // Someone asked the thread to end: no input will come any more.
    quit_ = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return Pumped::kNoInput;
  }
  const bool timer = msg.message == WM_TIMER;
  Dispatch(msg);
  if (timer) return Pumped::kTimer;
  if (input) *input = WindowInput{};
  return Pumped::kInput;
}

void Win32WindowService::ProcessPending() {
  MSG msg;
  // Bounded: a window that keeps posting to itself cannot hold the caller here.
  for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (!Dispatch(msg)) {
      quit_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
  }
}

// The caller has waited already (for its worker): the windows and timers get their turn.
void Win32WindowService::Idle() { ProcessPending(); }

uint64_t Win32WindowService::Now() { return GetTickCount64(); }

void CALLBACK Win32WindowService::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  Win32WindowService* self = g_timer_owner;
  if (!self) return;
  auto it = self->timers_.find(id);
  if (it == self->timers_.end()) return;
  it->second.due = self->Now() + it->second.interval;
  std::function<void()> fire = it->second.fire;  // the callback may kill its own timer
  fire();
}

uint64_t Win32WindowService::SetTimer(uint32_t interval_ms, std::function<void()> fire) {
  const uint32_t interval = interval_ms ? interval_ms : 1;
  const UINT_PTR id = ::SetTimer(nullptr, 0, interval, &Win32WindowService::TimerProc);
  if (!id) return 0;
  timers_[id] = Timer{interval, Now() + interval, std::move(fire)};
  return static_cast<uint64_t>(id);
}

void Win32WindowService::KillTimer(uint64_t timer) {
  const auto id = static_cast<UINT_PTR>(timer);
  if (timers_.erase(id)) ::KillTimer(nullptr, id);
}

uint64_t Win32WindowService::NextDue() const {
  uint64_t due = 0;
  for (const auto& [id, t] : timers_) {
    if (due == 0 || t.due < due) due = t.due;
  }
  return due;
}

}  // namespace corvane::platform::win32
