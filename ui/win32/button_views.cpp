// Push buttons, check boxes, radio buttons, glyph buttons, flat (speed) buttons and bitmap
// buttons. Check boxes and radio buttons never change their own mark: a click goes to the
// runtime, and the mark follows the state it then has.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include "platform/text.h"
#include "ui/picture_data.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

bool Is(const Component& c, const char* property, const char* value) {
  return platform::SameText(c.GetText(property).value_or(""), value);
}

void ClickOf(ControlView& v) {
  const std::string name = v.state().name();
  v.dialog().Input([&](DialogRuntime& d) { d.Click(name); });
}

class PushButtonView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    const bool def = Is(state_.component(), "Default", "True");
    MakeChild("Button", state_.text, def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, 0, parent, r);
  }
  void Sync() override {
    SyncText(state_.text);
    SyncCommon();
  }
  void Command(int code) override {
    if (code == BN_CLICKED) ClickOf(*this);
  }
};

class CheckView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = state_.kind() == ControlKind::kRadioButton ? BS_RADIOBUTTON : BS_CHECKBOX;
    if (Is(c, "WordWrap", "True")) style |= BS_MULTILINE;
    if (Is(c, "Alignment", "taLeftJustify")) style |= BS_LEFTTEXT;
    MakeChild("Button", state_.text, style, 0, parent, r);
  }
  void Sync() override {
    if (state_.checked != drawn_checked_ || !synced_) {
      SendMessageA(hwnd_, BM_SETCHECK, state_.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      drawn_checked_ = state_.checked;
      synced_ = true;
    }
    SyncText(state_.text);
    SyncCommon();
  }
  void Command(int code) override {
    if (code == BN_CLICKED || code == BN_DBLCLK) ClickOf(*this);
  }

 private:
  bool drawn_checked_ = false;
  bool synced_ = false;
};

HBITMAP PictureBitmap(DialogWindow& d, const Component& c, const char* property,
                      COLORREF back) {
  const FormValue* v = c.Value(property);
  if (!v) return nullptr;
  auto picture = DecodePictureProperty(v->text, d.codecs());
  return picture ? BitmapOf(*picture, back) : nullptr;
}

// One glyph of a strip of NumGlyphs (up, disabled, down, held down), as a part of the bitmap.
struct Glyph {
  HBITMAP bitmap = nullptr;
  int count = 1;
  int width = 0, height = 0;
};

