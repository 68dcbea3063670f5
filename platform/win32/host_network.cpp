// The host's sockets in the Windows build (Windows sockets 2).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <mutex>

#include "platform/network.h"

namespace corvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket can be read (or written); 1 ready, 0 timed out, -1 failed.
int WaitFor(SOCKET s, bool write, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int ready = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &tv);
  if (ready == SOCKET_ERROR) return -1;
  if (ready == 0) return 0;
  return FD_ISSET(s, &errors) && !FD_ISSET(s, &set) ? -1 : 1;
}

class WinsockConnection : public Connection {
 public:
  explicit WinsockConnection(SOCKET s) : socket_(s) {}
  ~WinsockConnection() override { ::closesocket(socket_); }

  NetStatus Send(std::string_view data, int timeout_ms) override {
    while (!data.empty()) {
      const int ready = WaitFor(socket_, true, timeout_ms);
      if (ready < 0) return NetStatus::kFailed;
      if (ready == 0) return NetStatus::kTimedOut;
      const int chunk = data.size() > 0x10000 ? 0x10000 : static_cast<int>(data.size());
      const int done = ::send(socket_, data.data(), chunk, 0);
      if (done == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAEINTR) continue;
        return error == WSAECONNRESET || error == WSAECONNABORTED ? NetStatus::kClosed
                                                                  : NetStatus::kFailed;
      }
      data.remove_prefix(static_cast<size_t>(done));
    }
    return NetStatus::kOk;
  }

  NetStatus Receive(char* buffer, size_t size, int timeout_ms, size_t* received) override {
    *received = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const int ready = WaitFor(socket_, false, Remaining(deadline));
      if (ready < 0) return NetStatus::kFailed;
      if (ready == 0) return NetStatus::kTimedOut;
      const int want = size > 0x100000 ? 0x100000 : static_cast<int>(size);
      const int got = ::recv(socket_, buffer, want, 0);
      if (got == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAEINTR) continue;
        return error == WSAECONNRESET || error == WSAECONNABORTED ? NetStatus::kClosed
                                                                  : NetStatus::kFailed;
      }
      if (got == 0) return NetStatus::kClosed;
      *received = static_cast<size_t>(got);
      return NetStatus::kOk;
    }
  }

 private:
  SOCKET socket_;
};

class WinsockNetwork : public Network {
 public:
  NetStatus Connect(const std::string& host, uint16_t port, int timeout_ms,
                    std::unique_ptr<Connection>* out) override {
    out->reset();
    if (!Started()) return NetStatus::kFailed;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
      return NetStatus::kUnknownHost;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    NetStatus result = NetStatus::kFailed;
    for (addrinfo* a = found; a && !*out; a = a->ai_next) result = TryOne(a, deadline, out);
    ::freeaddrinfo(found);
    return *out ? NetStatus::kOk : result;
  }

 private:
  static bool Started() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
      WSADATA data;
      ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return ok;
  }

  static NetStatus TryOne(const addrinfo* a, Clock::time_point deadline,
                          std::unique_ptr<Connection>* out) {
    SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) return NetStatus::kFailed;
    u_long nonblocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonblocking);
    NetStatus status = NetStatus::kOk;
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) {
        status = error == WSAECONNREFUSED ? NetStatus::kRefused : NetStatus::kFailed;
      } else {
        const int ready = WaitFor(s, true, Remaining(deadline));
        if (ready == 0) {
          status = NetStatus::kTimedOut;
        } else {
          int so_error = 0;
          int length = sizeof(so_error);
          ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &length);
          if (ready < 0 || so_error != 0) {
            status = so_error == WSAECONNREFUSED ? NetStatus::kRefused : NetStatus::kFailed;
          }
        }
      }
    }
    if (status != NetStatus::kOk) {
      ::closesocket(s);
      return status;
    }
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
    *out = std::make_unique<WinsockConnection>(s);
    return NetStatus::kOk;
  }
};

}  // namespace

Network& HostNetwork() {
  static WinsockNetwork network;
  return network;
}

}  // namespace corvane::platform
