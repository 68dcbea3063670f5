// Labels, static texts, edits, mask edits, memos, rich edits and the movie player: the controls
// that show or take text (the HTML viewer has a source of its own, html_view.cpp).
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

bool Is(const Component& c, const char* property, const char* value) {
  return platform::SameText(c.GetText(property).value_or(""), value);
}

DWORD AlignmentStyle(const Component& c) {
  if (Is(c, "Alignment", "taCenter")) return SS_CENTER;
  if (Is(c, "Alignment", "taRightJustify")) return SS_RIGHT;
  return SS_LEFT;
}

// TLabel and TStaticText: a static window. A click acts by the control's Tag.
class LabelView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = AlignmentStyle(c) | SS_NOTIFY;
    if (style == SS_LEFT + SS_NOTIFY && state_.kind() == ControlKind::kLabel &&
        !Is(c, "WordWrap", "True")) {
      style = SS_LEFTNOWORDWRAP | SS_NOTIFY;
    }
    if (Is(c, "ShowAccelChar", "False")) style |= SS_NOPREFIX;
    if (Is(c, "BorderStyle", "sbsSunken")) style |= SS_SUNKEN;
    if (Is(c, "BorderStyle", "sbsSingle")) style |= WS_BORDER;
    width_ = r.right - r.left;
    MakeChild("Static", state_.text, style, 0, parent, r);
    Fit();
  }
  void Sync() override {
    const bool changed = state_.text != drawn_text_;
    SyncText(state_.text);
    if (changed) Fit();
    SyncCommon();
  }

 private:
  // A one-line label that sizes itself grows to show its whole text (the font on this system
  // may be wider than the one the dialog was designed with); it never shrinks below its size.
  void Fit() {
    const Component& c = state_.component();
    if (!hwnd_ || state_.kind() != ControlKind::kLabel || !Is(c, "AutoSize", "True") ||
        AlignmentStyle(c) != SS_LEFT ||
        Is(c, "WordWrap", "True") || state_.text.find('\n') != std::string::npos) {
      return;
    }
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, FontOf(dialog_, c));
    RECT measure = {0, 0, 0, 0};
    DrawTextA(dc, state_.text.c_str(), -1, &measure,
              DT_CALCRECT | DT_SINGLELINE | (Is(c, "ShowAccelChar", "False") ? DT_NOPREFIX : 0));
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    RECT r;
    GetWindowRect(hwnd_, &r);
    const int wanted = std::max<int>(width_, measure.right);
    if (wanted != r.right - r.left) {
      SetWindowPos(hwnd_, nullptr, 0, 0, wanted, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  int width_ = 0;
  void Command(int code) override {
    if (code == STN_CLICKED) {
      const std::string name = state_.name();
      dialog_.Input([&](DialogRuntime& d) { d.Click(name); });
    }
  }
};

// TEdit and TMaskEdit: a one-line edit. Typing writes the text at once; a key released in a
// mask edit reports how much of it is selected (the runtime moves the focus on a full mask).
class EditView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = ES_AUTOHSCROLL;
    if (Is(c, "CharCase", "ecUpperCase")) style |= ES_UPPERCASE;
    if (Is(c, "CharCase", "ecLowerCase")) style |= ES_LOWERCASE;
    const std::string password = c.GetText("PasswordChar").value_or("");
    if (!password.empty() && password != std::string(1, '\0')) style |= ES_PASSWORD;
    const DWORD ex = Is(c, "BorderStyle", "bsNone") ? 0 : WS_EX_CLIENTEDGE;
    MakeChild("Edit", state_.text, style, ex, parent, r);
    Subclass(hwnd_);
  }
  void Sync() override {
    if (state_.max_length != drawn_limit_) {
      SendMessageA(hwnd_, EM_SETLIMITTEXT, static_cast<WPARAM>(state_.max_length), 0);
      drawn_limit_ = state_.max_length;
    }
    if (state_.read_only != drawn_read_only_) {
      SendMessageA(hwnd_, EM_SETREADONLY, state_.read_only ? TRUE : FALSE, 0);
      drawn_read_only_ = state_.read_only;
    }
    SyncText(state_.text);
    SyncCommon();
  }
  void Command(int code) override {
    if (code != EN_CHANGE) return;
    const std::string typed = WindowText();
    drawn_text_ = typed;  // the window shows it already
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.SetText(name, typed); });
  }
  void After(UINT msg, WPARAM, LPARAM) override {
    if (msg != WM_KEYUP || state_.kind() != ControlKind::kMaskEdit) return;
    DWORD from = 0, to = 0;
    SendMessageA(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const std::string name = state_.name();
    const int selected = static_cast<int>(to - from);
    dialog_.Input([&](DialogRuntime& d) { d.MaskKeyUp(name, selected); });
  }

 protected:
  std::string WindowText() const {
    const int n = GetWindowTextLengthA(hwnd_);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(hwnd_, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return text;
  }
  int32_t drawn_limit_ = -1;
  bool drawn_read_only_ = false;
};

DWORD ScrollBarStyle(const Component& c) {
  const std::string bars = c.GetText("ScrollBars").value_or("ssNone");
  DWORD style = 0;
  if (platform::SameText(bars, "ssVertical") || platform::SameText(bars, "ssBoth")) {
    style |= WS_VSCROLL;
  }
  if (platform::SameText(bars, "ssHorizontal") || platform::SameText(bars, "ssBoth")) {
    style |= WS_HSCROLL | ES_AUTOHSCROLL;
  }
  return style;
}

ScrollMetrics VerticalMetrics(HWND hwnd) {
  ScrollMetrics m;
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  m.has_vertical_bar = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VSCROLL) != 0;
  if (GetScrollInfo(hwnd, SB_VERT, &si)) {
    m.position = si.nPos;
    m.page = si.nPage;
    m.maximum = si.nMax;
  }
  return m;
}