void DrawGlyph(HDC dc, const Glyph& g, int index, int x, int y) {
  if (!g.bitmap) return;
  if (index >= g.count) index = 0;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, g.bitmap);
  BitBlt(dc, x, y, g.width, g.height, mem, index * g.width, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

// The face of a button with a glyph and a caption, as TBitBtn and TSpeedButton draw it.
void DrawFace(HDC dc, RECT r, const Glyph& glyph, const std::string& caption, HFONT font,
              bool enabled, bool pushed, bool focused, bool is_default, bool flat) {
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (is_default) {
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  if (flat) {
    DrawEdge(dc, &r, pushed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  } else {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  }
  RECT text = r;
  InflateRect(&text, -3, -2);
  if (pushed) OffsetRect(&text, 1, 1);
  HGDIOBJ old_font = SelectObject(dc, font);
  SIZE size = {};
  const std::string shown = caption;
  RECT measure = {0, 0, 0, 0};
  DrawTextA(dc, shown.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
  size.cx = measure.right;
  const int spacing = glyph.bitmap && !shown.empty() ? 4 : 0;
  const int total = (glyph.bitmap ? glyph.width : 0) + spacing + size.cx;
  int x = text.left + (text.right - text.left - total) / 2;
  if (glyph.bitmap) {
    DrawGlyph(dc, glyph, enabled ? (pushed && glyph.count > 2 ? 2 : 0) : 1, x,
              text.top + (text.bottom - text.top - glyph.height) / 2);
    x += glyph.width + spacing;
  }
  SetBkMode(dc, TRANSPARENT);
  RECT label = {x, text.top, text.right, text.bottom};
  if (!enabled) {
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    OffsetRect(&label, 1, 1);
    DrawTextA(dc, shown.c_str(), -1, &label, DT_SINGLELINE | DT_VCENTER);
    OffsetRect(&label, -1, -1);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  DrawTextA(dc, shown.c_str(), -1, &label, DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, old_font);
  if (focused) {
    RECT f = r;
    InflateRect(&f, -4, -4);
    DrawFocusRect(dc, &f);
  }
}

Glyph LoadGlyph(DialogWindow& d, const Component& c) {
  Glyph g;
  g.bitmap = PictureBitmap(d, c, "Glyph.Data", GetSysColor(COLOR_BTNFACE));
  if (!g.bitmap) return g;
  BITMAP info;
  GetObjectA(g.bitmap, sizeof info, &info);
  g.count = c.Integer("NumGlyphs", 1);
  if (g.count < 1 || g.count > 4 || info.bmWidth % g.count) g.count = 1;
  g.width = info.bmWidth / g.count;
  g.height = info.bmHeight;
  return g;
}

// TBitBtn: an owner-drawn push button with its glyph.
class GlyphButtonView : public ControlView {
 public:
  using ControlView::ControlView;
  ~GlyphButtonView() override {
    if (glyph_.bitmap) DeleteObject(glyph_.bitmap);
  }
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    glyph_ = LoadGlyph(dialog_, state_.component());
    MakeChild("Button", state_.text, BS_OWNERDRAW, 0, parent, r);
  }
  void Sync() override {
    SyncText(state_.text);
    SyncCommon();
  }
  void Command(int code) override {
    if (code == BN_CLICKED) ClickOf(*this);
  }
  void DrawItem(const DRAWITEMSTRUCT& item) override {
    DrawFace(item.hDC, item.rcItem, glyph_, state_.text,
             FontOf(dialog_, state_.component()), !(item.itemState & ODS_DISABLED),
             (item.itemState & ODS_SELECTED) != 0, (item.itemState & ODS_FOCUS) != 0,
             Is(state_.component(), "Default", "True"), false);
  }

 private:
  Glyph glyph_;
};

// TSpeedButton: a button drawn on its parent; it takes no focus.
class SpeedButtonView : public ControlView {
 public:
  using ControlView::ControlView;
  ~SpeedButtonView() override {
    if (glyph_.bitmap) DeleteObject(glyph_.bitmap);
  }
  void Create(HWND parent, const RECT& r) override {
    glyph_ = LoadGlyph(dialog_, state_.component());
    MakeChild(kViewClass, state_.text, 0, 0, parent, r);
  }
  void Sync() override {
    if (state_.text != drawn_text_) {
      drawn_text_ = state_.text;
      SetWindowTextA(hwnd_, drawn_text_.c_str());
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
    const bool was = drawn_enabled_;
    SyncCommon();
    if (was != drawn_enabled_) InvalidateRect(hwnd_, nullptr, FALSE);
  }
  void Paint(HDC dc, const RECT& client) override {
    const bool pushed = GetCapture() == hwnd_;
    std::string caption = state_.text;
    DrawFace(dc, client, glyph_, caption, FontOf(dialog_, state_.component()), state_.enabled,
             pushed, false, false, Is(state_.component(), "Flat", "True"));
  }
  void Clicked() override { ClickOf(*this); }

 private:
  Glyph glyph_;
};

// TRzBmpButton: a button drawn from its bitmaps (up, down, disabled); without them, a plain
// button face with its caption.
class BitmapButtonView : public ControlView {
 public:
  using ControlView::ControlView;
  ~BitmapButtonView() override {
    for (HBITMAP b : {up_, down_, disabled_}) {
      if (b) DeleteObject(b);
    }
  }
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    const COLORREF back = BackgroundOf(c);
    up_ = PictureBitmap(dialog_, c, "Bitmaps.Up.Data", back);
    down_ = PictureBitmap(dialog_, c, "Bitmaps.Down.Data", back);
    disabled_ = PictureBitmap(dialog_, c, "Bitmaps.Disabled.Data", back);
    MakeChild(kViewClass, state_.text, 0, 0, parent, r);
  }
  void Sync() override {
    if (state_.text != drawn_text_) {
      drawn_text_ = state_.text;
      SetWindowTextA(hwnd_, drawn_text_.c_str());
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
    const bool was = drawn_enabled_;
    SyncCommon();
    if (was != drawn_enabled_) InvalidateRect(hwnd_, nullptr, FALSE);
  }
  void Paint(HDC dc, const RECT& client) override {
    const bool pushed = GetCapture() == hwnd_;
    HBITMAP b = !state_.enabled && disabled_ ? disabled_ : pushed && down_ ? down_ : up_;
    if (b) {
      FillRect(dc, &client, dialog_.Brush(BackgroundOf(state_.component())));
      DrawBitmap(dc, b, client, false, true);
      HGDIOBJ old = SelectObject(dc, FontOf(dialog_, state_.component()));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, state_.enabled ? TextColourOf(state_.component())
                                      : GetSysColor(COLOR_GRAYTEXT));
      RECT r = client;
      if (pushed) OffsetRect(&r, 1, 1);
      DrawTextA(dc, state_.text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old);
      return;
    }
    DrawFace(dc, client, Glyph{}, state_.text, FontOf(dialog_, state_.component()),
             state_.enabled, pushed, false, false, false);
  }
  void Clicked() override { ClickOf(*this); }

 private:
  HBITMAP up_ = nullptr, down_ = nullptr, disabled_ = nullptr;
};

}  // namespace

std::unique_ptr<ControlView> MakeButtonView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      return std::make_unique<CheckView>(d, s);
    case ControlKind::kBitButton:
      return std::make_unique<GlyphButtonView>(d, s);
    case ControlKind::kSpeedButton:
      return std::make_unique<SpeedButtonView>(d, s);
    default:
      if (platform::SameText(s.component().class_name(), "TRzBmpButton")) {
        return std::make_unique<BitmapButtonView>(d, s);
      }
      return std::make_unique<PushButtonView>(d, s);
  }
}

}  // namespace corvane::ui::win32
