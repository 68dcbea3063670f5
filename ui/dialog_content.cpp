// The dialog runtime on a dialog that shows content and progress: the HTML viewer's links and
// meta refresh, and the progress refresh.
#include <algorithm>

#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_runtime_detail.h"
#include "ui/html_document.h"

namespace corvane::ui {

using platform::SameText;
using namespace runtime_detail;

namespace {

bool ContainsText(std::string_view text, std::string_view part) {
  return platform::FindText(text, part) != std::string::npos;
}

bool IsAbsolutePath(std::string_view p) {
  return (p.size() >= 2 && p[1] == ':') || (!p.empty() && p[0] == '\\');
}

// A file link's target as a path: "file:" forms turned into a path, relative names taken
// against the page's folder.
std::string ResolveTarget(std::string target, const std::string& page_folder) {
  for (std::string_view prefix : {"file:///", "file://", "file:"}) {
    if (target.size() >= prefix.size() && SameText(target.substr(0, prefix.size()), prefix)) {
      target.erase(0, prefix.size());
      std::replace(target.begin(), target.end(), '/', '\\');
      std::replace(target.begin(), target.end(), '|', ':');
      break;
    }
  }
  return IsAbsolutePath(target) ? target : page_folder + target;
}

std::string Extension(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('\\');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) return "";
  return platform::UpperCase(path.substr(dot));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bits of a movie file's frame rectangle, counted from the most significant bit of its first
// byte.
uint32_t ReadBits(std::string_view bytes, size_t from, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    const size_t bit = from + static_cast<size_t>(i);
    const unsigned char byte = static_cast<unsigned char>(bytes[bit / 8]);
    v = (v << 1) | ((byte >> (7 - bit % 8)) & 1u);
  }
  return v;
}

}  // namespace

std::optional<std::pair<int, int>> MovieStageSize(std::string_view file) {
  // Only an uncompressed movie has its rectangle in the clear at offset 8: a compressed one
  // ("CWS", "ZWS") holds packed bytes there, which are no size.
  if (file.size() < 9 || file.substr(0, 3) != "FWS") return std::nullopt;
  std::string_view rect = file.substr(8, 17);
  const int n = static_cast<int>(ReadBits(rect, 0, 5));
  // The four fields end at bit 5 + 4n: the rectangle must be all there.
  if (rect.size() * 8 < static_cast<size_t>(5 + 4 * n)) return std::nullopt;
  // The fields are Xmin, Xmax, Ymin, Ymax in twips; the stage is Xmax by Ymax.
  const int width = static_cast<int>(ReadBits(rect, static_cast<size_t>(n + 5), n) / 20);
  const int height = static_cast<int>(ReadBits(rect, static_cast<size_t>(3 * n + 5), n) / 20);
  return std::make_pair(width, height);
}

LinkAction ClassifyLink(std::string_view link, const std::string& page_folder) {
  LinkAction action;
  const size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon <= 1 || ContainsText(link, "FILE:")) {
    std::string u(link.substr(0, 255));
    size_t split = u.find(' ');
    if (split == std::string::npos) split = u.find('?');
    std::string target = split == std::string::npos ? u : u.substr(0, split);
    std::string parameters = split == std::string::npos ? "" : u.substr(split + 1);
    target = ResolveTarget(target, page_folder);
    const std::string ext = Extension(target);
    if (ext == ".WAV") {
      action.kind = LinkAction::kPlaySound;
      action.target = target;
    } else if (ext == ".EXE") {
      action.kind = LinkAction::kRun;
      action.target = target;
      action.parameters = parameters;
    }
    return action;
  }
  if (ContainsText(link, "MAILTO:") || ContainsText(link, "HTTP:")) {
    action.kind = LinkAction::kOpen;
    action.target.assign(link);
  }
  return action;
}

namespace {

// "%" pairs decoded in one pass from left to right: what a pair decodes to is never decoded
// again ("%2541" is "%41", not "A"), and a pair that is not hexadecimal stays as written. A NUL
// would end the path early wherever it goes next: an address that holds one names no file.
std::optional<std::string> DecodePercent(std::string_view address) {
  std::string u;
  u.reserve(address.size());
  for (size_t p = 0; p < address.size(); ++p) {
    if (address[p] == '%' && p + 2 < address.size()) {
      const int hi = HexDigit(address[p + 1]), lo = HexDigit(address[p + 2]);
      if (hi >= 0 && lo >= 0) {
        const char c = static_cast<char>(hi * 16 + lo);
        if (c == '\0') return std::nullopt;
        u.push_back(c);
        p += 2;
        continue;
      }
    }
    if (address[p] == '\0') return std::nullopt;
    u.push_back(address[p]);
  }
  return u;
}

}  // namespace

