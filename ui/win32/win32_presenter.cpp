#include "ui/win32/win32_presenter.h"

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shobjidl.h>

#include "interp/session.h"
#include "platform/win32/system_library.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

constexpr char kDialogProp[] = "CorvaneDialog";
constexpr char kOriginalProp[] = "CorvaneDialogProc";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

HWND H(uint64_t handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }

LRESULT CALLBACK TopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOriginalProp));
  auto* dialog = static_cast<DialogWindow*>(GetPropA(hwnd, kDialogProp));
  if (msg == WM_NCDESTROY) {
    RemovePropA(hwnd, kDialogProp);
    RemovePropA(hwnd, kOriginalProp);
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    return CallWindowProcA(original, hwnd, msg, wp, lp);
  }
  LRESULT result = 0;
  if (dialog && dialog->Handle(msg, wp, lp, &result)) return result;
  return CallWindowProcA(original, hwnd, msg, wp, lp);
}

void InitCommonControlsOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc = {};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
              ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
              ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS;
  // The common controls come from the system folder by full path, never from a copy that lies
  // beside the setup.
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (auto init = platform::win32::SystemProc<InitFn>("comctl32.dll", "InitCommonControlsEx")) {
    init(&icc);
  }
}

}  // namespace

Win32Presenter::Win32Presenter(platform::WindowService& windows, platform::PictureCodecs& codecs)
    : windows_(windows),
      codecs_(codecs),
      meta_(windows, [this](DialogRuntime& d, const std::string&) {
        // The viewer shows the new page and the dialog its title.
        if (DialogWindow* w = DialogWindowOf(d)) w->Sync();
        if (HWND top = WindowOf(d)) SetWindowTextA(top, d.form_state().text.c_str());
      }) {
  InitCommonControlsOnce();
  windows_.on_tray_click = [this] {
    if (on_tray_click) on_tray_click();
  };
}

Win32Presenter::~Win32Presenter() {
  windows_.on_tray_click = nullptr;
  if (timer_) windows_.KillTimer(timer_);
  meta_.Stop();
  for (auto& [dialog, handle] : handles_) {
    RemovePropA(H(handle), kDialogProp);
    windows_.DestroyWindow(handle);
  }
  dialogs_.clear();
}

HWND Win32Presenter::WindowOf(const DialogRuntime& dialog) const {
  auto it = handles_.find(&dialog);
  return it == handles_.end() ? nullptr : H(it->second);
}

DialogWindow* Win32Presenter::DialogWindowOf(const DialogRuntime& dialog) const {
  auto it = dialogs_.find(&dialog);
  return it == dialogs_.end() ? nullptr : it->second.get();
}

platform::WindowRect Win32Presenter::Placement(DialogRuntime& dialog) {
  PoolTemplate& form = dialog.form();
  // The form gives the client size (or the outer size when it sets no client size).
  RECT r = {0, 0, form.Integer("ClientWidth"), form.Integer("ClientHeight")};
  if (r.right == 0 || r.bottom == 0) {
    r.right = form.Integer("Width");
    r.bottom = form.Integer("Height");
  } else {
    AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  }
  platform::WindowRect placement;
  placement.left = form.Integer("Left");
  placement.top = form.Integer("Top");
  placement.width = r.right - r.left;
  placement.height = r.bottom - r.top;
  return placement;
}

DialogWindow& Win32Presenter::Make(DialogRuntime& dialog, const platform::WindowRect& placement) {
  const uint64_t handle = windows_.MakeWindow(dialog.form_state().name(), dialog.dialog_key(),
                                              dialog.form_state().text, placement);
  HWND hwnd = H(handle);
  auto& window = dialogs_[&dialog];
  window = std::make_unique<DialogWindow>(dialog, codecs_);
  window->on_minimised = [this, &dialog] {
    if (on_minimised) on_minimised(dialog);
  };
  window->on_close_refused = [this] {
    // Refused while the engine's icon is in the notification area: back from the tray.
    if (!windows_.tray_icon_shown() || !on_tray_click) return false;
    on_tray_click();
    return true;
  };
  SetPropA(hwnd, kDialogProp, window.get());
  LONG_PTR original = SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TopProc));
  SetPropA(hwnd, kOriginalProp, reinterpret_cast<HANDLE>(original));
  window->Build(hwnd);
  handles_[&dialog] = handle;
  return *window;
}

