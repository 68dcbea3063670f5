// Outgoing TCP connections: the socket service under the engine's own HTTP client.
//
// Every call may be made from any thread; a Connection belongs to the thread that uses it. No
// call blocks longer than the time-out it is given, so a caller that slices its waits can see a
// cancel request between two slices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane::platform {

enum class NetStatus : uint8_t {
  kOk = 0,
  kClosed,        // the peer ended the stream (Receive) or reset the connection
  kTimedOut,      // nothing happened within the time-out
  kRefused,       // nobody listens at that address
  kUnknownHost,   // the host name does not resolve
  kFailed,        // anything else (no network service, a socket error)
};

const char* NetStatusName(NetStatus s);

class Connection {
 public:
  virtual ~Connection() = default;
  // Sends every byte of `data`; kTimedOut when the peer takes none for `timeout_ms`.
  virtual NetStatus Send(std::string_view data, int timeout_ms) = 0;
  // Waits up to `timeout_ms` for bytes. kOk with *received > 0, kClosed (and 0) at the end of the
  // stream, kTimedOut (and 0) when nothing came.
  virtual NetStatus Receive(char* buffer, size_t size, int timeout_ms, size_t* received) = 0;
};

class Network {
 public:
  virtual ~Network() = default;
  // Opens a connection to host (a name or a dotted address) and port within `timeout_ms`.
  virtual NetStatus Connect(const std::string& host, uint16_t port, int timeout_ms,
                            std::unique_ptr<Connection>* out) = 0;
};

// A platform without a network: every connection fails.
class NoNetwork : public Network {
 public:
  NetStatus Connect(const std::string&, uint16_t, int, std::unique_ptr<Connection>*) override {
    return NetStatus::kFailed;
  }
};

// Forwards every call; a test overrides the one it changes.
class NetworkWrapper : public Network {
 public:
  explicit NetworkWrapper(Network& inner) : inner_(inner) {}
  NetStatus Connect(const std::string& host, uint16_t port, int timeout_ms,
                    std::unique_ptr<Connection>* out) override {
    return inner_.Connect(host, port, timeout_ms, out);
  }

 protected:
  Network& inner_;
};

// The host's own sockets (BSD sockets natively, Windows sockets in the Windows build). The
// simulated machine shares the host's network, so the simulation uses the same service.
Network& HostNetwork();

}  // namespace corvane::platform
