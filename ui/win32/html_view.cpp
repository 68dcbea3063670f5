// THTMLViewer: our own page viewer. The page is read and laid out by the shared HTML code
// (ui/html_document.h, ui/html_layout.h) with the screen's font metrics and painted here with
// GDI: text in its fonts, list markers, rules and the page's pictures (through the picture
// decoders). A click on a link goes to the runtime first; a link the engine does not handle is
// followed by the viewer (another page of the setup, or the system's default action for an
// address). The wheel and the scroll bar move the page.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/text.h"
#include "ui/html_document.h"
#include "ui/html_layout.h"
#include "ui/picture_data.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

constexpr char kHtmlClass[] = "CorvaneHtml";
// A page larger than this is shown only up to it.
constexpr size_t kMaxPageBytes = size_t{8} << 20;
constexpr size_t kMaxPictureBytes = size_t{16} << 20;
constexpr size_t kMaxPictures = 256;
constexpr COLORREF kLinkColour = RGB(0, 0, 204);

std::string ReadHead(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string out(limit, '\0');
  in.read(out.data(), static_cast<std::streamsize>(limit));
  out.resize(static_cast<size_t>(in.gcount()));
  return out;
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A picture's src as a file of this machine: relative names against the page's folder, "file:"
// forms as paths; "" for anything on the web (the viewer fetches nothing).
std::string PicturePath(std::string src, const std::string& page_folder) {
  for (const char* prefix : {"file:///", "file://", "file:"}) {
    const size_t n = strlen(prefix);
    if (src.size() >= n && platform::SameText(std::string_view(src).substr(0, n), prefix)) {
      src.erase(0, n);
      break;
    }
  }
  const size_t colon = src.find(':');
  if (colon != std::string::npos && colon != 1) return std::string();
  std::replace(src.begin(), src.end(), '/', '\\');
  std::replace(src.begin(), src.end(), '|', ':');
  const bool absolute = (src.size() >= 2 && src[1] == ':') || (!src.empty() && src[0] == '\\');
  return absolute ? src : page_folder + src;
}

class HtmlView;

// Screen metrics of the page's fonts, and the sizes of its pictures.
class GdiMeasurer : public HtmlMeasurer {
 public:
  GdiMeasurer(HtmlView& view, HDC dc) : view_(view), dc_(dc) {}
  HtmlFontMetrics Measure(const HtmlFont& font) override;
  std::pair<int, int> ImageSize(const std::string& source) override;

 private:
  HtmlView& view_;
  HDC dc_;
};

LRESULT CALLBACK HtmlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

void RegisterHtmlClass() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = HtmlProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kHtmlClass;
  RegisterClassExA(&wc);
}

class HtmlView : public ControlView {
 public:
  using ControlView::ControlView;
  ~HtmlView() override { DropPictures(); }

  void Create(HWND parent, const RECT& r) override {
    RegisterHtmlClass();
    MakeChild(kHtmlClass, "", WS_VSCROLL, WS_EX_CLIENTEDGE, parent, r);
    if (hwnd_) AttachView(hwnd_, this);
  }

  void Sync() override {
    const std::string key = state_.page + '\x01' + (state_.page.empty() ? state_.text : "");
    if (key != shown_) {
      shown_ = key;
      Load();
    }
    SyncCommon();
  }

  // --- the window's messages
  LRESULT Message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_ERASEBKGND:
        return 1;
      case WM_SIZE:
        Relayout();
        return 0;
      case WM_PAINT:
        PaintWindow();
        return 0;
      case WM_VSCROLL:
        ScrollBar(LOWORD(wp));
        return 0;
      case WM_MOUSEWHEEL: {
        const int notches = GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA;
        ScrollTo(top_ - notches * 3 * LineStep());
        return 0;
      }
      case WM_LBUTTONDOWN:
        SetFocus(hwnd_);
        return 0;
      case WM_LBUTTONUP:
        Click(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        return 0;
      case WM_SETCURSOR: {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(hwnd_, &p);
        if (LOWORD(lp) == HTCLIENT && layout_.LinkAt(p.x, p.y + top_) >= 0) {
          SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
          return TRUE;
        }
        break;
      }
      case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
      case WM_KEYDOWN: {
        RECT c;
        GetClientRect(hwnd_, &c);
        switch (wp) {
          case VK_UP:
            ScrollTo(top_ - LineStep());
            return 0;
          case VK_DOWN:
            ScrollTo(top_ + LineStep());
            return 0;
          case VK_PRIOR:
            ScrollTo(top_ - c.bottom);
            return 0;
          case VK_NEXT:
            ScrollTo(top_ + c.bottom);
            return 0;
          case VK_HOME:
            ScrollTo(0);
            return 0;
          case VK_END:
            ScrollTo(layout_.height);
            return 0;
          default:
            break;
        }
        break;
      }
      default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
  }

