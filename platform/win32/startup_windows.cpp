#include "platform/win32/startup_windows.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "platform/win32/system_library.h"

namespace corvane::platform {
namespace {

constexpr char kSplashClass[] = "CorvaneSetupSplash";
constexpr char kProgressClass[] = "CorvaneSetupInit";
constexpr int kProgressWidth = 420;
constexpr int kProgressHeight = 130;

LRESULT CALLBACK SplashProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    auto bmp = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (bmp) {
      HDC mem = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(mem, bmp);
      BITMAP info;
      GetObjectA(bmp, sizeof info, &info);
      BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteDC(mem);
    }
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  // The common controls come from the system (through the side-by-side store where a manifest
  // asks for them), never from the setup's folder.
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  if (auto init = win32::SystemProc<InitFn>("comctl32.dll", "InitCommonControlsEx")) init(&icc);
  WNDCLASSA wc{};
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_WAIT);
  wc.lpfnWndProc = SplashProc;
  wc.lpszClassName = kSplashClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kProgressClass;
  RegisterClassA(&wc);
}

// Lets the windows paint without running any other part of the engine.
void PumpPaintMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class Win32StartupWindows : public StartupWindows {
 public:
  ~Win32StartupWindows() override { Close(); }

  void Show(const std::string& picture, const std::string& caption,
            const std::string& text) override {
    RegisterClasses();
    HINSTANCE inst = GetModuleHandleA(nullptr);
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    RECT splash_rect{};
    if (!picture.empty()) {
      bitmap_ = static_cast<HBITMAP>(
          LoadImageA(nullptr, picture.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    }
    if (bitmap_) {
      BITMAP info;
      GetObjectA(bitmap_, sizeof info, &info);
      splash_rect.left = (screen_w - info.bmWidth) / 2;
      splash_rect.top = (screen_h - info.bmHeight) / 2;
      splash_rect.right = splash_rect.left + info.bmWidth;
      splash_rect.bottom = splash_rect.top + info.bmHeight;
      splash_ = CreateWindowExA(WS_EX_TOOLWINDOW, kSplashClass, "", WS_POPUP, splash_rect.left,
                                splash_rect.top, info.bmWidth, info.bmHeight, nullptr, nullptr,
                                inst, nullptr);
      SetWindowLongPtrA(splash_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap_));
      ShowWindow(splash_, SW_SHOWNOACTIVATE);
      UpdateWindow(splash_);
    }
    WindowPlacement at = PlaceProgressWindow(
        splash_ != nullptr, splash_rect.left, splash_rect.top,
        splash_rect.right - splash_rect.left, splash_rect.bottom - splash_rect.top,
        kProgressWidth, kProgressHeight, screen_w, screen_h);
    progress_ = CreateWindowExA(0, kProgressClass, caption.c_str(),
                                WS_POPUP | WS_CAPTION | WS_BORDER, at.left, at.top,
                                kProgressWidth, kProgressHeight, nullptr, nullptr, inst, nullptr);
    RECT client;
    GetClientRect(progress_, &client);
    HWND label = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 12, 10,
                                 client.right - 24, 40, progress_, nullptr, inst, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 12, 56,
                           client.right - 24, 18, progress_, nullptr, inst, nullptr);
    ShowWindow(progress_, SW_SHOWNOACTIVATE);
    UpdateWindow(progress_);
    PumpPaintMessages();
  }

  void SetProgress(int minimum, int maximum, int position) override {
    if (!bar_) return;
    SendMessageA(bar_, PBM_SETRANGE32, minimum, maximum);
    SendMessageA(bar_, PBM_SETPOS, position, 0);
    Paint();
  }

  void Step() override {
    if (!bar_) return;
    SendMessageA(bar_, PBM_DELTAPOS, 1, 0);
    Paint();
  }

  void Close() override {
    if (progress_) DestroyWindow(progress_);
    if (splash_) DestroyWindow(splash_);
    if (bitmap_) DeleteObject(bitmap_);
    progress_ = splash_ = bar_ = nullptr;
    bitmap_ = nullptr;
    PumpPaintMessages();
  }

  uintptr_t OwnerWindow() override { return reinterpret_cast<uintptr_t>(progress_); }

 private:
  void Paint() {
    if (progress_) UpdateWindow(progress_);
    if (splash_ && IsWindowVisible(splash_)) UpdateWindow(splash_);
    PumpPaintMessages();
  }

  HWND splash_ = nullptr, progress_ = nullptr, bar_ = nullptr;
  HBITMAP bitmap_ = nullptr;
};

}  // namespace

std::unique_ptr<StartupWindows> CreateWin32StartupWindows() {
  return std::make_unique<Win32StartupWindows>();
}

}  // namespace corvane::platform
