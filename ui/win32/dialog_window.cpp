#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "platform/text.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

constexpr char kViewProp[] = "CorvaneView";
constexpr char kForwardProp[] = "CorvaneForward";

bool IsNotification(UINT msg) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return true;
    default:
      return false;
  }
}

// Notifications go to the control's parent; inside a container that is not the dialog window
// they travel on up to it, where the views are found.
LRESULT PassUp(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  HWND root = GetAncestor(hwnd, GA_ROOT);
  return SendMessageA(root, msg, wp, lp);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ControlView* view = ViewOf(hwnd);
  if (IsNotification(msg) && GetParent(hwnd)) {
    if (msg == WM_HSCROLL || msg == WM_VSCROLL) {
      if (lp) return PassUp(hwnd, msg, wp, lp);
    } else {
      return PassUp(hwnd, msg, wp, lp);
    }
  }
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      // Drawn off screen first, so that a redraw never shows a half-painted control.
      HDC mem = CreateCompatibleDC(dc);
      HBITMAP bmp = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1),
                                           std::max<LONG>(client.bottom, 1));
      HGDIOBJ old = SelectObject(mem, bmp);
      if (view) view->Paint(mem, client);
      BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() != hwnd) return 0;
      ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      RECT client;
      GetClientRect(hwnd, &client);
      POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (view && PtInRect(&client, p) && IsWindowEnabled(hwnd)) view->Clicked();
      return 0;
    }
    case WM_NCDESTROY:
      RemovePropA(hwnd, kViewProp);
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kForwardProp));
  if (IsNotification(msg) && !(msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->hwndFrom == hwnd)) {
    if ((msg != WM_HSCROLL && msg != WM_VSCROLL) || lp) return PassUp(hwnd, msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(hwnd, kForwardProp);
  }
  return CallWindowProcA(original, hwnd, msg, wp, lp);
}

constexpr char kSubclassProp[] = "CorvaneSubclass";

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kSubclassProp));
  ControlView* view = ViewOf(hwnd);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(hwnd, kSubclassProp);
    return CallWindowProcA(original, hwnd, msg, wp, lp);
  }
  LRESULT result = 0;
  if (view && !view->dialog().syncing() && view->Before(msg, wp, lp, &result)) return result;
  result = CallWindowProcA(original, hwnd, msg, wp, lp);
  if (view && !view->dialog().syncing()) view->After(msg, wp, lp);
  return result;
}

struct NamedColour {
  const char* name;
  COLORREF rgb;  // or a system colour index + 0x80000000
};
constexpr uint32_t kSystem = 0x80000000u;
const NamedColour kColours[] = {
    {"clBlack", RGB(0, 0, 0)},          {"clMaroon", RGB(128, 0, 0)},
    {"clGreen", RGB(0, 128, 0)},        {"clOlive", RGB(128, 128, 0)},
    {"clNavy", RGB(0, 0, 128)},         {"clPurple", RGB(128, 0, 128)},
    {"clTeal", RGB(0, 128, 128)},       {"clGray", RGB(128, 128, 128)},
    {"clSilver", RGB(192, 192, 192)},   {"clRed", RGB(255, 0, 0)},
    {"clLime", RGB(0, 255, 0)},         {"clYellow", RGB(255, 255, 0)},
    {"clBlue", RGB(0, 0, 255)},         {"clFuchsia", RGB(255, 0, 255)},
    {"clAqua", RGB(0, 255, 255)},       {"clWhite", RGB(255, 255, 255)},
    {"clScrollBar", kSystem | COLOR_SCROLLBAR},
    {"clBackground", kSystem | COLOR_BACKGROUND},
    {"clActiveCaption", kSystem | COLOR_ACTIVECAPTION},
    {"clInactiveCaption", kSystem | COLOR_INACTIVECAPTION},
    {"clMenu", kSystem | COLOR_MENU},   {"clWindow", kSystem | COLOR_WINDOW},
    {"clWindowFrame", kSystem | COLOR_WINDOWFRAME},
    {"clMenuText", kSystem | COLOR_MENUTEXT},
    {"clWindowText", kSystem | COLOR_WINDOWTEXT},
    {"clCaptionText", kSystem | COLOR_CAPTIONTEXT},
    {"clActiveBorder", kSystem | COLOR_ACTIVEBORDER},
    {"clInactiveBorder", kSystem | COLOR_INACTIVEBORDER},
    {"clAppWorkSpace", kSystem | COLOR_APPWORKSPACE},
    {"clHighlight", kSystem | COLOR_HIGHLIGHT},
    {"clHighlightText", kSystem | COLOR_HIGHLIGHTTEXT},
    {"clBtnFace", kSystem | COLOR_BTNFACE},
    {"clBtnShadow", kSystem | COLOR_BTNSHADOW},
    {"clGrayText", kSystem | COLOR_GRAYTEXT},
    {"clBtnText", kSystem | COLOR_BTNTEXT},
    {"clInactiveCaptionText", kSystem | COLOR_INACTIVECAPTIONTEXT},
    {"clBtnHighlight", kSystem | COLOR_BTNHIGHLIGHT},
    {"cl3DDkShadow", kSystem | COLOR_3DDKSHADOW},
    {"cl3DLight", kSystem | COLOR_3DLIGHT},
    {"clInfoText", kSystem | COLOR_INFOTEXT},
    {"clInfoBk", kSystem | COLOR_INFOBK},
};