std::optional<std::string> MetaRefreshPath(std::string_view address) {
  std::optional<std::string> decoded = DecodePercent(address);
  if (!decoded) return std::nullopt;
  std::string u = std::move(*decoded);
  if (u.find('/') != std::string::npos) {
    size_t at = platform::FindText(u, "file:///");
    size_t length = 8;
    if (at == std::string::npos) {
      at = platform::FindText(u, "file://");
      length = 7;
    }
    if (at != std::string::npos) u.erase(at, length);
    std::replace(u.begin(), u.end(), '|', ':');
    std::replace(u.begin(), u.end(), '/', '\\');
  }
  return u;
}

bool DialogRuntime::HotSpotClick(std::string_view control, std::string_view link) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kHtmlViewer || !Live(*s, "htmlLite1HotSpotClick")) {
    return false;
  }
  std::string folder = s->page.empty() ? engine_.dialog_folder : FolderPart(s->page);
  LinkAction action = ClassifyLink(link, folder);
  DialogHooks& hooks = engine_.hooks();
  switch (action.kind) {
    case LinkAction::kFollow:
      return false;
    case LinkAction::kPlaySound:
      hooks.PlaySound(action.target);
      return true;
    case LinkAction::kRun:
      // The program's path in quotes: the page's folder may hold blanks.
      hooks.RunProgram("\"" + action.target + "\" " + action.parameters);
      return true;
    case LinkAction::kOpen:
      hooks.OpenDocument(action.target);
      return true;
  }
  return false;
}

void DialogRuntime::MetaRefreshRequested(std::string_view control, int64_t delay_seconds,
                                         std::string_view address) {
  ControlState* s = Find(control);
  if (!s || s->kind() != ControlKind::kHtmlViewer || !Live(*s, "htmlLite1MetaRefresh")) return;
  std::optional<std::string> decoded = MetaRefreshPath(address);
  if (!decoded || decoded->empty()) return;
  std::string path = std::move(*decoded);
  if (!IsAbsolutePath(path)) path = engine_.dialog_folder + path;
  if (!engine_.FileExists(path)) return;
  pending_refresh_ =
      MetaRefresh{s->name(), s->page, path, std::max<int64_t>(0, delay_seconds) * 1000};
}

void DialogRuntime::MetaTimerFired() {
  if (!pending_refresh_) return;
  MetaRefresh refresh = *pending_refresh_;
  pending_refresh_.reset();
  ControlState* s = Find(refresh.viewer);
  if (!s || s->page != refresh.from) return;
  s->page = refresh.target;
  std::string html;
  if (engine_.files().ReadFile(refresh.target, &html) == platform::Status::kOk) {
    form_state().text = ParseHtml(html).title;
  }
  AnnounceMetaRefresh(*s);
}

void DialogRuntime::AnnounceMetaRefresh(ControlState& s) {
  if (s.kind() != ControlKind::kHtmlViewer || s.page.empty()) return;
  std::string html;
  if (engine_.files().ReadFile(s.page, &html) != platform::Status::kOk) return;
  const HtmlDocument page = ParseHtml(html);
  if (page.refresh) MetaRefreshRequested(s.name(), page.refresh->delay_seconds, page.refresh->url);
}

void DialogRuntime::FollowLink(std::string_view control, std::string_view link) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kHtmlViewer || link.empty() || link.front() == '#') return;
  const size_t colon = link.find(':');
  const bool address = colon != std::string_view::npos && colon > 1 &&
                       platform::FindText(link, "FILE:") == std::string_view::npos;
  if (address) {
    engine_.hooks().OpenDocument(std::string(link));
    return;
  }
  std::optional<std::string> decoded = DecodePercent(link.substr(0, link.find('#')));
  if (!decoded || decoded->empty()) return;
  std::string target = std::move(*decoded);
  const std::string folder = s->page.empty() ? engine_.dialog_folder : FolderPart(s->page);
  if (platform::FindText(target, "file:") == std::string::npos) {
    std::replace(target.begin(), target.end(), '/', '\\');
  }
  target = ResolveTarget(target, folder);
  if (!engine_.FileExists(target)) return;
  s->page = target;
  s->text.clear();
  AnnounceMetaRefresh(*s);
}