  // Pictures of the page, decoded once per load.
  HBITMAP LoadPicture(const std::string& source) {
    auto it = pictures_.find(source);
    if (it != pictures_.end()) return it->second;
    HBITMAP bitmap = nullptr;
    const std::string path = PicturePath(source, FolderOf(state_.page));
    if (!path.empty() && pictures_.size() < kMaxPictures) {
      const std::string bytes = ReadHead(path, kMaxPictureBytes);
      if (auto picture = DecodePictureFile(bytes, dialog_.codecs())) {
        bitmap = BitmapOf(*picture, Background());
      }
    }
    pictures_[source] = bitmap;
    return bitmap;
  }
  HFONT FontFor(const HtmlFont& f) {
    const std::string face = f.fixed_pitch ? "Courier New" : Face();
    return dialog_.Font(face, -f.size, f.bold, f.italic, f.underline, DEFAULT_CHARSET);
  }

 private:
  std::string Face() const {
    std::string face = state_.component().GetText("DefFontName").value_or("");
    return face.empty() ? "Tahoma" : face;
  }
  int FontPixels() const {
    const std::string points = state_.component().GetText("DefFontSize").value_or("");
    const int pt = points.empty() ? 9 : std::clamp(std::atoi(points.c_str()), 4, 72);
    return HtmlFontPixels(pt);
  }
  int LineStep() const { return FontPixels() + 4; }
  COLORREF Background() const {
    return ColourOf(state_.component().GetText("DefBackground").value_or("clWindow"),
                    GetSysColor(COLOR_WINDOW));
  }

  void DropPictures() {
    for (auto& [source, bitmap] : pictures_) {
      if (bitmap) DeleteObject(bitmap);
    }
    pictures_.clear();
  }

  void Load() {
    DropPictures();
    if (!state_.page.empty()) {
      doc_ = ParseHtml(ReadHead(state_.page, kMaxPageBytes));
    } else {
      // No page: the control's own text (the hint to add one), as a paragraph.
      std::string escaped;
      for (char c : state_.text) {
        escaped += c == '<'   ? std::string("&lt;")
                   : c == '&' ? std::string("&amp;")
                              : std::string(1, c);
      }
      doc_ = ParseHtml(escaped);
    }
    top_ = 0;
    Relayout();
  }

  void Relayout() {
    if (!hwnd_) return;
    RECT c;
    GetClientRect(hwnd_, &c);
    HDC dc = GetDC(hwnd_);
    GdiMeasurer measurer(*this, dc);
    HtmlLayoutOptions options;
    options.width = std::max<LONG>(c.right, 40);
    options.font_size = FontPixels();
    layout_ = LayoutHtml(doc_, measurer, options);
    ReleaseDC(hwnd_, dc);
    UpdateScrollBar();
    InvalidateRect(hwnd_, nullptr, FALSE);
  }

  void UpdateScrollBar() {
    RECT c;
    GetClientRect(hwnd_, &c);
    top_ = std::clamp(top_, 0, std::max(0, layout_.height - static_cast<int>(c.bottom)));
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(0, layout_.height - 1);
    si.nPage = static_cast<UINT>(std::max<LONG>(c.bottom, 0));
    si.nPos = top_;
    SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
  }

  void ScrollTo(int top) {
    RECT c;
    GetClientRect(hwnd_, &c);
    const int clamped =
        std::clamp(top, 0, std::max(0, layout_.height - static_cast<int>(c.bottom)));
    if (clamped == top_) return;
    top_ = clamped;
    UpdateScrollBar();
    InvalidateRect(hwnd_, nullptr, FALSE);
  }

  void ScrollBar(int code) {
    RECT c;
    GetClientRect(hwnd_, &c);
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(hwnd_, SB_VERT, &si);
    switch (code) {
      case SB_LINEUP:
        ScrollTo(top_ - LineStep());
        break;
      case SB_LINEDOWN:
        ScrollTo(top_ + LineStep());
        break;
      case SB_PAGEUP:
        ScrollTo(top_ - c.bottom);
        break;
      case SB_PAGEDOWN:
        ScrollTo(top_ + c.bottom);
        break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION:
        ScrollTo(si.nTrackPos);
        break;
      case SB_TOP:
        ScrollTo(0);
        break;
      case SB_BOTTOM:
        ScrollTo(layout_.height);
        break;
      default:
        break;
    }
  }