COLORREF Resolve(uint32_t value) {
  if (value & kSystem) return GetSysColor(static_cast<int>(value & 0xFF));
  return value & 0xFFFFFF;
}

bool SetOf(const Component& c, const char* property) { return c.Value(property) != nullptr; }

}  // namespace

void RegisterViewClass() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ViewProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kViewClass;
  RegisterClassExA(&wc);
}

void ForwardChildNotifications(HWND container) {
  if (GetPropA(container, kForwardProp)) return;
  LONG_PTR original = SetWindowLongPtrA(container, GWLP_WNDPROC,
                                        reinterpret_cast<LONG_PTR>(&ForwardProc));
  SetPropA(container, kForwardProp, reinterpret_cast<HANDLE>(original));
}

void Subclass(HWND hwnd) {
  if (!hwnd || GetPropA(hwnd, kSubclassProp)) return;
  LONG_PTR original =
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
  SetPropA(hwnd, kSubclassProp, reinterpret_cast<HANDLE>(original));
}

ControlView* ViewOf(HWND hwnd) {
  return hwnd ? static_cast<ControlView*>(GetPropA(hwnd, kViewProp)) : nullptr;
}

void AttachView(HWND hwnd, ControlView* view) { SetPropA(hwnd, kViewProp, view); }

COLORREF ColourOf(const std::string& text, COLORREF fallback) {
  for (const NamedColour& c : kColours) {
    if (platform::SameText(text, c.name)) return Resolve(c.rgb);
  }
  if (text.empty() || platform::SameText(text, "clNone") || platform::SameText(text, "clDefault")) {
    return fallback;
  }
  char* end = nullptr;
  long long v = text[0] == '$' ? std::strtoll(text.c_str() + 1, &end, 16)
                               : std::strtoll(text.c_str(), &end, 10);
  if (!end || *end) return fallback;
  return Resolve(static_cast<uint32_t>(v));
}

COLORREF BackgroundOf(const Component& c) {
  const Component* p = &c;
  while (p) {
    const bool own = SetOf(*p, "Color") || p->GetText("ParentColor").value_or("True") == "False" ||
                     !p->HasProperty("ParentColor") || !p->parent();
    if (own && p->HasProperty("Color")) {
      return ColourOf(p->GetText("Color").value_or(""), GetSysColor(COLOR_BTNFACE));
    }
    p = p->parent();
  }
  return GetSysColor(COLOR_BTNFACE);
}


