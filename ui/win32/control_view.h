// The windows of one displayed dialog and the view of each of its controls. A view makes the
// control's window (a USER or common control where Windows has one, a window that draws itself
// where it has none), redraws it from the control's ControlState, and turns the notifications of
// its window into the runtime's input events. Views never write variables themselves.
//
// One source per family of controls makes its views (MakeTextView, MakeButtonView, ...).
// Windows only; main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/pictures.h"
#include "ui/dialog_runtime.h"

namespace corvane::ui::win32 {

class DialogWindow;

class ControlView {
 public:
  ControlView(DialogWindow& dialog, ControlState& state) : dialog_(dialog), state_(state) {}
  virtual ~ControlView() = default;
  ControlView(const ControlView&) = delete;
  ControlView& operator=(const ControlView&) = delete;

  // Makes the window inside `parent` at r (parent's client coordinates); hwnd() is then set,
  // except for the classes that have no window of their own.
  virtual void Create(HWND parent, const RECT& r) = 0;
  // Makes the window show what the state says; only what changed since the last time is sent
  // to the window (the caller suppresses the notifications this causes).
  virtual void Sync() {}
  // A WM_COMMAND notification of the window.
  virtual void Command(int code) { (void)code; }
  // A WM_NOTIFY notification; the result of the message.
  virtual LRESULT Notify(NMHDR* header) {
    (void)header;
    return 0;
  }
  // WM_HSCROLL / WM_VSCROLL sent to the parent by the window.
  virtual void Scroll(int code) { (void)code; }
  // WM_DRAWITEM of an owner-drawn window.
  virtual void DrawItem(const DRAWITEMSTRUCT& item) { (void)item; }
  // Views whose window draws itself (class kViewClass): paint the client area, a click.
  virtual void Paint(HDC dc, const RECT& client) {
    (void)dc;
    (void)client;
  }
  virtual void Clicked() {}
  // Messages of a subclassed standard window (Subclass): Before may handle one itself (true with
  // *result); After sees it once the window has handled it.
  virtual bool Before(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    (void)msg;
    (void)wp;
    (void)lp;
    (void)result;
    return false;
  }
  virtual void After(UINT msg, WPARAM wp, LPARAM lp) {
    (void)msg;
    (void)wp;
    (void)lp;
  }
  // Whether the control takes the focus with Tab.
  virtual bool TabStop() const { return false; }
  // A container hosts the windows of its child components (panel, group box, tab sheet).
  virtual HWND ChildParent() const { return nullptr; }

  HWND hwnd() const { return hwnd_; }
  ControlState& state() const { return state_; }
  DialogWindow& dialog() const { return dialog_; }
  int id() const { return id_; }
  void set_id(int id) { id_ = id; }
  // The window is shown when its control and every container above it are visible.
  bool shown_by_parent = true;

  // Shared by the families: visibility and enabled state from the state (and what a container
  // says), the window text when it differs.
  void SyncCommon();
  void SyncText(const std::string& text);

 protected:
  // Makes a window of a class with style and extended style and remembers it.
  HWND MakeChild(const char* cls, const std::string& text, DWORD style, DWORD ex_style,
                 HWND parent, const RECT& r);

