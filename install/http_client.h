// The engine's own HTTP/1.0 downloader: HEAD then GET, resume by byte range, redirects, a proxy
// with Basic authentication, time-outs and cancel. The body goes straight to the target file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files.h"
#include "platform/network.h"

namespace corvane::install {

struct ProxyFields {
  std::string server, port, user, password;
};

// Percent and text of a progress report; false cancels the download.
using DownloadStatus = std::function<bool(int percent, const std::string& text)>;

struct HttpOptions {
  int connect_timeout_ms = 10000;
  int idle_timeout_ms = 10000;  // longest silence of the server before the attempt fails
  int max_redirects = 8;
  // Checked between slices of every wait (every kSliceMs), so a cancel never waits for the
  // server; true ends the download.
  std::function<bool()> should_stop;
  static constexpr int kSliceMs = 100;
};

// Why a download ended; kComplete is the only success.
enum class DownloadResult {
  kComplete,
  kCancelled,
  kBadAddress,     // not an http:// address, or a bad proxy field
  kNoConnection,   // refused, unknown host, connect time-out
  kTimedOut,       // the server went silent
  kHttpError,      // a status of 400 or more, or one that is neither 200 nor 206 in the end
  kBadResponse,    // a malformed head, a redirect without a usable Location, too many redirects
  kIncomplete,     // the body ended before the announced length, or no length was announced
  kWriteFailed,    // the target could not be opened or written
};

const char* DownloadResultName(DownloadResult r);

class HttpClient {
 public:
  static constexpr int64_t kResumeOverlap = 2048;
  static constexpr const char* kUserAgent = "Mozilla/3.0 (compatible)";
  static constexpr const char* kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

  HttpClient(platform::Network& network, platform::FileSystem& files, HttpOptions options = {})
      : network_(network), files_(files), options_(std::move(options)) {}

  // Downloads `address` into `target`. With `resume` and more than kResumeOverlap bytes already
  // in the target, asks for the rest from kResumeOverlap bytes before its end; a server that
  // answers 200 instead gets the whole file written from byte 0, and a 206 that does not start at
  // the offset asked for is dropped and the file fetched whole. Complete only on a final 200/206
  // whose body length equals the announced one.
  DownloadResult Download(const std::string& address, const std::string& target,
                          const ProxyFields& proxy, bool resume, const DownloadStatus& status);

  // The last attempt's final status (0 before any answer) and the file's expected total.
  int last_status() const { return last_status_; }
  int64_t expected_total() const { return expected_total_; }

 private:
  struct Exchange;
  DownloadResult Request(const std::string& method, const std::string& address,
                         const ProxyFields& proxy, int64_t range_from, Exchange* exchange);
  DownloadResult ReadBody(Exchange& exchange, platform::File& file, int64_t offset,
                          int64_t expected, const DownloadStatus& status);
  bool Stopping() const { return options_.should_stop && options_.should_stop(); }

  platform::Network& network_;
  platform::FileSystem& files_;
  HttpOptions options_;
  int last_status_ = 0;
  int64_t expected_total_ = 0;
  int last_percent_ = 0;
};

// "1,234,567 bytes received" and, with a known total, ", 42% complete".
std::string DownloadProgressText(int64_t received, int64_t total, int percent);
// received × 100 div total + 1, at most 100; with no total one more than `last`, 100 wrapping to 0.
int DownloadPercent(int64_t received, int64_t total, int last);

}  // namespace corvane::install