void Win32Presenter::ExpectDialogs(const std::vector<DialogRuntime*>& dialogs) {
  expected_ = dialogs;
  next_expected_ = 0;
}

bool Win32Presenter::MakeExpectedWindow() {
  while (next_expected_ < expected_.size()) {
    DialogRuntime* dialog = expected_[next_expected_++];
    if (dialogs_.count(dialog)) continue;
    // Made hidden where the form says; a display places it again.
    Make(*dialog, Placement(*dialog));
    return true;
  }
  return false;
}

uint64_t Win32Presenter::ShowHeldBack(DialogRuntime& dialog) {
  const uint64_t handle = Place(dialog);
  held_back_.insert(&dialog);
  active_ = &dialog;
  return handle;
}

void Win32Presenter::HideWindowOf(DialogRuntime& dialog) {
  if (HWND hwnd = WindowOf(dialog)) windows_.HideWindow(reinterpret_cast<uintptr_t>(hwnd));
}

void Win32Presenter::RestoreWindowOf(DialogRuntime& dialog) {
  if (HWND hwnd = WindowOf(dialog)) windows_.RestoreWindow(reinterpret_cast<uintptr_t>(hwnd));
}

uint64_t Win32Presenter::Place(DialogRuntime& dialog) {
  const platform::WindowRect placement = Placement(dialog);
  const std::string caption = dialog.form_state().text;

  uint64_t handle;
  DialogWindow* window = DialogWindowOf(dialog);
  const bool fresh = window == nullptr;
  if (fresh) {
    window = &Make(dialog, placement);
    handle = handles_[&dialog];
  } else {
    // Every display places the window again (its position may have changed).
    handle = windows_.RecreateWindow(handles_[&dialog], caption, placement);
  }
  handles_[&dialog] = handle;
  HWND hwnd = H(handle);
  const bool on_screen = IsWindowVisible(hwnd) != FALSE;
  // A window already on screen is redrawn in one go: no control shows half its new state.
  if (on_screen) SendMessageA(hwnd, WM_SETREDRAW, FALSE, 0);
  if (!fresh) window->Sync();
  if (on_screen) {
    SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
  // The system menu afresh, with Close greyed: the engine decides when a dialog closes.
  GetSystemMenu(hwnd, TRUE);
  EnableMenuItem(GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  return handle;
}

uint64_t Win32Presenter::Show(DialogRuntime& dialog) {
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  // A window that a display held back is already placed and drawn.
  const bool held_back = held_back_.erase(&dialog) > 0;
  const uint64_t handle = held_back ? handles_[&dialog] : Place(dialog);
  HWND hwnd = H(handle);
  DialogWindow* window = DialogWindowOf(dialog);
  if (held_back) window->Sync();
  windows_.ShowWindow(handle);
  HWND focus = nullptr;
  if (ControlView* v = window->FindByName(dialog.focused())) focus = v->hwnd();
  if (!focus || !IsWindowEnabled(focus) || !IsWindowVisible(focus)) {
    focus = GetNextDlgTabItem(hwnd, nullptr, FALSE);
  }
  if (focus) SetFocus(focus);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  active_ = &dialog;
  meta_.Sync(dialog);
  if (!timer_) {
    timer_ = windows_.SetTimer(1000, [this] {
      if (on_timer) on_timer();
      Resync();
    });
  }
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  last_show_ms_ = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
  return handle;
}

void Win32Presenter::Hide(DialogRuntime& dialog) {
  meta_.Forget(dialog);
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) {
    // What the user saw last (progress set since the last redraw), then away.
    if (DialogWindow* w = DialogWindowOf(dialog)) w->Sync();
    windows_.HideWindow(it->second);
  }
  if (active_ == &dialog) active_ = nullptr;
}

void Win32Presenter::Forget(DialogRuntime& dialog) {
  meta_.Forget(dialog);
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) {
    RemovePropA(H(it->second), kDialogProp);
    windows_.DestroyWindow(it->second);
    handles_.erase(it);
  }
  dialogs_.erase(&dialog);
  held_back_.erase(&dialog);
  if (active_ == &dialog) active_ = nullptr;
}