  DialogWindow& dialog_;
  ControlState& state_;
  HWND hwnd_ = nullptr;
  int id_ = 0;
  bool drawn_visible_ = false;
  bool drawn_enabled_ = true;
  bool drawn_once_ = false;
  std::string drawn_text_;
};

// The window class of the views that draw themselves (shapes, bevels, images, gauges, panels,
// tab sheets): paints through ControlView::Paint and passes its children's notifications up to
// the dialog window.
inline constexpr char kViewClass[] = "CorvaneView";
void RegisterViewClass();
// Passes the notifications of a standard container's children (group box, tab control) up to
// the dialog window.
void ForwardChildNotifications(HWND container);
// Routes the messages of a standard window through its view's Before and After.
void Subclass(HWND hwnd);
// The view a window of a dialog stands for (nullptr for any other window).
ControlView* ViewOf(HWND hwnd);
void AttachView(HWND hwnd, ControlView* view);

// --- GDI helpers
// A colour property ("clBtnFace", "clNavy", "$00FF8000", a number) as a COLORREF.
COLORREF ColourOf(const std::string& text, COLORREF fallback);
// The background colour of a component: its own Color unless it takes its parent's.
COLORREF BackgroundOf(const Component& c);
COLORREF TextColourOf(const Component& c);
// The font of a component (its own Font when ParentFont is False or it sets a Font property,
// otherwise its parent's); the dialog window owns the fonts.
HFONT FontOf(DialogWindow& dialog, const Component& c);
// A picture as a bitmap (24-bit DIB section), composed over `background` where it is
// transparent; nullptr for none.
HBITMAP BitmapOf(const platform::Picture& picture, COLORREF background);
// Draws a bitmap into r: stretched, or at its own size (centred when centre).
void DrawBitmap(HDC dc, HBITMAP bmp, const RECT& r, bool stretch, bool centre);

// --- the families
std::unique_ptr<ControlView> MakeTextView(DialogWindow& d, ControlState& s);
std::unique_ptr<ControlView> MakeButtonView(DialogWindow& d, ControlState& s);
std::unique_ptr<ControlView> MakeListView(DialogWindow& d, ControlState& s);
std::unique_ptr<ControlView> MakeRangeView(DialogWindow& d, ControlState& s);
std::unique_ptr<ControlView> MakeGraphicView(DialogWindow& d, ControlState& s);
std::unique_ptr<ControlView> MakeFileView(DialogWindow& d, ControlState& s);
// THTMLViewer (html_view.cpp).
std::unique_ptr<ControlView> MakeHtmlView(DialogWindow& d, ControlState& s);

// The tab control of a page set, for its sheets.
class PageSetView;
PageSetView* AsPageSet(ControlView* view);
// The sheet a page set shows now, and the display area of its sheets (in the page set's client
// coordinates).
bool PageSetShows(PageSetView* pages, const Component& sheet);
RECT PageSetArea(PageSetView* pages);

// The windows of one dialog: the top window, the views of its controls, fonts and brushes.
class DialogWindow {
 public:
  DialogWindow(DialogRuntime& runtime, platform::PictureCodecs& codecs);
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Makes the views and their windows inside `top` (a window of the window service).
  void Build(HWND top);
  // Redraws every view from the state (notifications suppressed meanwhile).
  void Sync();
  // An input event reached the runtime: redraw what it changed, move the focus it asked for.
  void AfterEvent();
  // The messages of the top window (subclassed); true with *result when handled.
  bool Handle(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

  DialogRuntime& runtime() { return runtime_; }
  platform::PictureCodecs& codecs() { return codecs_; }
  HWND top() const { return top_; }
  bool syncing() const { return syncing_ > 0; }
  // The user minimised the window (it is minimised already when this is called); the user's
  // close request was refused, and true when the handler brought the engine back from the tray
  // (otherwise the window comes to the front by itself).
  std::function<void()> on_minimised;
  std::function<bool()> on_close_refused;
  const std::vector<std::unique_ptr<ControlView>>& views() const { return views_; }
  ControlView* Find(const Component& c) const;
  ControlView* FindByName(const std::string& name) const;
  HFONT Font(const std::string& name, int height, bool bold, bool italic, bool underline,
             int charset);
  HBRUSH Brush(COLORREF colour);
  // What a user did to a control: after the runtime acted, the windows follow its state.
  template <typename F>
  void Input(F&& act) {
    if (syncing()) return;
    act(runtime_);
    AfterEvent();
  }

 private:
  void BuildChildren(const Component& parent, HWND parent_hwnd, ControlView* container);
  void Focus(const std::string& name);

  DialogRuntime& runtime_;
  platform::PictureCodecs& codecs_;
  HWND top_ = nullptr;
  std::vector<std::unique_ptr<ControlView>> views_;
  std::map<const Component*, ControlView*> by_component_;
  std::map<std::string, HFONT> fonts_;
  std::map<COLORREF, HBRUSH> brushes_;
  std::string focused_;
  int syncing_ = 0;
};

}  // namespace corvane::ui::win32
