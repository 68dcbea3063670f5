// The host's sockets on POSIX systems (the network of the simulated machine).
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/network.h"

namespace corvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

class PosixConnection : public Connection {
 public:
  explicit PosixConnection(int fd) : fd_(fd) {}
  ~PosixConnection() override { ::close(fd_); }

  NetStatus Send(std::string_view data, int timeout_ms) override {
    while (!data.empty()) {
      pollfd p{fd_, POLLOUT, 0};
      const int ready = ::poll(&p, 1, timeout_ms);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return NetStatus::kFailed;
      if (ready == 0) return NetStatus::kTimedOut;
      const ssize_t done = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (done < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return errno == EPIPE || errno == ECONNRESET ? NetStatus::kClosed : NetStatus::kFailed;
      }
      data.remove_prefix(static_cast<size_t>(done));
    }
    return NetStatus::kOk;
  }

  NetStatus Receive(char* buffer, size_t size, int timeout_ms, size_t* received) override {
    *received = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, Remaining(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return NetStatus::kFailed;
      if (ready == 0) return NetStatus::kTimedOut;
      const ssize_t got = ::recv(fd_, buffer, size, 0);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return errno == ECONNRESET ? NetStatus::kClosed : NetStatus::kFailed;
      }
      if (got == 0) return NetStatus::kClosed;
      *received = static_cast<size_t>(got);
      return NetStatus::kOk;
    }
  }

 private:
  int fd_;
};

class PosixNetwork : public Network {
 public:
  NetStatus Connect(const std::string& host, uint16_t port, int timeout_ms,
                    std::unique_ptr<Connection>* out) override {
    out->reset();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
      return NetStatus::kUnknownHost;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    NetStatus result = NetStatus::kFailed;
    for (addrinfo* a = found; a && !*out; a = a->ai_next) {
      result = TryOne(a, deadline, out);
    }
    ::freeaddrinfo(found);
    return *out ? NetStatus::kOk : result;
  }

 private:
  static NetStatus TryOne(const addrinfo* a, Clock::time_point deadline,
                          std::unique_ptr<Connection>* out) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) return NetStatus::kFailed;
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    NetStatus status = NetStatus::kOk;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        status = errno == ECONNREFUSED ? NetStatus::kRefused : NetStatus::kFailed;
      } else {
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
          ready = ::poll(&p, 1, Remaining(deadline));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
          status = NetStatus::kTimedOut;
        } else {
          int error = 0;
          socklen_t length = sizeof(error);
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
          if (ready < 0 || error != 0) {
            status = error == ECONNREFUSED ? NetStatus::kRefused : NetStatus::kFailed;
          }
        }
      }
    }
    if (status != NetStatus::kOk) {
      ::close(fd);
      return status;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    *out = std::make_unique<PosixConnection>(fd);
    return NetStatus::kOk;
  }
};

}  // namespace

Network& HostNetwork() {
  static PosixNetwork network;
  return network;
}

}  // namespace corvane::platform