// Posted to a multi-line text once its text is in: its scroll metrics then say whether the whole
// text is in view (a text that fits counts as read at once). Posted rather than handled at once,
// because the text is set while the dialog redraws, when no input may reach the runtime.
constexpr UINT kTextMeasured = WM_APP + 0x31;

void ReportMeasured(ControlView& v) {
  const ScrollMetrics m = VerticalMetrics(v.hwnd());
  const std::string name = v.state().name();
  v.dialog().Input([&](DialogRuntime& d) { d.ContentMeasured(name, m); });
}

// Scrolling a multi-line text: the read-to-end tracking needs to know where the text stands
// after every scroll, and whether the bar or the wheel moved it.
void ReportScroll(ControlView& v, UINT msg) {
  if (msg == kTextMeasured) {
    ReportMeasured(v);
    return;
  }
  const bool by_bar_or_wheel = msg == WM_VSCROLL || msg == WM_MOUSEWHEEL;
  if (!by_bar_or_wheel && msg != WM_KEYUP) return;
  const ScrollMetrics m = VerticalMetrics(v.hwnd());
  const std::string name = v.state().name();
  v.dialog().Input([&](DialogRuntime& d) { d.Scrolled(name, m, by_bar_or_wheel); });
}

// TMemo: a multi-line edit.
class MemoView : public EditView {
 public:
  using EditView::EditView;
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ScrollBarStyle(c);
    if (Is(c, "WordWrap", "False")) style |= ES_AUTOHSCROLL;
    const DWORD ex = Is(c, "BorderStyle", "bsNone") ? 0 : WS_EX_CLIENTEDGE;
    MakeChild("Edit", state_.text, style, ex, parent, r);
    Subclass(hwnd_);
  }
  void Sync() override {
    // The read-to-end rule compares MaxLength: the window's limit stays unlimited.
    if (state_.read_only != drawn_read_only_) {
      SendMessageA(hwnd_, EM_SETREADONLY, state_.read_only ? TRUE : FALSE, 0);
      drawn_read_only_ = state_.read_only;
    }
    const bool changed = state_.text != drawn_text_ || !measured_;
    SyncText(state_.text);
    if (changed && state_.read_only && hwnd_) {
      PostMessageA(hwnd_, kTextMeasured, 0, 0);
      measured_ = true;
    }
    SyncCommon();
  }
  void After(UINT msg, WPARAM, LPARAM) override { ReportScroll(*this, msg); }

 private:
  bool measured_ = false;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The rich edit library, loaded once from the system folder.
bool LoadRichEdit() {
  static HMODULE module = LoadLibraryA("riched20.dll");
  return module != nullptr;
}

