#include "install/web_download.h"

#include <algorithm>
#include <cstdio>

#include "image/engine_messages.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::install {

namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;

std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// The announced length of a response's headers, or -1 when none (or a malformed one) is there.
int64_t ContentLength(const std::string& headers) {
  size_t at = 0;
  while (at < headers.size()) {
    size_t end = headers.find('\n', at);
    std::string line = headers.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? headers.size() : end + 1;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (!platform::SameText(name, "Content-Length")) continue;
    std::string value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
      value.pop_back();
    std::optional<int64_t> n = platform::ParseDecimal64(value);
    return n && *n >= 0 ? *n : -1;
  }
  return -1;
}

// Watches one system download: turns its steps into the status lines of the download and
// remembers what the engine needs to judge it.
class StatusBridge : public platform::UrlDownloadCallback {
 public:
  explicit StatusBridge(const WebDownloader::Status& status) : status_(status) {}

  bool OnProgress(uint32_t code, uint64_t position, uint64_t maximum,
                  const std::string& text) override {
    if (code > 33) code = 0;
    const std::string label = BindStatusText(code);
    std::string line = label.empty() ? text : label + " " + text;
    if (code == platform::bindstatus::kCacheFileNameAvailable) cache_file = text;
    if (line.rfind("Transferring data", 0) == 0) {
      if (maximum != 0) {
        percent_ = static_cast<int>(std::min<uint64_t>(position * 100 / maximum + 1, 100));
      } else {
        percent_ = percent_ >= 100 ? 0 : percent_ + 1;
      }
      line = GroupedNumber(position) + " bytes received";
      if (maximum != 0) line += ", " + std::to_string(percent_) + "% complete";
    }
    const bool go_on = !status_ || status_(percent_, line);
    if (!go_on) cancelled = true;
    if (code == platform::bindstatus::kEndDownloadData && go_on) ended = true;
    return go_on;
  }

  void OnResponse(int status, const std::string& headers) override {
    http_status = status;
    announced = ContentLength(headers);
  }

  std::string cache_file;
  bool cancelled = false;
  bool ended = false;
  int http_status = 0;
  int64_t announced = -1;

 private:
  const WebDownloader::Status& status_;
  int percent_ = 0;
};

// Gives the system downloader the run's receive time-out for one download and puts back what
// was there before, removing a value that was not there.
class ReceiveTimeoutScope {
 public:
  ReceiveTimeoutScope(platform::Registry& registry, int seconds) : registry_(registry) {
    if (seconds == 0) return;
    registry_.CreateKey(RegRoot::kCurrentUser, kInternetSettingsKey, RegView::kNative);
    had_ = registry_.ReadValue(RegRoot::kCurrentUser, kInternetSettingsKey, kReceiveTimeoutValue,
                               RegView::kNative, &old_) == platform::Status::kOk;
    active_ = registry_.WriteValue(RegRoot::kCurrentUser, kInternetSettingsKey,
                                   kReceiveTimeoutValue, RegView::kNative,
                                   RegValue::Dword(static_cast<uint32_t>(seconds) * 1000)) ==
              platform::Status::kOk;
  }
  ~ReceiveTimeoutScope() {
    if (!active_) return;
    if (had_) {
      registry_.WriteValue(RegRoot::kCurrentUser, kInternetSettingsKey, kReceiveTimeoutValue,
                           RegView::kNative, old_);
    } else {
      registry_.DeleteValue(RegRoot::kCurrentUser, kInternetSettingsKey, kReceiveTimeoutValue,
                            RegView::kNative);
    }
  }

 private:
  platform::Registry& registry_;
  RegValue old_;
  bool had_ = false;
  bool active_ = false;
};

}  // namespace

std::string BindStatusText(uint32_t code) {
  // The labels are the built-in lines of the engine message set, one per status code.
  constexpr uint32_t kCodes =
      image::msg::kDownloadStatusLast - image::msg::kDownloadStatusFirst + 1;
  if (code >= kCodes) return "";
  return std::string(
      image::EngineMessages::BuiltIn(image::msg::kDownloadStatusFirst + static_cast<int>(code)));
}

std::string GroupedNumber(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool TakeAddressCredentials(std::string* address, std::string* user, std::string* password) {
  std::string lower = platform::LowerCase(*address);
  size_t scheme = lower.rfind("http://", 0) == 0 ? 7 : lower.rfind("https://", 0) == 0 ? 8 : 0;
  if (scheme == 0) return false;
  const size_t slash = address->find('/', scheme);
  const size_t at = address->rfind('@', slash == std::string::npos ? std::string::npos : slash);
  if (at == std::string::npos || at < scheme) return false;
  const std::string credentials = address->substr(scheme, at - scheme);
  const size_t colon = credentials.find(':');
  if (colon == std::string::npos) return false;
  *user = credentials.substr(0, colon);
  *password = credentials.substr(colon + 1);
  address->erase(scheme, at + 1 - scheme);
  return true;
}

std::string WebDownloader::last_outcome() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_outcome_;
}