COLORREF TextColourOf(const Component& c) {
  const Component* p = &c;
  while (p) {
    const bool own = SetOf(*p, "Font.Color") ||
                     p->GetText("ParentFont").value_or("True") == "False" || !p->parent();
    if (own) {
      return ColourOf(p->GetText("Font.Color").value_or(""), GetSysColor(COLOR_WINDOWTEXT));
    }
    p = p->parent();
  }
  return GetSysColor(COLOR_WINDOWTEXT);
}

HFONT FontOf(DialogWindow& dialog, const Component& c) {
  const Component* p = &c;
  while (p->parent()) {
    const bool own = p->GetText("ParentFont").value_or("True") == "False" ||
                     SetOf(*p, "Font.Name") || SetOf(*p, "Font.Height") ||
                     SetOf(*p, "Font.Style") || SetOf(*p, "Font.Size");
    if (own) break;
    p = p->parent();
  }
  std::string name = p->GetText("Font.Name").value_or("MS Sans Serif");
  if (name.empty()) name = "MS Sans Serif";
  int height = p->Integer("Font.Height", -11);
  if (SetOf(*p, "Font.Size") && !SetOf(*p, "Font.Height")) {
    height = -MulDiv(p->Integer("Font.Size", 8), 96, 72);
  }
  const std::string style = p->GetText("Font.Style").value_or("");
  auto has = [&](const char* s) { return style.find(s) != std::string::npos; };
  return dialog.Font(name, height ? height : -11, has("fsBold"), has("fsItalic"),
                     has("fsUnderline"), DEFAULT_CHARSET);
}

HBITMAP BitmapOf(const platform::Picture& picture, COLORREF background) {
  if (picture.width == 0 || picture.height == 0) return nullptr;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = static_cast<LONG>(picture.width);
  bi.bmiHeader.biHeight = -static_cast<LONG>(picture.height);  // rows from the top
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp || !bits) return nullptr;
  auto* out = static_cast<uint8_t*>(bits);
  const int br = GetRValue(background), bg = GetGValue(background), bb = GetBValue(background);
  const size_t n = static_cast<size_t>(picture.width) * picture.height;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* px = picture.rgba.data() + i * 4;
    const int a = px[3];
    out[i * 4 + 0] = static_cast<uint8_t>((px[2] * a + bb * (255 - a)) / 255);
    out[i * 4 + 1] = static_cast<uint8_t>((px[1] * a + bg * (255 - a)) / 255);
    out[i * 4 + 2] = static_cast<uint8_t>((px[0] * a + br * (255 - a)) / 255);
    out[i * 4 + 3] = 0;
  }
  return bmp;
}

void DrawBitmap(HDC dc, HBITMAP bmp, const RECT& r, bool stretch, bool centre) {
  if (!bmp) return;
  BITMAP info;
  if (!GetObjectA(bmp, sizeof info, &info)) return;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bmp);
  if (stretch) {
    // Smoothed when it shrinks; enlarged pixel for pixel, as the picture was drawn.
    const bool shrinks = r.right - r.left < info.bmWidth || r.bottom - r.top < info.bmHeight;
    SetStretchBltMode(dc, shrinks ? HALFTONE : COLORONCOLOR);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
  } else {
    int x = r.left, y = r.top;
    if (centre) {
      x += (r.right - r.left - info.bmWidth) / 2;
      y += (r.bottom - r.top - info.bmHeight) / 2;
    }
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
  }
  SelectObject(mem, old);
  DeleteDC(mem);
}

// --- ControlView

HWND ControlView::MakeChild(const char* cls, const std::string& text, DWORD style,
                            DWORD ex_style, HWND parent, const RECT& r) {
  style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (TabStop() && state_.component().GetText("TabStop").value_or("True") != "False") {
    style |= WS_TABSTOP;
  }
  hwnd_ = CreateWindowExA(ex_style, cls, text.c_str(), style, r.left, r.top, r.right - r.left,
                          r.bottom - r.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                          GetModuleHandleA(nullptr), nullptr);
  if (hwnd_) {
    AttachView(hwnd_, this);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(dialog_, state_.component())),
                 FALSE);
    drawn_text_ = text;
  }
  return hwnd_;
}

