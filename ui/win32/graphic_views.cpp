// Panels, group boxes, page sets and their sheets, pictures, shapes, bevels and animations: the
// containers and the controls that only draw.
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

// A view drawn by ourselves that repaints when its text, visibility or enabled state changes.
class DrawnView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    MakeChild(kViewClass, state_.text, WS_CLIPCHILDREN, 0, parent, r);
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
};

void DrawBevel(HDC dc, RECT r, const std::string& kind, bool raised) {
  const UINT edge = raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER;
  if (platform::SameText(kind, "bvSpace") || platform::SameText(kind, "bvNone")) return;
  DrawEdge(dc, &r, edge, BF_RECT);
}

// TPanel: a container with its colour, bevels and centred caption.
class PanelView : public DrawnView {
 public:
  using DrawnView::DrawnView;
  HWND ChildParent() const override { return hwnd_; }
  void Create(HWND parent, const RECT& r) override {
    MakeChild(kViewClass, state_.text, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
              parent, r);
  }
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(c)));
    RECT r = client;
    const std::string outer = c.GetText("BevelOuter").value_or("bvRaised");
    const std::string inner = c.GetText("BevelInner").value_or("bvNone");
    if (!platform::SameText(outer, "bvNone")) {
      DrawBevel(dc, r, outer, platform::SameText(outer, "bvRaised"));
      InflateRect(&r, -1, -1);
    }
    if (!platform::SameText(inner, "bvNone")) {
      DrawBevel(dc, r, inner, platform::SameText(inner, "bvRaised"));
    }
    if (Is(c, "BorderStyle", "bsSingle")) FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
    if (state_.text.empty() || Is(c, "ShowCaption", "False")) return;
    HGDIOBJ old = SelectObject(dc, FontOf(dialog_, c));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, state_.enabled ? TextColourOf(c) : GetSysColor(COLOR_GRAYTEXT));
    UINT align = DT_CENTER;
    if (Is(c, "Alignment", "taLeftJustify")) align = DT_LEFT;
    if (Is(c, "Alignment", "taRightJustify")) align = DT_RIGHT;
    DrawTextA(dc, state_.text.c_str(), -1, &r, align | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
  }
};

// TTabSheet: a container inside its page set's display area.
class SheetView : public PanelView {
 public:
  using PanelView::PanelView;
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(state_.component())));
  }
};

// TGroupBox: an etched frame with its caption at the top left, hosting its controls. Drawn here
// (the button class's group box paints no background, which its children would show).
class GroupView : public PanelView {
 public:
  using PanelView::PanelView;
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(c)));
    HGDIOBJ old = SelectObject(dc, FontOf(dialog_, c));
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    RECT frame = client;
    frame.top += tm.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (!state_.text.empty()) {
      RECT text = {client.left + 8, client.top, client.right - 8, client.top + tm.tmHeight};
      RECT measure = text;
      DrawTextA(dc, state_.text.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
      measure.left -= 2;
      measure.right += 2;
      FillRect(dc, &measure, dialog_.Brush(BackgroundOf(c)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, state_.enabled ? TextColourOf(c) : GetSysColor(COLOR_GRAYTEXT));
      DrawTextA(dc, state_.text.c_str(), -1, &text, DT_SINGLELINE | DT_LEFT);
    }
    SelectObject(dc, old);
  }
};

}  // namespace