void Win32Presenter::SetActive(DialogRuntime* dialog) {
  active_ = dialog != nullptr && handles_.count(dialog) != 0 ? dialog : nullptr;
}

void Win32Presenter::Resync() {
  if (!active_) return;
  if (DialogWindow* w = DialogWindowOf(*active_)) w->Sync();
}

bool Win32Presenter::HandleOneMessage() {
  // While no message waits, the windows of the dialogs still to come are made, one at a time.
  while (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0 && MakeExpectedWindow()) {
  }
  platform::WindowInput input;
  const uint64_t handle = active_ ? handles_[active_] : 0;
  const bool more = windows_.PumpOne(handle, &input) != platform::WindowService::Pumped::kNoInput;
  // An input may have shown another page with a refresh of its own.
  if (active_) meta_.Sync(*active_);
  return more;
}

void Win32Presenter::ProcessPendingMessages() {
  windows_.ProcessPending();
  // The script may have changed what the dialog shows (progress) since the last message.
  Resync();
}

// --- the taskbar

Taskbar::~Taskbar() {
  if (list_) static_cast<ITaskbarList3*>(list_)->Release();
}

bool Taskbar::available() {
  if (tried_) return list_ != nullptr;
  tried_ = true;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ITaskbarList3* list = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&list))) &&
      list) {
    if (SUCCEEDED(list->HrInit())) {
      list_ = list;
    } else {
      list->Release();
    }
  }
  return list_ != nullptr;
}

void Taskbar::Update(HWND window, const std::string& mode, int64_t position, int64_t maximum) {
  if (!window || !available()) return;
  auto* list = static_cast<ITaskbarList3*>(list_);
  if (mode == "MARQUEE") {
    list->SetProgressState(window, TBPF_INDETERMINATE);
  } else {
    list->SetProgressState(window, TBPF_NORMAL);
    list->SetProgressValue(window, static_cast<ULONGLONG>(position < 0 ? 0 : position),
                           static_cast<ULONGLONG>(maximum <= 0 ? 1 : maximum));
  }
  if (mode == "ERROR") list->SetProgressState(window, TBPF_ERROR);
  if (mode == "PAUSE") list->SetProgressState(window, TBPF_PAUSED);
}

void Taskbar::Overlay(HWND window, bool on, const std::string& description) {
  if (!window || !available()) return;
  auto* list = static_cast<ITaskbarList3*>(list_);
  if (!on) {
    list->SetOverlayIcon(window, nullptr, nullptr);
    return;
  }
  HICON icon = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0));
  if (!icon) icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  const int n = MultiByteToWideChar(CP_ACP, 0, description.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1u, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, description.c_str(), -1, wide.data(), n);
  // Errors are of no consequence: the button simply shows no overlay.
  list->SetOverlayIcon(window, icon, wide.c_str());
}

void Win32DialogHooks::SetTaskbarOverlay(bool on, const std::string& description) {
  HWND window = presenter_.active() ? presenter_.WindowOf(*presenter_.active()) : nullptr;
  taskbar_.Overlay(window, on, description);
}

Win32DialogHooks::Win32DialogHooks(interp::Session& session, Win32Presenter& presenter)
    : SessionDialogHooks(session), presenter_(presenter) {}

void Win32DialogHooks::Apply() {
  HWND window = presenter_.active() ? presenter_.WindowOf(*presenter_.active()) : nullptr;
  taskbar_.Update(window, s_.variables.GetVariable("PROGRESSMODE"), position_, maximum_);
}

void Win32DialogHooks::PauseTaskbar() {
  pause_.Pause();
  Apply();
}

void Win32DialogHooks::ErrorTaskbar() {
  pause_.Pause("ERROR");
  Apply();
}

void Win32DialogHooks::RestoreTaskbar() {
  pause_.Restore();
  Apply();
}

void Win32DialogHooks::UpdateTaskbar(const std::string& mode, int64_t position, int64_t maximum) {
  position_ = position;
  maximum_ = maximum;
  HWND window = presenter_.active() ? presenter_.WindowOf(*presenter_.active()) : nullptr;
  taskbar_.Update(window, mode, position, maximum);
}

}  // namespace corvane::ui::win32