  void Click(int x, int y) {
    const int link = layout_.LinkAt(x, y + top_);
    if (link < 0 || static_cast<size_t>(link) >= doc_.links.size()) return;
    const std::string href = doc_.links[static_cast<size_t>(link)];
    if (!href.empty() && href[0] == '#') {
      const int at = layout_.AnchorTop(href.substr(1));
      if (at >= 0) ScrollTo(at);
      return;
    }
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) {
      if (!d.HotSpotClick(name, href)) d.FollowLink(name, href);
    });
  }

  void PaintWindow() {
    PAINTSTRUCT ps;
    HDC window_dc = BeginPaint(hwnd_, &ps);
    RECT c;
    GetClientRect(hwnd_, &c);
    // Drawn off screen first, so that scrolling never shows a half-painted page.
    HDC dc = CreateCompatibleDC(window_dc);
    HBITMAP bmp =
        CreateCompatibleBitmap(window_dc, std::max<LONG>(c.right, 1), std::max<LONG>(c.bottom, 1));
    HGDIOBJ old_bmp = SelectObject(dc, bmp);
    FillRect(dc, &c, dialog_.Brush(Background()));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = nullptr;
    std::vector<std::vector<INT>> advances(layout_.fonts.size());
    std::vector<INT> dx;
    for (size_t i = layout_.FirstBoxBelow(top_);
         i < layout_.boxes.size() && layout_.boxes[i].line_top < top_ + c.bottom; ++i) {
      const HtmlBox& b = layout_.boxes[i];
      const int y = b.y - top_;
      switch (b.kind) {
        case HtmlBox::kText:
        case HtmlBox::kMarker: {
          const HtmlItem& item = doc_.items[static_cast<size_t>(b.item)];
          HGDIOBJ prev = SelectObject(dc, FontFor(layout_.fonts[static_cast<size_t>(b.font)]));
          if (!old_font) old_font = prev;
          SetTextColor(dc, b.link >= 0 ? kLinkColour : TextColourOf(state_.component()));
          const std::string_view text = doc_.TextOf(item);
          // Each character advances by the width the layout measured for it, so that the words
          // end where the layout placed the next one (drawn advances differ from the measured
          // ones by a pixel here and there, which left uneven gaps between words).
          auto& widths = advances[static_cast<size_t>(b.font)];
          if (widths.empty()) {
            widths.assign(256, 0);
            GetCharWidth32A(dc, 0, 255, widths.data());
          }
          dx.resize(text.size());
          for (size_t k = 0; k < text.size(); ++k)
            dx[k] = widths[static_cast<unsigned char>(text[k])];
          ExtTextOutA(dc, b.x, y, 0, nullptr, text.data(), static_cast<UINT>(text.size()),
                      dx.data());
          // The blank between two words of one link is underlined with them.
          if (b.link >= 0 && i + 1 < layout_.boxes.size()) {
            const HtmlBox& next = layout_.boxes[i + 1];
            if (next.kind == HtmlBox::kText && next.link == b.link && next.baseline == b.baseline &&
                next.x > b.x + b.width) {
              RECT gap = {b.x + b.width, b.baseline - top_ + 1, next.x, b.baseline - top_ + 2};
              FillRect(dc, &gap, dialog_.Brush(kLinkColour));
            }
          }
          break;
        }
        case HtmlBox::kImage: {
          const HtmlItem& item = doc_.items[static_cast<size_t>(b.item)];
          const HtmlImage& image = doc_.images[static_cast<size_t>(item.image)];
          RECT r = {b.x, y, b.x + b.width, y + b.height};
          if (HBITMAP bitmap = LoadPicture(image.source)) {
            DrawBitmap(dc, bitmap, r, true, false);
          } else {
            // A picture that cannot be shown: a frame where it would stand.
            FrameRect(dc, &r, dialog_.Brush(GetSysColor(COLOR_GRAYTEXT)));
          }
          if (b.link >= 0) FrameRect(dc, &r, dialog_.Brush(kLinkColour));
          break;
        }
        case HtmlBox::kRule: {
          RECT r = {b.x, y, b.x + b.width, y + b.height};
          DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
          break;
        }
      }
    }
    if (old_font) SelectObject(dc, old_font);
    BitBlt(window_dc, 0, 0, c.right, c.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old_bmp);
    DeleteObject(bmp);
    DeleteDC(dc);
    EndPaint(hwnd_, &ps);
  }

  std::string shown_ = "\x02";
  HtmlDocument doc_;
  HtmlLayout layout_;
  int top_ = 0;
  std::map<std::string, HBITMAP> pictures_;
};

HtmlFontMetrics GdiMeasurer::Measure(const HtmlFont& font) {
  HtmlFontMetrics m;
  HGDIOBJ old = SelectObject(dc_, view_.FontFor(font));
  TEXTMETRICA tm;
  if (GetTextMetricsA(dc_, &tm)) {
    m.ascent = tm.tmAscent;
    m.descent = tm.tmDescent;
  }
  INT widths[256] = {};
  if (GetCharWidth32A(dc_, 0, 255, widths)) {
    for (int i = 0; i < 256; ++i)
      m.widths[i] = static_cast<uint16_t>(std::clamp(widths[i], 0, 65535));
  }
  SelectObject(dc_, old);
  return m;
}

std::pair<int, int> GdiMeasurer::ImageSize(const std::string& source) {
  HBITMAP bitmap = view_.LoadPicture(source);
  if (!bitmap) return {0, 0};
  BITMAP info;
  if (!GetObjectA(bitmap, sizeof info, &info)) return {0, 0};
  return {info.bmWidth, info.bmHeight};
}

LRESULT CALLBACK HtmlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* view = static_cast<HtmlView*>(ViewOf(hwnd));
  if (msg == WM_NCDESTROY) {
    AttachView(hwnd, nullptr);
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
  if (!view) return DefWindowProcA(hwnd, msg, wp, lp);
  return view->Message(msg, wp, lp);
}

}  // namespace

std::unique_ptr<ControlView> MakeHtmlView(DialogWindow& d, ControlState& s) {
  return std::make_unique<HtmlView>(d, s);
}

}  // namespace corvane::ui::win32
