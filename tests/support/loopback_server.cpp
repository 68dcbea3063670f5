#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace corvane::testing {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool SendAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::send(fd, data, n, MSG_NOSIGNAL);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
  }
  return "Status";
}

// Reads the request head (up to the blank line) within the time-out; false when it never came.
bool ReadHead(int fd, std::string* head) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(LoopbackServer::kRequestTimeoutMs);
  char buffer[4096];
  while (head->find("\r\n\r\n") == std::string::npos && head->size() < 65536) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    head->append(buffer, static_cast<size_t>(got));
  }
  return head->find("\r\n\r\n") != std::string::npos;
}

Request ParseHead(const std::string& head) {
  Request r;
  size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos || end == pos) break;
    const std::string line = head.substr(pos, end - pos);
    pos = end + 2;
    if (first) {
      first = false;
      const size_t a = line.find(' ');
      const size_t b = line.find(' ', a == std::string::npos ? a : a + 1);
      r.method = line.substr(0, a);
      if (a != std::string::npos) r.target = line.substr(a + 1, b == std::string::npos ? b : b - a - 1);
      if (b != std::string::npos) r.version = line.substr(b + 1);
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    r.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return r;
}

}  // namespace

std::string Base64(const std::string& in) {
  static const char* kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kDigits[(v >> s) & 63];
  }
  if (i + 1 == in.size()) {
    const uint32_t v = uint8_t(in[i]) << 16;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Request::Header(const std::string& name) const {
  const std::string want = Lower(name);
  for (const auto& [key, value] : headers) {
    if (Lower(key) == want) return value;
  }
  return "";
}

LoopbackServer::LoopbackServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(listener_, 64) != 0) {
    ::close(listener_);
    listener_ = -1;
    return;
  }
  socklen_t length = sizeof(addr);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_signal_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ >= 0) ::close(listener_);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
}

std::string LoopbackServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://" + HostPort() + (path.empty() || path[0] != '/' ? "/" : "") + path;
}

void LoopbackServer::Serve(const std::string& path, Route route) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(route);
  cuts_done_[path] = 0;
}

void LoopbackServer::Serve(const std::string& path, std::string body) {
  Route r;
  r.body = std::make_shared<const std::string>(std::move(body));
  Serve(path, std::move(r));
}

void LoopbackServer::RequireProxyAuthorization(const std::string& user,
                                               const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  proxy_credentials_ = Base64(user + ":" + password);
}

std::vector<Request> LoopbackServer::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void LoopbackServer::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (++connections_ > kMaxConnections) {
      ::close(fd);
      continue;
    }
    workers_.emplace_back([this, fd] { Handle(fd); });
  }
}

bool LoopbackServer::Stall(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stop_signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void LoopbackServer::Handle(int fd) {
  std::string head;
  if (!ReadHead(fd, &head)) {
    ::close(fd);
    return;
  }
  Request request = ParseHead(head);
  Route route;
  bool found = false;
  bool cut = false;
  std::string credentials;
  std::string path = request.target;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(request);
    credentials = proxy_credentials_;
  }
  // A proxy request names the whole address; a server request only the path.
  if (path.rfind("http://", 0) == 0) {
    const size_t slash = path.find('/', 7);
    path = slash == std::string::npos ? "/" : path.substr(slash);
  }
  std::string reply;
  if (!credentials.empty() && (request.target.rfind("http://", 0) != 0 ||
                               request.Header("Proxy-Authorization") != "Basic " + credentials)) {
    reply = "HTTP/1.0 407 Proxy Authentication Required\r\n"
            "Proxy-Authenticate: Basic realm=\"loopback\"\r\nContent-Length: 0\r\n\r\n";
    SendAll(fd, reply.data(), reply.size());
    ::close(fd);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routes_.find(path);
    if (it != routes_.end()) {
      found = true;
      route = it->second;
      if (route.cut_at >= 0 && request.method != "HEAD" &&
          (route.cut_count < 0 || cuts_done_[path] < route.cut_count)) {
        cut = true;
        ++cuts_done_[path];
      }
    }
  }
  if (route.stall_ms > 0 && !Stall(route.stall_ms)) {
    ::close(fd);
    return;
  }
  if (!found || route.close_without_answer) {
    if (!found) {
      reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found";
      SendAll(fd, reply.data(), reply.size());
    }
    ::close(fd);
    return;
  }
  const std::string empty;
  const std::string& body = route.body ? *route.body : empty;
  const int64_t size = static_cast<int64_t>(body.size());
  int status = route.status;
  if (request.method == "HEAD" && route.head_status) status = route.head_status;
  int64_t from = 0;
  const std::string range = request.Header("Range");
  if (status == 200 && route.honour_range && range.rfind("bytes=", 0) == 0) {
    from = std::strtoll(range.c_str() + 6, nullptr, 10);
    if (from >= size) {
      status = 416;
      from = 0;
    } else {
      status = 206;
    }
  }
  const bool sends_body = status == 200 || status == 206 || status >= 400;
  const int64_t start = status == 206 ? std::max<int64_t>(0, from + route.range_skew) : 0;
  const int64_t length = sends_body ? size - start : 0;
  reply = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  reply += "Server: loopback\r\n";
  if (route.announce_length && status != 416) {
    reply += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  if (status == 206) {
    reply += "Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(size - 1) +
             "/" + std::to_string(size) + "\r\n";
  }
  if (status == 416) reply += "Content-Range: bytes */" + std::to_string(size) + "\r\n";
  if (!route.location.empty()) reply += "Location: " + route.location + "\r\n";
  reply += "Content-Type: application/octet-stream\r\n\r\n";
  bool ok = SendAll(fd, reply.data(), reply.size());
  if (ok && request.method != "HEAD" && sends_body && status != 416) {
    int64_t end = size;
    if (cut) end = std::min(end, std::max(start, route.cut_at));
    constexpr int64_t kChunk = 256 * 1024;
    for (int64_t at = start; ok && at < end && !stopping_; at += kChunk) {
      ok = SendAll(fd, body.data() + at, static_cast<size_t>(std::min(kChunk, end - at)));
    }
    if (ok && !cut) ++completed_;
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace corvane::testing
