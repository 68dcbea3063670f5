#include "install/http_client.h"

#include <chrono>
#include <memory>
#include <vector>

#include "install/http_response.h"
#include "install/http_url.h"

namespace corvane::install {
namespace {

using Clock = std::chrono::steady_clock;
using platform::NetStatus;

constexpr size_t kBufferSize = 256 * 1024;

std::string Base64(std::string_view in) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const uint32_t v = (uint32_t(uint8_t(in[i])) << 16) | (uint32_t(uint8_t(in[i + 1])) << 8) |
                       uint8_t(in[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kDigits[(v >> s) & 63];
  }
  const size_t left = in.size() - i;
  if (left > 0) {
    uint32_t v = uint32_t(uint8_t(in[i])) << 16;
    if (left == 2) v |= uint32_t(uint8_t(in[i + 1])) << 8;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += left == 2 ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Header values from the dialog's fields must not break the request.
bool Clean(std::string_view s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

const char* DownloadResultName(DownloadResult r) {
  switch (r) {
    case DownloadResult::kComplete: return "complete";
    case DownloadResult::kCancelled: return "cancelled";
    case DownloadResult::kBadAddress: return "bad address";
    case DownloadResult::kNoConnection: return "no connection";
    case DownloadResult::kTimedOut: return "timed out";
    case DownloadResult::kHttpError: return "HTTP error";
    case DownloadResult::kBadResponse: return "bad response";
    case DownloadResult::kIncomplete: return "incomplete";
    case DownloadResult::kWriteFailed: return "write failed";
  }
  return "?";
}

std::string DownloadProgressText(int64_t received, int64_t total, int percent) {
  std::string digits = std::to_string(received < 0 ? 0 : received);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  std::string text = grouped + " bytes received";
  if (total > 0) text += ", " + std::to_string(percent) + "% complete";
  return text;
}

int DownloadPercent(int64_t received, int64_t total, int last) {
  if (total <= 0) return last >= 100 ? 0 : last + 1;
  // received × 100 would overflow for sizes near 2^63; those are divided down first.
  const int64_t percent = received <= INT64_MAX / 100
                              ? received * 100 / total + 1
                              : received / (total / 100 > 0 ? total / 100 : 1) + 1;
  return percent > 100 ? 100 : static_cast<int>(percent < 0 ? 0 : percent);
}

struct HttpClient::Exchange {
  std::unique_ptr<platform::Connection> connection;
  HttpResponseHead head;
  std::string body_start;  // body bytes that came with the head
};

DownloadResult HttpClient::Request(const std::string& method, const std::string& address,
                                   const ProxyFields& proxy, int64_t range_from,
                                   Exchange* exchange) {
  HttpUrl url;
  if (!ParseHttpUrl(address, &url)) return DownloadResult::kBadAddress;
  const bool via_proxy = !proxy.server.empty();
  ProxyAddress proxy_address;
  if (via_proxy && !ParseProxy(proxy.server, proxy.port, &proxy_address)) {
    return DownloadResult::kBadAddress;
  }
  if (!Clean(proxy.user) || !Clean(proxy.password)) return DownloadResult::kBadAddress;
  for (int redirects = 0;; ++redirects) {
    if (Stopping()) return DownloadResult::kCancelled;
    exchange->connection.reset();
    exchange->body_start.clear();
    const std::string& host = via_proxy ? proxy_address.host : url.host;
    const uint16_t port = via_proxy ? proxy_address.port : url.port;
    // The connect waits in slices too, so that a cancel does not wait for it.
    NetStatus connected = NetStatus::kTimedOut;
    const auto connect_deadline =
        Clock::now() + std::chrono::milliseconds(options_.connect_timeout_ms);
    while (connected == NetStatus::kTimedOut && Clock::now() < connect_deadline) {
      if (Stopping()) return DownloadResult::kCancelled;
      connected = network_.Connect(host, port, HttpOptions::kSliceMs * 10, &exchange->connection);
    }
    if (connected != NetStatus::kOk) return DownloadResult::kNoConnection;

    std::string request = method + " " + (via_proxy ? AbsoluteForm(url) : url.path) + " HTTP/1.0\r\n";
    request += "Host: " + HostHeader(url) + "\r\n";
    request += std::string("User-Agent: ") + kUserAgent + "\r\n";
    request += std::string("Accept: ") + kAccept + "\r\n";
    if (range_from > 0) request += "Range: bytes=" + std::to_string(range_from) + "-\r\n";
    if (url.has_credentials) {
      request += "Authorization: Basic " + Base64(url.user + ":" + url.password) + "\r\n";
    }
    if (via_proxy && !proxy.user.empty()) {
      request += "Proxy-Authorization: Basic " + Base64(proxy.user + ":" + proxy.password) + "\r\n";
    }
    request += "\r\n";
    const NetStatus sent = exchange->connection->Send(request, options_.idle_timeout_ms);
    if (sent == NetStatus::kTimedOut) return DownloadResult::kTimedOut;
    if (sent != NetStatus::kOk) return DownloadResult::kNoConnection;

    ResponseHeadParser parser;
    std::vector<char> buffer(16 * 1024);
    auto idle_deadline = Clock::now() + std::chrono::milliseconds(options_.idle_timeout_ms);
    for (;;) {
      if (Stopping()) return DownloadResult::kCancelled;
      size_t got = 0;
      const NetStatus r = exchange->connection->Receive(buffer.data(), buffer.size(),
                                                        HttpOptions::kSliceMs, &got);
      if (r == NetStatus::kTimedOut) {
        if (Clock::now() >= idle_deadline) return DownloadResult::kTimedOut;
        continue;
      }
      // A server that closes before a whole head has answered nothing usable.
      if (r != NetStatus::kOk) return DownloadResult::kBadResponse;
      idle_deadline = Clock::now() + std::chrono::milliseconds(options_.idle_timeout_ms);
      size_t body_at = 0;
      const auto state = parser.Feed(std::string_view(buffer.data(), got), &body_at);
      if (state == ResponseHeadParser::State::kMalformed) return DownloadResult::kBadResponse;
      if (state == ResponseHeadParser::State::kDone) {
        exchange->body_start.assign(buffer.data() + body_at, got - body_at);
        break;
      }
    }
    exchange->head = parser.head();
    last_status_ = exchange->head.status;
    if (!IsRedirect(exchange->head.status)) return DownloadResult::kComplete;
    std::string location;
    if (redirects >= options_.max_redirects || !exchange->head.Find("Location", &location) ||
        !ResolveLocation(url, location, &url)) {
      return DownloadResult::kBadResponse;
    }
  }
}

DownloadResult HttpClient::ReadBody(Exchange& exchange, platform::File& file, int64_t offset,
                                    int64_t expected, const DownloadStatus& status) {
  int64_t received = offset;
  std::vector<char> buffer(kBufferSize);
  auto take = [&](const char* data, size_t n) -> DownloadResult {
    if (n == 0) return DownloadResult::kComplete;
    // More than announced: the server's answer is not the file it described.
    if (expected >= 0 && received + static_cast<int64_t>(n) > expected) {
      return DownloadResult::kBadResponse;
    }
    if (file.Write(data, n) != platform::Status::kOk) return DownloadResult::kWriteFailed;
    received += static_cast<int64_t>(n);
    last_percent_ = DownloadPercent(received, expected_total_, last_percent_);
    if (status && !status(last_percent_, DownloadProgressText(received, expected_total_,
                                                               last_percent_))) {
      return DownloadResult::kCancelled;
    }
    return DownloadResult::kComplete;
  };
  DownloadResult r = take(exchange.body_start.data(), exchange.body_start.size());
  if (r != DownloadResult::kComplete) return r;
  auto idle_deadline = Clock::now() + std::chrono::milliseconds(options_.idle_timeout_ms);
  for (;;) {
    if (Stopping()) return DownloadResult::kCancelled;
    size_t got = 0;
    const NetStatus n =
        exchange.connection->Receive(buffer.data(), buffer.size(), HttpOptions::kSliceMs, &got);
    if (n == NetStatus::kTimedOut) {
      if (Clock::now() >= idle_deadline) return DownloadResult::kTimedOut;
      continue;
    }
    if (n != NetStatus::kOk) break;
    idle_deadline = Clock::now() + std::chrono::milliseconds(options_.idle_timeout_ms);
    r = take(buffer.data(), got);
    if (r != DownloadResult::kComplete) return r;
  }
  if (file.Flush() != platform::Status::kOk) return DownloadResult::kWriteFailed;
  return expected >= 0 && received == expected ? DownloadResult::kComplete
                                               : DownloadResult::kIncomplete;
}

DownloadResult HttpClient::Download(const std::string& address, const std::string& target,
                                    const ProxyFields& proxy, bool resume,
                                    const DownloadStatus& status) {
  last_status_ = 0;
  expected_total_ = 0;
  last_percent_ = 0;
  if (target.empty()) return DownloadResult::kWriteFailed;
  uint64_t present = 0;
  if (files_.GetFileSize(target, &present) != platform::Status::kOk) present = 0;

  // HEAD first: an address the server refuses is not fetched. A server that does not know HEAD
  // (405, 501) may still serve the file.
  Exchange exchange;
  DownloadResult r = Request("HEAD", address, proxy, 0, &exchange);
  if (r != DownloadResult::kComplete) return r;
  if (exchange.head.status >= 400 && exchange.head.status != 405 && exchange.head.status != 501) {
    return DownloadResult::kHttpError;
  }
  exchange.connection.reset();

  int64_t offset = resume && present > static_cast<uint64_t>(kResumeOverlap)
                       ? static_cast<int64_t>(present) - kResumeOverlap
                       : 0;
  for (int attempt = 0;; ++attempt) {
    r = Request("GET", address, proxy, offset, &exchange);
    if (r != DownloadResult::kComplete) return r;
    const int code = exchange.head.status;
    // A partial file longer than the resource (it changed on the server): fetch it whole.
    if (code == 416 && offset > 0 && attempt == 0) {
      offset = 0;
      continue;
    }
    if (code != 200 && code != 206) {
      return IsRedirect(code) ? DownloadResult::kBadResponse : DownloadResult::kHttpError;
    }
    int64_t length = -1;
    const bool has_length = exchange.head.ContentLength(&length);
    if (code == 200) {
      // The whole file, whatever was asked: it is written from byte 0.
      offset = 0;
      break;
    }
    int64_t first = 0, last = 0, total = -1;
    const bool has_range = exchange.head.ContentRange(&first, &last, &total);
    const bool fits = has_range && first == offset &&
                      (!has_length || length == last - first + 1) &&
                      (total < 0 || total == last + 1);
    if (fits) {
      if (!has_length) length = last - first + 1;
      break;
    }
    // A part that does not start where it was asked to would corrupt the file: fetch it whole.
    if (attempt > 0 || offset == 0) return DownloadResult::kBadResponse;
    offset = 0;
  }
  int64_t length = -1;
  int64_t first = 0, last = 0, total = -1;
  if (!exchange.head.ContentLength(&length) && exchange.head.status == 206 &&
      exchange.head.ContentRange(&first, &last, &total)) {
    length = last - first + 1;
  }
  const int64_t expected = length >= 0 ? offset + length : -1;
  expected_total_ = expected > 0 ? expected : 0;

  platform::Status opened = platform::Status::kOk;
  std::unique_ptr<platform::File> file =
      files_.Open(target, present > 0 ? platform::OpenMode::kReadWrite : platform::OpenMode::kCreate,
                  &opened);
  if (!file || file->Seek(static_cast<uint64_t>(offset)) != platform::Status::kOk ||
      file->Truncate() != platform::Status::kOk) {
    return DownloadResult::kWriteFailed;
  }
  return ReadBody(exchange, *file, offset, expected, status);
}

}  // namespace corvane::install
