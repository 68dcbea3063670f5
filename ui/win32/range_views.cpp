// Progress bars (with the marquee style), gauges, track bars and up-down arrows.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <cmath>
#include <cstdlib>

#include "platform/text.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

bool Is(const Component& c, const char* property, const char* value) {
  return platform::SameText(c.GetText(property).value_or(""), value);
}

// A range beyond 32 bits is shown in units of 1024.
void Scaled(const ControlState& s, int* minimum, int* maximum, int* position) {
  int64_t lo = s.minimum, hi = s.maximum, at = s.position;
  if (hi >= 2147483648LL) {
    lo /= 1024;
    hi /= 1024;
    at /= 1024;
  }
  *minimum = static_cast<int>(lo);
  *maximum = static_cast<int>(hi);
  *position = static_cast<int>(at);
}

class ProgressView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    DWORD style = 0;
    if (Is(state_.component(), "Orientation", "pbVertical")) style |= PBS_VERTICAL;
    if (Is(state_.component(), "Smooth", "True")) style |= PBS_SMOOTH;
    MakeChild(PROGRESS_CLASSA, "", style, 0, parent, r);
  }
  void Sync() override {
    if (state_.marquee != drawn_marquee_ || !synced_) {
      LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
      style = state_.marquee ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE);
      SetWindowLongA(hwnd_, GWL_STYLE, style);
      SendMessageA(hwnd_, PBM_SETMARQUEE, state_.marquee ? TRUE : FALSE, 100);
      drawn_marquee_ = state_.marquee;
    }
    if (!state_.marquee) {
      int lo, hi, at;
      Scaled(state_, &lo, &hi, &at);
      if (!synced_ || lo != lo_ || hi != hi_) {
        SendMessageA(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(lo), hi);
        lo_ = lo;
        hi_ = hi;
        at_ = at - 1;
      }
      if (at != at_) {
        SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(at), 0);
        at_ = at;
      }
    }
    synced_ = true;
    SyncCommon();
  }

 private:
  bool synced_ = false;
  bool drawn_marquee_ = false;
  int lo_ = 0, hi_ = 0, at_ = 0;
};

// TGauge: drawn here, a bar filled to the position with the percentage on it (or a pie).
class GaugeView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    MakeChild(kViewClass, "", 0, 0, parent, r);
  }
  void Sync() override {
    if (state_.position != at_ || state_.minimum != lo_ || state_.maximum != hi_) {
      at_ = state_.position;
      lo_ = state_.minimum;
      hi_ = state_.maximum;
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
    SyncCommon();
  }
  void Paint(HDC dc, const RECT& client) override {
    const Component& c = state_.component();
    const COLORREF back = ColourOf(c.GetText("BackColor").value_or("clWhite"), RGB(255, 255, 255));
    const COLORREF fore = ColourOf(c.GetText("ForeColor").value_or("clBlack"), RGB(0, 0, 0));
    RECT r = client;
    if (!Is(c, "BorderStyle", "bsNone")) {
      DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    FillRect(dc, &r, dialog_.Brush(back));
    const int64_t span = hi_ - lo_;
    const int percent = span > 0 ? static_cast<int>((at_ - lo_) * 100 / span) : 0;
    const bool vertical = Is(c, "Kind", "gkVerticalBar");
    RECT filled = r;
    if (Is(c, "Kind", "gkPie")) {
      HGDIOBJ old_brush = SelectObject(dc, dialog_.Brush(fore));
      const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
      if (percent >= 100) {
        Ellipse(dc, r.left, r.top, r.right, r.bottom);
      } else if (percent > 0) {
        const double a = 3.14159265358979 / 2 - 2 * 3.14159265358979 * percent / 100.0;
        Pie(dc, r.left, r.top, r.right, r.bottom, cx, r.top, cx + static_cast<int>(100 * cos(a)),
            cy - static_cast<int>(100 * sin(a)));
      }
      SelectObject(dc, old_brush);
    } else if (vertical) {
      filled.top = r.bottom - (r.bottom - r.top) * percent / 100;
      FillRect(dc, &filled, dialog_.Brush(fore));
    } else {
      filled.right = r.left + (r.right - r.left) * percent / 100;
      FillRect(dc, &filled, dialog_.Brush(fore));
    }
    if (Is(c, "ShowText", "False")) return;
    const std::string text = std::to_string(percent) + "%";
    HGDIOBJ old = SelectObject(dc, FontOf(dialog_, c));
    SetBkMode(dc, TRANSPARENT);
    // The text is drawn in both colours: over the filled part in the background colour.
    SetTextColor(dc, fore);
    DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (!vertical && !Is(c, "Kind", "gkPie")) {
      HRGN clip = CreateRectRgnIndirect(&filled);
      SelectClipRgn(dc, clip);
      SetTextColor(dc, back);
      DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectClipRgn(dc, nullptr);
      DeleteObject(clip);
    }
    SelectObject(dc, old);
  }

 private:
  int64_t at_ = -1, lo_ = 0, hi_ = 0;
};

class TrackBarView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = TBS_AUTOTICKS;
    if (Is(c, "Orientation", "trVertical")) style |= TBS_VERT;
    if (Is(c, "TickStyle", "tsNone")) style |= TBS_NOTICKS;
    MakeChild(TRACKBAR_CLASSA, "", style, 0, parent, r);
    const int frequency = c.Integer("Frequency", 1);
    if (frequency > 1) SendMessageA(hwnd_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
  }
  void Sync() override {
    if (!synced_ || state_.minimum != lo_ || state_.maximum != hi_) {
      SendMessageA(hwnd_, TBM_SETRANGEMIN, FALSE, static_cast<LPARAM>(state_.minimum));
      SendMessageA(hwnd_, TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(state_.maximum));
      lo_ = state_.minimum;
      hi_ = state_.maximum;
      at_ = state_.position - 1;
    }
    if (state_.position != at_) {
      SendMessageA(hwnd_, TBM_SETPOS, TRUE, static_cast<LPARAM>(state_.position));
      at_ = state_.position;
    }
    synced_ = true;
    SyncCommon();
  }
  void Scroll(int code) override {
    (void)code;
    const int64_t position = SendMessageA(hwnd_, TBM_GETPOS, 0, 0);
    if (position == at_) return;
    at_ = position;
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.SetPosition(name, position); });
  }

 private:
  bool synced_ = false;
  int64_t lo_ = 0, hi_ = 0, at_ = 0;
};