void ControlView::SyncCommon() {
  if (!hwnd_) return;
  const bool visible = state_.visible && shown_by_parent;
  if (!drawn_once_ || visible != drawn_visible_) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
    drawn_visible_ = visible;
  }
  if (!drawn_once_ || state_.enabled != drawn_enabled_) {
    EnableWindow(hwnd_, state_.enabled ? TRUE : FALSE);
    drawn_enabled_ = state_.enabled;
  }
  drawn_once_ = true;
}

void ControlView::SyncText(const std::string& text) {
  if (!hwnd_ || text == drawn_text_) return;
  SetWindowTextA(hwnd_, text.c_str());
  drawn_text_ = text;
}

// --- DialogWindow

DialogWindow::DialogWindow(DialogRuntime& runtime, platform::PictureCodecs& codecs)
    : runtime_(runtime), codecs_(codecs) {}

DialogWindow::~DialogWindow() {
  // The windows go first (they hold the fonts), then the views.
  if (top_ && IsWindow(top_)) {
    for (auto& v : views_) {
      if (v->hwnd()) SetPropA(v->hwnd(), kViewProp, nullptr);
    }
  }
  views_.clear();
  for (auto& [k, f] : fonts_) DeleteObject(f);
  for (auto& [k, b] : brushes_) DeleteObject(b);
}

HFONT DialogWindow::Font(const std::string& name, int height, bool bold, bool italic,
                         bool underline, int charset) {
  const std::string key = name + "|" + std::to_string(height) + "|" + (bold ? "b" : "") +
                          (italic ? "i" : "") + (underline ? "u" : "") + std::to_string(charset);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  HFONT f = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, underline, FALSE,
                        static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
  if (!f) f = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_[key] = f;
  return f;
}

HBRUSH DialogWindow::Brush(COLORREF colour) {
  auto it = brushes_.find(colour);
  if (it != brushes_.end()) return it->second;
  HBRUSH b = CreateSolidBrush(colour);
  brushes_[colour] = b;
  return b;
}

ControlView* DialogWindow::Find(const Component& c) const {
  auto it = by_component_.find(&c);
  return it == by_component_.end() ? nullptr : it->second;
}

ControlView* DialogWindow::FindByName(const std::string& name) const {
  for (const auto& v : views_) {
    if (platform::SameText(v->state().name(), name)) return v.get();
  }
  return nullptr;
}

namespace {

// Controls that the form library draws on their parent (no window of their own there): they lie
// below every windowed sibling, the later ones above the earlier.
bool DrawnOnParent(const Component& c) {
  static const char* const kGraphic[] = {"TLabel", "TImage", "TShape", "TBevel", "TSpeedButton",
                                         "TGauge", "TRzBmpButton"};
  for (const char* g : kGraphic) {
    if (platform::SameText(c.class_name(), g)) return true;
  }
  return false;
}

std::unique_ptr<ControlView> MakeView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kLabel:
    case ControlKind::kStaticText:
    case ControlKind::kEdit:
    case ControlKind::kMaskEdit:
    case ControlKind::kMemo:
    case ControlKind::kRichEdit:
    case ControlKind::kHtmlViewer:
    case ControlKind::kMovie:
      return MakeTextView(d, s);
    case ControlKind::kButton:
    case ControlKind::kSpeedButton:
    case ControlKind::kBitButton:
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      return MakeButtonView(d, s);
    case ControlKind::kListBox:
    case ControlKind::kComboBox:
    case ControlKind::kCheckList:
    case ControlKind::kTreeView:
      return MakeListView(d, s);
    case ControlKind::kProgressBar:
    case ControlKind::kGauge:
    case ControlKind::kTrackBar:
      return MakeRangeView(d, s);
    case ControlKind::kFileList:
    case ControlKind::kShellList:
    case ControlKind::kDirectoryList:
    case ControlKind::kShellTree:
    case ControlKind::kDriveCombo:
    case ControlKind::kShellCombo:
      return MakeFileView(d, s);
    default:
      break;
  }
  const std::string& cls = s.component().class_name();
  if (platform::SameText(cls, "TUpDown")) return MakeRangeView(d, s);
  if (platform::SameText(cls, "TFilterComboBox")) return MakeFileView(d, s);
  return MakeGraphicView(d, s);
}

}  // namespace