void DialogRuntime::ContentMeasured(std::string_view control, const ScrollMetrics& metrics) {
  ControlState* s = Find(control);
  if (!s || (s->kind() != ControlKind::kMemo && s->kind() != ControlKind::kRichEdit)) return;
  s->scroll = metrics;
  const std::string& slot = s->kind() == ControlKind::kMemo ? tracked_memo_ : tracked_rich_edit_;
  if (slot.empty() || !SameText(slot, s->name()) || s->max_length == kReadToEnd) return;
  if (metrics.maximum - metrics.position <= metrics.page) {
    s->max_length = kReadToEnd;
    EvaluateRules();
  }
}

// ---------------------------------------------------------------------------------------------
// Progress

void DialogRuntime::ShowProgress(const ProgressValues& values) {
  interp::Variables& vars = engine_.variables();
  for (auto& p : states_) {
    ControlState& s = *p;
    const ControlKind k = s.kind();
    const int32_t tag = s.tag();
    if (k == ControlKind::kLabel || k == ControlKind::kButton || k == ControlKind::kBitButton) {
      s.handlers.insert(ClickHandlerOf(k));
    }
    // Captions follow their variables; computed texts keep what they compute, and translated
    // captions stay translated.
    const bool captioned = k == ControlKind::kLabel || k == ControlKind::kCaptioned ||
                           k == ControlKind::kButton || k == ControlKind::kBitButton ||
                           (k == ControlKind::kStaticText && (tag < 1 || tag > 6));
    if (captioned) {
      std::string expanded = ExpandTemplate(s, s.text);
      if (expanded != s.text) s.text = expanded;
    }
    if (k == ControlKind::kStaticText && tag == 1) s.text = values.text;
    if (k == ControlKind::kProgressBar && tag == 1) {
      std::string mode = vars.ExpandVariables(vars.GetVariable("PROGRESSMODE"));
      if (mode == "MARQUEE") {
        s.marquee = true;
      } else {
        s.marquee = false;
        int64_t mn = values.minimum, mx = values.maximum, pos = values.position;
        if (mx >= int64_t{2147483648}) {
          mn /= 1024;
          mx /= 1024;
          pos /= 1024;
        }
        if (FitsControl(mn) && FitsControl(mx) && FitsControl(pos)) {
          s.minimum = mn;
          s.maximum = mx;
          s.position = pos;
          s.ClampPosition();
        } else {
          s.position = s.maximum;
        }
      }
    }
    if ((k == ControlKind::kProgressBar || k == ControlKind::kGauge) && tag == 100) {
      s.minimum = 0;
      s.maximum = 100;
      auto v = platform::ParseDecimal64(vars.ExpandVariables("$" + BoundName(s) + "$"));
      if (!v || !FitsControl(*v)) {
        s.position = s.maximum;
      } else if (*v != s.position) {
        s.position = *v;
        s.ClampPosition();
      }
    }
    if (k == ControlKind::kGauge && tag == 1) {
      if (FitsControl(values.minimum) && FitsControl(values.maximum) &&
          FitsControl(values.position)) {
        s.minimum = values.minimum;
        s.maximum = values.maximum;
        s.position = values.position;
        s.ClampPosition();
      } else {
        s.position = s.maximum;
      }
    }
  }
  EvaluateRules();
}

// ---------------------------------------------------------------------------------------------
// Progress apply and the dialog timer

bool ApplyProgress(DialogEngine& engine, DialogRuntime* current, const ProgressValues& values,
                   bool copy_cancel) {
  interp::Variables& vars = engine.variables();
  const bool cancelled = interp::TextToBool(vars.GetVariable("VORT_IsCancelled"));
  if (copy_cancel)
    vars.SetVariable("VORT_thCancelled", interp::BoolToText(cancelled), "Timer1Timer");
  if (vars.silent()) return cancelled;
  ProgressValues v = values;
  if (v.text == "$VORT$") {
    v.text = vars.GetVariable("VORT_thProgressText");
    v.position = platform::ParseDecimal64(vars.GetVariable("VORT_thProgress")).value_or(0);
    v.maximum = platform::ParseDecimal64(vars.GetVariable("VORT_thMax")).value_or(0);
    v.minimum = platform::ParseDecimal64(vars.GetVariable("VORT_thMin")).value_or(0);
  }
  if (current) {
    engine.hooks().UpdateTaskbar(vars.ExpandVariables(vars.GetVariable("PROGRESSMODE")), v.position,
                                 v.maximum);
    current->ShowProgress(v);
  }
  return cancelled;
}

void DialogTimerTick(DialogEngine& engine, DialogRuntime* current, bool background_task) {
  if (background_task) ApplyProgress(engine, current, {"$VORT$", 0, 0, 0}, true);
}

}  // namespace corvane::ui