// TPageControl: the tab control; its sheets are its children, one shown at a time.
class PageSetView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  HWND ChildParent() const override { return hwnd_; }
  void Create(HWND parent, const RECT& r) override {
    MakeChild(WC_TABCONTROLA, "", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent, r);
    ForwardChildNotifications(hwnd_);
    for (Component* c : state_.component().children()) {
      if (platform::SameText(c->class_name(), "TTabSheet") &&
          !Is(*c, "TabVisible", "False")) {
        sheets_.push_back(c);
      }
    }
    const std::string active = state_.component().GetText("ActivePage").value_or("");
    for (size_t i = 0; i < sheets_.size(); ++i) {
      if (platform::SameText(sheets_[i]->name(), active)) shown_ = static_cast<int>(i);
    }
    for (size_t i = 0; i < sheets_.size(); ++i) {
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      const std::string caption = sheets_[i]->GetText("Caption").value_or(sheets_[i]->name());
      item.pszText = const_cast<char*>(caption.c_str());
      SendMessageA(hwnd_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(hwnd_, TCM_SETCURSEL, static_cast<WPARAM>(shown_), 0);
  }
  void Sync() override {
    // Sheet captions follow their state (translations, expanded texts).
    for (size_t i = 0; i < sheets_.size(); ++i) {
      ControlView* v = dialog_.Find(*sheets_[i]);
      if (!v) continue;
      if (i >= captions_.size()) captions_.resize(sheets_.size(), "\x01");
      if (v->state().text == captions_[i]) continue;
      captions_[i] = v->state().text;
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<char*>(captions_[i].c_str());
      SendMessageA(hwnd_, TCM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    SyncCommon();
  }
  LRESULT Notify(NMHDR* header) override {
    if (header->code == static_cast<UINT>(TCN_SELCHANGE)) {
      shown_ = static_cast<int>(SendMessageA(hwnd_, TCM_GETCURSEL, 0, 0));
      dialog_.AfterEvent();  // the sheets follow
    }
    return 0;
  }
  bool Shows(const Component& sheet) const {
    return shown_ >= 0 && static_cast<size_t>(shown_) < sheets_.size() &&
           sheets_[static_cast<size_t>(shown_)] == &sheet;
  }
  RECT Area() const {
    RECT r;
    GetClientRect(hwnd_, &r);
    SendMessageA(hwnd_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
  }

 private:
  std::vector<Component*> sheets_;
  std::vector<std::string> captions_;
  int shown_ = 0;
};

PageSetView* AsPageSet(ControlView* view) { return dynamic_cast<PageSetView*>(view); }
bool PageSetShows(PageSetView* pages, const Component& sheet) {
  return !pages || pages->Shows(sheet);
}
RECT PageSetArea(PageSetView* pages) {
  if (!pages) return RECT{0, 0, 0, 0};
  return pages->Area();
}

namespace {

// TImage: the picture of Picture.Data, stretched, centred or at its own size.
class ImageView : public DrawnView {
 public:
  using DrawnView::DrawnView;
  ~ImageView() override {
    if (bitmap_) DeleteObject(bitmap_);
  }
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    if (const FormValue* v = c.Value("Picture.Data")) {
      if (auto picture = DecodePictureProperty(v->text, dialog_.codecs())) {
        bitmap_ = BitmapOf(*picture, BackgroundOf(c));
      }
    }
    DrawnView::Create(parent, r);
  }
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(c)));
    if (!bitmap_) return;
    BITMAP info;
    GetObjectA(bitmap_, sizeof info, &info);
    bool stretch = Is(c, "Stretch", "True");
    RECT r = client;
    if (Is(c, "Proportional", "True") && info.bmWidth > 0 && info.bmHeight > 0) {
      // Scaled to fit without changing its shape, centred.
      const double sx = double(client.right) / info.bmWidth;
      const double sy = double(client.bottom) / info.bmHeight;
      double s = sx < sy ? sx : sy;
      if (s > 1 && !stretch) s = 1;
      const int w = int(info.bmWidth * s), h = int(info.bmHeight * s);
      r = {(client.right - w) / 2, (client.bottom - h) / 2, (client.right - w) / 2 + w,
           (client.bottom - h) / 2 + h};
      stretch = true;
    }
    DrawBitmap(dc, bitmap_, r, stretch, Is(c, "Center", "True"));
  }
  void Clicked() override {
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.Click(name); });
  }

 private:
  HBITMAP bitmap_ = nullptr;
};

// TShape: a rectangle, square, ellipse or circle (rounded ones too) in its pen and brush.
class ShapeView : public DrawnView {
 public:
  using DrawnView::DrawnView;
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(*c.parent())));
    const bool no_pen = Is(c, "Pen.Style", "psClear");
    const bool no_brush = Is(c, "Brush.Style", "bsClear");
    const int width = no_pen ? 0 : std::max(1, c.Integer("Pen.Width", 1));
    HPEN pen = no_pen ? static_cast<HPEN>(GetStockObject(NULL_PEN))
                      : CreatePen(PS_SOLID, width,
                                  ColourOf(c.GetText("Pen.Color").value_or("clBlack"), 0));
    HBRUSH brush = no_brush ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                            : dialog_.Brush(ColourOf(c.GetText("Brush.Color").value_or("clWhite"),
                                                     RGB(255, 255, 255)));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, brush);
    RECT r = client;
    const std::string shape = c.GetText("Shape").value_or("stRectangle");
    if (shape.find("Square") != std::string::npos || shape == "stCircle") {
      const int side = std::min(r.right, r.bottom);
      r.left = (client.right - side) / 2;
      r.top = (client.bottom - side) / 2;
      r.right = r.left + side;
      r.bottom = r.top + side;
    }
    // A clear pen leaves the full area to the brush.
    const int grow = no_pen ? 1 : 0;
    if (shape == "stEllipse" || shape == "stCircle") {
      Ellipse(dc, r.left, r.top, r.right + grow, r.bottom + grow);
    } else if (shape.rfind("stRound", 0) == 0) {
      const int corner = std::min(r.right - r.left, r.bottom - r.top) / 4;
      RoundRect(dc, r.left, r.top, r.right + grow, r.bottom + grow, corner, corner);
    } else {
      Rectangle(dc, r.left, r.top, r.right + grow, r.bottom + grow);
    }
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    if (!no_pen) DeleteObject(pen);
  }
  void Clicked() override {
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.Click(name); });
  }
};

