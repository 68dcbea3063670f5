// Addresses for the engine's HTTP client: download addresses (with optional credentials before
// the host), redirect targets and the proxy fields of the retry dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::install {

struct HttpUrl {
  std::string host;        // a name or a dotted address; brackets kept off an IPv6 literal
  uint16_t port = 80;
  std::string path = "/";  // with its query, never empty, no fragment
  std::string user, password;
  bool has_credentials = false;
};

// "http://[user[:password]@]host[:port][/path]" (scheme and host in any case). False for any other
// scheme (the client speaks plain HTTP only), an empty host, a port that is not 1..65535, or
// control characters or blanks anywhere (they would split the request line).
bool ParseHttpUrl(std::string_view text, HttpUrl* out);

// A redirect target against the address that answered: an absolute address, a path from the
// root ("/x"), or a path relative to the answering one's folder.
bool ResolveLocation(const HttpUrl& base, std::string_view location, HttpUrl* out);

// "host" or "host:port" without credentials: the Host header.
std::string HostHeader(const HttpUrl& url);
// "http://host:port/path" without credentials: the request target sent to a proxy.
std::string AbsoluteForm(const HttpUrl& url);

struct ProxyAddress {
  std::string host;
  uint16_t port = 80;
};

// The dialog's proxy fields: a server ("host", "host:port", "http://host[:port][/]") and a port
// field (decimal; empty takes the server's own port or 80). False when the server field is empty
// or either port is not 1..65535.
bool ParseProxy(std::string_view server, std::string_view port, ProxyAddress* out);

}  // namespace corvane::install
