// A small HTTP/1.0 server on 127.0.0.1 for the download tests: started on a free port by the test
// that needs it, stopped by its destructor. Each path is served by a route that says how to
// misbehave (ignore ranges, cut the body, stall, refuse, redirect), and every request is logged
// so that tests can assert on what the client asked for.
//
// Bounded: at most kMaxConnections connections in its life, a request must arrive within
// kRequestTimeoutMs, and a stall ends when the server stops.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvane::testing {

struct Route {
  int status = 200;                         // 404, 405, 500, 301/302 with location, ...
  std::shared_ptr<const std::string> body;  // the resource (also the error page's text)
  bool honour_range = true;                 // false: a Range header is ignored (200, whole body)
  int64_t range_skew = 0;                   // a 206 whose Content-Range starts this far off
  int64_t cut_at = -1;                      // close after this absolute body offset...
  int cut_count = -1;                       // ...in this many responses (-1: all of them)
  int stall_ms = 0;                         // wait this long before answering
  bool close_without_answer = false;        // read the request, then close
  std::string location;                     // redirect target (sent with status 3xx)
  int head_status = 0;                      // status for HEAD when it differs (405)
  bool announce_length = true;              // send Content-Length
};

struct Request {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;
  // The value of the first header of that name (case-insensitive), or "".
  std::string Header(const std::string& name) const;
};

class LoopbackServer {
 public:
  static constexpr int kMaxConnections = 2000;
  static constexpr int kRequestTimeoutMs = 5000;

  LoopbackServer();  // listens on 127.0.0.1 with a free port
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const { return port_; }
  std::string Url(const std::string& path) const;  // http://127.0.0.1:PORT/path
  std::string HostPort() const;                    // 127.0.0.1:PORT

  void Serve(const std::string& path, Route route);
  void Serve(const std::string& path, std::string body);
  // From now on the server acts as a proxy that wants these Basic credentials: requests must
  // carry an absolute address and a matching Proxy-Authorization, else 407.
  void RequireProxyAuthorization(const std::string& user, const std::string& password);

  std::vector<Request> Log() const;
  void ClearLog();
  // Responses whose body was sent completely.
  int completed_responses() const { return completed_.load(); }

 private:
  void AcceptLoop();
  void Handle(int fd);
  bool Stall(int ms);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> completed_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::condition_variable stop_signal_;
  std::map<std::string, Route> routes_;
  std::map<std::string, int> cuts_done_;
  std::string proxy_credentials_;  // base64 of user:password, empty when not a proxy
  std::vector<Request> log_;
  std::vector<std::thread> workers_;
  int connections_ = 0;
};

std::string Base64(const std::string& in);

}  // namespace corvane::testing