struct StreamSource {
  const std::string* text;
  size_t at;
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  auto* src = reinterpret_cast<StreamSource*>(cookie);
  const size_t left = src->text->size() - src->at;
  const size_t n = left < static_cast<size_t>(size) ? left : static_cast<size_t>(size);
  memcpy(buffer, src->text->data() + src->at, n);
  src->at += n;
  *done = static_cast<LONG>(n);
  return 0;
}

// TRichEdit: the rich edit control; formatted text (RTF) is streamed in as such, anything else
// as plain text.
class RichEditView : public EditView {
 public:
  using EditView::EditView;
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    LoadRichEdit();
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_SAVESEL | ScrollBarStyle(c);
    if (Is(c, "HideScrollBars", "False")) style |= ES_DISABLENOSCROLL;
    const DWORD ex = Is(c, "BorderStyle", "bsNone") ? 0 : WS_EX_CLIENTEDGE;
    MakeChild(RICHEDIT_CLASSA, "", style, ex, parent, r);
    drawn_text_.clear();
    streamed_ = false;
    if (!hwnd_) return;
    SendMessageA(hwnd_, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SCROLL);
    SendMessageA(hwnd_, EM_SETBKGNDCOLOR, 0,
                 ColourOf(c.GetText("Color").value_or("clWindow"), GetSysColor(COLOR_WINDOW)));
    Subclass(hwnd_);
  }
  void Sync() override {
    if (!hwnd_) return;
    if (state_.read_only != drawn_read_only_ || !streamed_) {
      SendMessageA(hwnd_, EM_SETREADONLY, state_.read_only ? TRUE : FALSE, 0);
      drawn_read_only_ = state_.read_only;
    }
    // A default page in formatted text is read here; a text page is the state's text already.
    const bool rtf_page = !state_.page.empty() &&
                          platform::LowerCase(state_.page).ends_with(".rtf");
    const std::string key = (rtf_page ? state_.page : std::string()) + '\x01' + state_.text;
    if (!streamed_ || key != drawn_text_) {
      const std::string content = rtf_page ? ReadWhole(state_.page) : state_.text;
      StreamSource src{&content, 0};
      EDITSTREAM es = {};
      es.dwCookie = reinterpret_cast<DWORD_PTR>(&src);
      es.pfnCallback = StreamIn;
      const bool rtf = content.rfind("{\\rtf", 0) == 0;
      SendMessageA(hwnd_, EM_STREAMIN, rtf ? SF_RTF : SF_TEXT, reinterpret_cast<LPARAM>(&es));
      SendMessageA(hwnd_, EM_SETSEL, 0, 0);
      SendMessageA(hwnd_, EM_SCROLLCARET, 0, 0);
      drawn_text_ = key;
      streamed_ = true;
      if (state_.read_only) PostMessageA(hwnd_, kTextMeasured, 0, 0);
    }
    SyncCommon();
  }
  void Command(int code) override {
    // The text a user typed, as plain text (formatted text is only shown).
    if (code != EN_CHANGE || state_.read_only) return;
    EditView::Command(code);
  }
  void After(UINT msg, WPARAM, LPARAM) override { ReportScroll(*this, msg); }

 private:
  bool streamed_ = false;
};

// TFlashFrame: the movie player has no player on this system; it shows its text (the hint to
// add a movie, or the movie's name) in a sunken frame.
class MovieView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    MakeChild("Static", Shown(), SS_CENTER | SS_SUNKEN | SS_NOPREFIX, 0, parent, r);
  }
  void Sync() override {
    SyncText(Shown());
    SyncCommon();
  }

 private:
  std::string Shown() const {
    if (!state_.text.empty()) return state_.text;
    if (!state_.page.empty()) return state_.page;
    return state_.component().GetText("Movie").value_or("");
  }
};

}  // namespace

std::unique_ptr<ControlView> MakeTextView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kEdit:
    case ControlKind::kMaskEdit:
      return std::make_unique<EditView>(d, s);
    case ControlKind::kMemo:
      return std::make_unique<MemoView>(d, s);
    case ControlKind::kRichEdit:
      return std::make_unique<RichEditView>(d, s);
    case ControlKind::kHtmlViewer:
      return MakeHtmlView(d, s);
    case ControlKind::kMovie:
      return std::make_unique<MovieView>(d, s);
    default:
      return std::make_unique<LabelView>(d, s);
  }
}

}  // namespace corvane::ui::win32