void WebDownloader::SetOutcome(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_outcome_ = std::move(text);
}

bool WebDownloader::DownloadFile(const Request& request, const Status& status) {
  if (use_system_) {
    bool fall_back = false;
    const bool ok = SystemDownload(request, status, &fall_back);
    if (!fall_back) return ok;
  }
  return HttpDownload(request, status);
}

bool WebDownloader::SystemDownload(const Request& request, const Status& status, bool* fall_back) {
  platform::FileSystem& files = platform_.files();
  if (!request.resume && !last_cache_file_.empty()) {
    files.SetAttributes(last_cache_file_, platform::attr::kNormal);
    files.DeleteFile(last_cache_file_);
    last_cache_file_.clear();
  }
  std::optional<int32_t> timeout = platform::ParseScriptInteger(variables_.Get("VORT_TIMEOUT"));
  ReceiveTimeoutScope receive_timeout(platform_.registry(), timeout.value_or(10));

  platform::UrlDownloader& system = platform_.url_downloader();
  if (!system.Available()) {
    use_system_ = false;
    *fall_back = true;
    return false;
  }
  std::string address = request.address, user, password;
  const bool credentials = TakeAddressCredentials(&address, &user, &password);
  if (credentials && !system.SetProcessCredentials(user, password)) {
    use_system_ = false;
    *fall_back = true;
    return false;
  }
  StatusBridge bridge(status);
  std::string reported;
  const int32_t result = system.DownloadToCacheFile(address, bridge, &reported);
  if (credentials) system.SetProcessCredentials("", "");
  // The file the call names at its end; the one named in passing where it names none (Wine names
  // the file before it gives it its extension).
  std::string cache = reported.empty() ? bridge.cache_file : reported;
  platform::Status copied = platform::Status::kNotFound;
  if (!cache.empty()) last_cache_file_ = cache;
  if (bridge.ended && !bridge.cancelled && !cache.empty() &&
      !platform::SameText(files.GetFullPath(cache), files.GetFullPath(request.target))) {
    const std::string folder = FolderOf(request.target);
    if (!folder.empty()) files.CreateDirectories(folder);
    if (files.FileExists(request.target)) {
      files.SetAttributes(request.target, platform::attr::kNormal);
      files.DeleteFile(request.target);
    }
    copied = files.CopyFile(cache, request.target, false);
  }
  // The system's word is not taken for it: the server must have answered 200 or 206, and the
  // file must hold exactly the length announced.
  uint64_t size = 0;
  const bool have = files.GetFileSize(request.target, &size) == platform::Status::kOk;
  std::string why;
  if (bridge.cancelled) {
    why = "cancelled";
  } else if (result != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(result));
    why = std::string("the system downloader failed (") + code + ")";
  } else if (bridge.http_status != 200 && bridge.http_status != 206) {
    why = bridge.http_status == 0 ? "no answer from the server"
                                  : "the server answered " + std::to_string(bridge.http_status);
  } else if (bridge.announced < 0) {
    why = "no length announced";
  } else if (!have || static_cast<int64_t>(size) != bridge.announced) {
    why = "the file holds " + std::to_string(have ? size : 0) + " of " +
          std::to_string(bridge.announced) + " bytes" +
          (bridge.ended ? "" : ", the end of the data was never reported") +
          (cache.empty() ? ", no cache file was named"
                         : ", copied from " + cache + ": " + platform::StatusName(copied));
  }
  SetOutcome("system downloader: " + (why.empty() ? std::string("complete") : why));
  // What the server sent instead of the resource (an error page) is no start for the next
  // attempt; a body cut short stays for a resume.
  if (!why.empty() && have && bridge.http_status != 200 && bridge.http_status != 206) {
    files.SetAttributes(request.target, platform::attr::kNormal);
    files.DeleteFile(request.target);
  }
  return why.empty();
}

bool WebDownloader::HttpDownload(const Request& request, const Status& status) {
  HttpOptions options;
  const int seconds = request.timeout_seconds > 0 ? request.timeout_seconds : 10;
  options.connect_timeout_ms = seconds * 1000;
  options.idle_timeout_ms = seconds * 1000;
  options.should_stop = request.should_stop;
  HttpClient client(platform_.network(), platform_.files(), options);
  DownloadResult r =
      client.Download(request.address, request.target, request.proxy, request.resume, status);
  SetOutcome(std::string("http client: ") + DownloadResultName(r));
  return r == DownloadResult::kComplete;
}

}  // namespace corvane::install