// TUpDown: the arrows change the number in their associated control (which then reports its
// new text as typed).
class UpDownView : public ControlView {
 public:
  using ControlView::ControlView;
  void Create(HWND parent, const RECT& r) override {
    const Component& c = state_.component();
    DWORD style = UDS_ARROWKEYS | UDS_NOTHOUSANDS;
    if (Is(c, "Orientation", "udHorizontal")) style |= UDS_HORZ;
    if (Is(c, "Wrap", "True")) style |= UDS_WRAP;
    MakeChild(UPDOWN_CLASSA, "", style, 0, parent, r);
    SendMessageA(hwnd_, UDM_SETRANGE32, static_cast<WPARAM>(c.Integer("Min", 0)),
                 c.Integer("Max", 100));
    SendMessageA(hwnd_, UDM_SETPOS32, 0, c.Integer("Position", 0));
  }
  void Sync() override {
    if (!buddy_) {
      const std::string associate = state_.component().GetText("Associate").value_or("");
      if (ControlView* v = associate.empty() ? nullptr : dialog_.FindByName(associate)) {
        buddy_ = v->hwnd();
        // Without UDS_SETBUDDYINT the arrows report only; the number is written here, as the
        // user's input to the associated control.
        SendMessageA(hwnd_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy_), 0);
      }
    }
    SyncCommon();
  }
  LRESULT Notify(NMHDR* header) override {
    if (header->code != static_cast<UINT>(UDN_DELTAPOS) || !buddy_) return 0;
    auto* nm = reinterpret_cast<NMUPDOWN*>(header);
    const Component& c = state_.component();
    const int lo = c.Integer("Min", 0), hi = c.Integer("Max", 100);
    char text[64] = {};
    GetWindowTextA(buddy_, text, sizeof text);
    long value = strtol(text, nullptr, 10) + nm->iDelta * c.Integer("Increment", 1);
    if (value < lo) value = Is(c, "Wrap", "True") ? hi : lo;
    if (value > hi) value = Is(c, "Wrap", "True") ? lo : hi;
    // Set as if typed: the edit's change notification reaches the runtime.
    SetWindowTextA(buddy_, std::to_string(value).c_str());
    return 0;
  }

 private:
  HWND buddy_ = nullptr;
};

}  // namespace

std::unique_ptr<ControlView> MakeRangeView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kProgressBar:
      return std::make_unique<ProgressView>(d, s);
    case ControlKind::kGauge:
      return std::make_unique<GaugeView>(d, s);
    case ControlKind::kTrackBar:
      return std::make_unique<TrackBarView>(d, s);
    default:
      return std::make_unique<UpDownView>(d, s);
  }
}

}  // namespace corvane::ui::win32