// TBevel: an etched line or frame.
class BevelView : public DrawnView {
 public:
  using DrawnView::DrawnView;
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    FillRect(dc, &client, dialog_.Brush(BackgroundOf(*c.parent())));
    const bool raised = Is(c, "Style", "bsRaised");
    const UINT edge = raised ? EDGE_BUMP : EDGE_ETCHED;
    const std::string shape = c.GetText("Shape").value_or("bsBox");
    RECT r = client;
    UINT sides = BF_RECT;
    if (shape == "bsTopLine") sides = BF_TOP;
    if (shape == "bsBottomLine") sides = BF_BOTTOM;
    if (shape == "bsLeftLine") sides = BF_LEFT;
    if (shape == "bsRightLine") sides = BF_RIGHT;
    if (shape == "bsSpacer") return;
    if (shape == "bsFrame") {
      DrawEdge(dc, &r, raised ? EDGE_RAISED : EDGE_SUNKEN, BF_RECT);
      return;
    }
    DrawEdge(dc, &r, edge, sides);
  }
};

// TAnimate: the animation control playing one of the system's common animations.
class AnimationView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    MakeChild(ANIMATE_CLASSA, "", ACS_CENTER | ACS_TRANSPARENT, 0, parent, r);
  }
  void Sync() override {
    if (!opened_) {
      opened_ = true;
      // The common animations of the shell: copying files, moving, deleting, searching.
      static const std::pair<const char*, int> kCommon[] = {
          {"aviFindFolder", 150}, {"aviFindFile", 151},  {"aviFindComputer", 152},
          {"aviCopyFiles", 160},  {"aviCopyFile", 161},  {"aviRecycleFile", 162},
          {"aviEmptyRecycle", 163}, {"aviDeleteFile", 164}};
      const std::string common = state_.component().GetText("CommonAVI").value_or("");
      for (const auto& [name, id] : kCommon) {
        if (!platform::SameText(common, name)) continue;
        HMODULE shell = GetModuleHandleA("shell32.dll");
        if (!shell) shell = LoadLibraryA("shell32.dll");
        SetWindowLongPtrA(hwnd_, GWLP_HINSTANCE, reinterpret_cast<LONG_PTR>(shell));
        // A failure to start leaves the control empty; nothing else depends on it.
        if (SendMessageA(hwnd_, ACM_OPENA, reinterpret_cast<WPARAM>(shell), id)) {
          if (Is(state_.component(), "Active", "True")) {
            SendMessageA(hwnd_, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
          }
        }
      }
    }
    SyncCommon();
  }

 private:
  bool opened_ = false;
};

// TVistaGlass (the frame extended into the client area) and TRzFormShape (the outline of a
// shaped window) change how the dialog window itself looks; on this renderer the dialog keeps
// its plain frame, so they have no window and draw nothing.
class NoWindowView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND, const RECT&) override {}
};

}  // namespace

std::unique_ptr<ControlView> MakeGraphicView(DialogWindow& d, ControlState& s) {
  const std::string& cls = s.component().class_name();
  if (platform::SameText(cls, "TPanel")) return std::make_unique<PanelView>(d, s);
  if (platform::SameText(cls, "TGroupBox")) return std::make_unique<GroupView>(d, s);
  if (platform::SameText(cls, "TTabSheet")) return std::make_unique<SheetView>(d, s);
  if (platform::SameText(cls, "TPageControl")) return std::make_unique<PageSetView>(d, s);
  if (platform::SameText(cls, "TImage")) return std::make_unique<ImageView>(d, s);
  if (platform::SameText(cls, "TShape")) return std::make_unique<ShapeView>(d, s);
  if (platform::SameText(cls, "TBevel")) return std::make_unique<BevelView>(d, s);
  if (platform::SameText(cls, "TAnimate")) return std::make_unique<AnimationView>(d, s);
  return std::make_unique<NoWindowView>(d, s);
}

}  // namespace corvane::ui::win32