void DialogWindow::Build(HWND top) {
  top_ = top;
  RegisterViewClass();
  SendMessageA(top_, WM_SETFONT,
               reinterpret_cast<WPARAM>(FontOf(*this, runtime_.form())), FALSE);
  BuildChildren(runtime_.form(), top_, nullptr);
  Sync();
}

void DialogWindow::BuildChildren(const Component& parent, HWND parent_hwnd,
                                 ControlView* container) {
  std::map<const Component*, ControlState*> states;
  for (const auto& s : runtime_.controls()) states[&s->component()] = s.get();
  std::vector<ControlState*> windowed, drawn;
  for (Component* c : parent.children()) {
    const ControlClass* cls = FindControlClass(c->class_name());
    if (!cls || !cls->is_control || c->is_form_designer()) continue;
    auto it = states.find(c);
    if (it == states.end()) continue;
    (DrawnOnParent(*c) ? drawn : windowed).push_back(it->second);
  }
  // Tab goes through the windows in the order they were made: the tab order.
  std::stable_sort(windowed.begin(), windowed.end(), [](ControlState* a, ControlState* b) {
    return a->tab_order < b->tab_order;
  });
  std::reverse(drawn.begin(), drawn.end());
  windowed.insert(windowed.end(), drawn.begin(), drawn.end());
  for (ControlState* s : windowed) {
    std::unique_ptr<ControlView> view = MakeView(*this, *s);
    view->set_id(static_cast<int>(100 + views_.size()));
    const Component& c = s->component();
    RECT r;
    if (platform::SameText(c.class_name(), "TTabSheet") && container) {
      r = PageSetArea(AsPageSet(container));
    } else {
      const int left = c.Integer("Left"), top = c.Integer("Top");
      r = {left, top, left + c.Integer("Width"), top + c.Integer("Height")};
    }
    ControlView* raw = view.get();
    views_.push_back(std::move(view));
    by_component_[&c] = raw;
    raw->Create(parent_hwnd, r);
    if (raw->ChildParent()) BuildChildren(c, raw->ChildParent(), raw);
  }
}

void DialogWindow::Sync() {
  ++syncing_;
  for (auto& v : views_) {
    // A container above a control hides it: a panel that is hidden, a sheet not shown.
    bool shown = true;
    for (const Component* p = v->state().component().parent(); p && p != &runtime_.form();
         p = p->parent()) {
      ControlView* pv = Find(*p);
      if (!pv) continue;
      if (!pv->state().visible) shown = false;
      if (platform::SameText(p->class_name(), "TTabSheet") && p->parent()) {
        ControlView* pages = Find(*p->parent());
        if (pages && !PageSetShows(AsPageSet(pages), *p)) shown = false;
      }
    }
    if (platform::SameText(v->state().component().class_name(), "TTabSheet") &&
        v->state().component().parent()) {
      ControlView* pages = Find(*v->state().component().parent());
      if (pages && !PageSetShows(AsPageSet(pages), v->state().component())) shown = false;
    }
    v->shown_by_parent = shown;
    v->Sync();
  }
  const std::string caption = runtime_.form_state().text;
  char current[512] = {};
  GetWindowTextA(top_, current, sizeof current);
  if (caption != current) SetWindowTextA(top_, caption.c_str());
  --syncing_;
}

