#include "platform/sim/sim_url_download.h"

#include <memory>
#include <random>
#include <vector>

#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

constexpr int kMaxRedirects = 10;
constexpr size_t kMaxHead = 64 * 1024;

struct Url {
  std::string host, path;
  uint16_t port = 80;
};

bool ParseUrl(const std::string& address, Url* url) {
  if (LowerCase(address.substr(0, 7)) != "http://") return false;
  std::string rest = address.substr(7);
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  url->path = slash == std::string::npos ? "/" : rest.substr(slash);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    std::optional<int32_t> port = ParseDecimal32(authority.substr(colon + 1));
    if (!port || *port <= 0 || *port > 65535) return false;
    url->port = static_cast<uint16_t>(*port);
    authority.erase(colon);
  }
  url->host = authority;
  return !url->host.empty();
}

std::string Base64(const std::string& in) {
  static const char k[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += {k[v >> 18], k[(v >> 12) & 63], k[(v >> 6) & 63], k[v & 63]};
  }
  if (i + 1 == in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    out += {k[v >> 18], k[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += {k[v >> 18], k[(v >> 12) & 63], k[(v >> 6) & 63], '='};
  }
  return out;
}

std::string Header(const std::string& head, const std::string& name) {
  size_t at = head.find("\r\n");
  while (at != std::string::npos && at + 2 < head.size()) {
    size_t start = at + 2;
    size_t end = head.find("\r\n", start);
    std::string line =
        head.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos && SameText(line.substr(0, colon), name)) {
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      return value;
    }
    at = end;
  }
  return "";
}

// The cache file's name from the address's last path part: "name[1].ext".
std::string CacheName(const std::string& path) {
  std::string name = path.substr(0, path.find('?'));
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::string clean;
  for (char c : name) {
    if (c != '\\' && c != ':' && c != '*' && c != '?' && c != '"' && c != '<' && c != '>' &&
        c != '|') {
      clean += c;
    }
  }
  if (clean.empty()) clean = "index.htm";
  size_t dot = clean.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return clean + "[1]";
  return clean.substr(0, dot) + "[1]" + clean.substr(dot);
}

}  // namespace

bool SimUrlDownloader::SetProcessCredentials(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  user_ = user;
  password_ = password;
  return true;
}

int SimUrlDownloader::ReceiveTimeoutMs() {
  RegValue v;
  if (registry_.ReadValue(RegRoot::kCurrentUser,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                          "ReceiveTimeout", RegView::kNative, &v) == Status::kOk &&
      v.type == RegType::kDword && v.AsNumber() != 0) {
    return static_cast<int>(std::min<uint64_t>(v.AsNumber(), 24u * 3600 * 1000));
  }
  return 30000;
}

int32_t SimUrlDownloader::DownloadToCacheFile(const std::string& address,
                                              UrlDownloadCallback& callback,
                                              std::string* cache_file) {
  if (!available_) return kInetDownloadFailure;
  std::string user, password;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    user = user_;
    password = password_;
  }
  const int timeout = ReceiveTimeoutMs();
  std::string current = address;
  for (int redirect = 0; redirect <= kMaxRedirects; ++redirect) {
    Url url;
    if (!ParseUrl(current, &url)) return kInetInvalidUrl;
    if (!callback.OnProgress(1, 0, 0, url.host)) return kAbort;
    std::unique_ptr<Connection> c;
    NetStatus s = network_.Connect(url.host, url.port, timeout, &c);
    if (s != NetStatus::kOk) return kInetCannotConnect;
    if (!callback.OnProgress(2, 0, 0, url.host)) return kAbort;
    std::string request = "GET " + url.path + " HTTP/1.1\r\nAccept: */*\r\n" +
                          "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 10.0)\r\n" +
                          "Host: " + url.host + ":" + std::to_string(url.port) +
                          "\r\nConnection: close\r\n";
    if (!user.empty()) request += "Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
    request += "\r\n";
    if (!callback.OnProgress(11, 0, 0, "")) return kAbort;
    if (c->Send(request, timeout) != NetStatus::kOk) return kInetDownloadFailure;

    // The head.
    std::string head, body;
    char buffer[65536];
    while (true) {
      size_t got = 0;
      s = c->Receive(buffer, sizeof buffer, timeout, &got);
      // Closed or silent before an answer.
      if (s != NetStatus::kOk) return lenient_ ? 0 : kInetDownloadFailure;
      head.append(buffer, got);
      size_t end = head.find("\r\n\r\n");
      if (end != std::string::npos) {
        body = head.substr(end + 4);
        head.erase(end + 2);
        break;
      }
      if (head.size() > kMaxHead) return kInetDownloadFailure;
    }
    if (head.compare(0, 5, "HTTP/") != 0 || head.size() < 12) return kInetDownloadFailure;
    std::optional<int32_t> status = ParseDecimal32(head.substr(9, 3));
    if (!status) return kInetDownloadFailure;
    const std::string headers = head.substr(head.find("\r\n") + 2);
    if (*status >= 300 && *status < 400 && *status != 304) {
      std::string location = Header(head, "Location");
      if (location.empty()) return kInetDownloadFailure;
      if (location[0] == '/') {
        location = "http://" + url.host + ":" + std::to_string(url.port) + location;
      }
      if (!callback.OnProgress(3, 0, 0, location)) return kAbort;
      current = location;
      continue;
    }
    callback.OnResponse(*status, headers);
    if (*status >= 400 && !lenient_) {
      return *status == 404 ? kInetResourceNotFound : kInetDownloadFailure;
    }
    std::optional<int64_t> length = ParseDecimal64(Header(head, "Content-Length"));
    const uint64_t total = length && *length >= 0 ? static_cast<uint64_t>(*length) : 0;
    std::string type = Header(head, "Content-Type");
    if (!type.empty() && !callback.OnProgress(13, 0, 0, type)) return kAbort;

    // A new file of the download cache.
    std::string folder;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::random_device random;
      static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
      folder = cache_folder_;
      for (int i = 0; i < 8; ++i) folder += kChars[random() % 36];
      ++counter_;
    }
    files_.CreateDirectories(folder);
    const std::string path = folder + "\\" + CacheName(url.path);
    Status fs_status;
    std::unique_ptr<File> out = files_.Open(path, OpenMode::kCreate, &fs_status);
    if (!out) return kInetDownloadFailure;
    *cache_file = path;
    if (!callback.OnProgress(14, 0, 0, path)) return kAbort;
    if (!callback.OnProgress(4, 0, total, current)) return kAbort;
    uint64_t received = 0;
    bool ended = false;
    while (true) {
      if (!body.empty()) {
        if (total != 0 && received + body.size() > total) body.resize(total - received);
        if (out->Write(body.data(), body.size()) != Status::kOk) return kInetDownloadFailure;
        received += body.size();
        body.clear();
        if (!callback.OnProgress(5, received, total, current)) return kAbort;
      }
      if (total != 0 && received == total) {
        ended = true;
        break;
      }
      size_t got = 0;
      s = c->Receive(buffer, sizeof buffer, timeout, &got);
      if (s == NetStatus::kClosed) {
        ended = total == 0;  // without a length the end of the stream ends the body
        break;
      }
      if (s != NetStatus::kOk) break;
      body.assign(buffer, got);
    }
    out.reset();
    if (!ended && !lenient_) return kInetDownloadFailure;
    if (!callback.OnProgress(6, received, total, current)) return kAbort;
    return 0;
  }
  return kInetDownloadFailure;
}

}  // namespace corvane::platform::sim