void DialogWindow::Focus(const std::string& name) {
  ControlView* v = FindByName(name);
  if (v && v->hwnd() && IsWindowVisible(v->hwnd()) && IsWindowEnabled(v->hwnd())) {
    SetFocus(v->hwnd());
  }
}

void DialogWindow::AfterEvent() {
  Sync();
  if (runtime_.focused() != focused_) {
    focused_ = runtime_.focused();
    if (!focused_.empty()) Focus(focused_);
  }
}

bool DialogWindow::Handle(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_COMMAND: {
      ControlView* v = ViewOf(reinterpret_cast<HWND>(lp));
      if (!v && lp == 0) {
        const int id = LOWORD(wp);
        for (auto& view : views_) {
          if (view->id() == id) v = view.get();
        }
        if (!v && (id == IDOK || id == IDCANCEL)) {
          // Enter and Escape: the default and the cancel button, when one can take it.
          const char* property = id == IDOK ? "Default" : "Cancel";
          for (auto& view : views_) {
            if (view->state().Get(property).value_or("") == "True" && view->state().enabled &&
                view->state().visible) {
              v = view.get();
              break;
            }
          }
          if (v) {
            if (!syncing()) v->Command(BN_CLICKED);
            *result = 0;
            return true;
          }
        }
      }
      if (v && &v->dialog() == this) {
        if (!syncing()) v->Command(HIWORD(wp));
        *result = 0;
        return true;
      }
      return false;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      ControlView* v = ViewOf(header->hwndFrom);
      if (!v || &v->dialog() != this) return false;
      *result = syncing() ? 0 : v->Notify(header);
      return true;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      ControlView* v = ViewOf(item->hwndItem);
      if (!v) return false;
      v->DrawItem(*item);
      *result = TRUE;
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      ControlView* v = ViewOf(reinterpret_cast<HWND>(lp));
      if (!v) return false;
      if (!syncing()) v->Scroll(LOWORD(wp));
      *result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      ControlView* v = ViewOf(reinterpret_cast<HWND>(lp));
      if (!v) return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      const Component& c = v->state().component();
      COLORREF back = BackgroundOf(c);
      // A read-only or disabled edit shows the face of the dialog, as Windows draws it.
      if (v->state().kind() == ControlKind::kEdit || v->state().kind() == ControlKind::kMaskEdit ||
          v->state().kind() == ControlKind::kMemo) {
        return false;
      }
      SetTextColor(dc, v->state().enabled ? TextColourOf(c) : GetSysColor(COLOR_GRAYTEXT));
      SetBkColor(dc, back);
      *result = reinterpret_cast<LRESULT>(Brush(back));
      return true;
    }
    case DM_GETDEFID: {
      for (auto& view : views_) {
        if (view->state().Get("Default").value_or("") == "True" && view->state().enabled &&
            view->hwnd() && GetParent(view->hwnd()) == top_) {
          *result = MAKELONG(view->id(), DC_HASDEFID);
          return true;
        }
      }
      *result = 0;
      return true;
    }
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        // The window minimises as usual; then the engine may take it into the tray.
        *result = DefWindowProcA(top_, msg, wp, lp);
        if (on_minimised) on_minimised();
        return true;
      }
      if ((wp & 0xFFF0) != SC_CLOSE) return false;
      [[fallthrough]];
    case WM_CLOSE:
      // Alt+F4 and the taskbar's Close: only a dialog the engine has hidden may go; otherwise the
      // dialog comes back to the front (from the tray when the engine sits there).
      if (runtime_.RequestClose()) {
        ShowWindow(top_, SW_HIDE);
      } else if (on_close_refused && on_close_refused()) {
      } else {
        ShowWindow(top_, SW_SHOW);
        SendMessageA(top_, WM_SYSCOMMAND, SC_RESTORE, 0);
        BringWindowToTop(top_);
        SetForegroundWindow(top_);
      }
      *result = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace corvane::ui::win32
