#include "install/http_url.h"

namespace corvane::install {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool HasUnsafe(std::string_view s) {
  for (unsigned char c : s) {
    if (c <= 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Decimal 1..65535, nothing else.
bool ParsePort(std::string_view s, uint16_t* port) {
  if (s.empty() || s.size() > 5) return false;
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  if (v == 0 || v > 65535) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

// host[:port] (an IPv6 literal in brackets); false when the host is empty or malformed.
bool ParseAuthority(std::string_view hostport, std::string* host, uint16_t* port,
                    uint16_t default_port) {
  *port = default_port;
  std::string_view name;
  if (!hostport.empty() && hostport[0] == '[') {
    const size_t close = hostport.find(']');
    if (close == std::string_view::npos) return false;
    name = hostport.substr(1, close - 1);
    std::string_view rest = hostport.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':' || !ParsePort(rest.substr(1), port)) return false;
    }
    if (name.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return false;
  } else {
    const size_t colon = hostport.find(':');
    name = hostport.substr(0, colon);
    if (colon != std::string_view::npos && !ParsePort(hostport.substr(colon + 1), port)) {
      return false;
    }
    for (unsigned char c : name) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_';
      if (!ok) return false;
    }
  }
  if (name.empty() || name.size() > 255) return false;
  host->assign(name);
  return true;
}

}  // namespace

bool ParseHttpUrl(std::string_view text, HttpUrl* out) {
  if (!StartsWithNoCase(text, "http://") || HasUnsafe(text)) return false;
  std::string_view rest = text.substr(7);
  const size_t fragment = rest.find('#');
  if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
  const size_t end = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, end);
  std::string_view path = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  HttpUrl url;
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view info = authority.substr(0, at);
    const size_t colon = info.find(':');
    url.user.assign(info.substr(0, colon));
    if (colon != std::string_view::npos) url.password.assign(info.substr(colon + 1));
    url.has_credentials = true;
    authority = authority.substr(at + 1);
  }
  if (!ParseAuthority(authority, &url.host, &url.port, 80)) return false;
  url.path = path.empty() ? "/" : std::string(path);
  if (url.path[0] == '?') url.path.insert(0, "/");
  *out = std::move(url);
  return true;
}

bool ResolveLocation(const HttpUrl& base, std::string_view location, HttpUrl* out) {
  if (location.empty() || HasUnsafe(location)) return false;
  if (StartsWithNoCase(location, "http://")) return ParseHttpUrl(location, out);
  // Another scheme ("https:", "ftp:") cannot be followed by this client.
  const size_t colon = location.find(':');
  const size_t slash = location.find('/');
  if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
    return false;
  }
  HttpUrl url = base;
  if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
    return ParseHttpUrl("http:" + std::string(location), out);
  }
  if (location[0] == '/') {
    url.path.assign(location);
  } else {
    std::string folder = base.path.substr(0, base.path.find('?'));
    folder = folder.substr(0, folder.rfind('/') + 1);
    url.path = folder + std::string(location);
  }
  const size_t fragment = url.path.find('#');
  if (fragment != std::string::npos) url.path.resize(fragment);
  if (url.path.empty()) url.path = "/";
  *out = std::move(url);
  return true;
}

std::string HostHeader(const HttpUrl& url) {
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  if (url.port != 80) host += ":" + std::to_string(url.port);
  return host;
}

std::string AbsoluteForm(const HttpUrl& url) { return "http://" + HostHeader(url) + url.path; }

bool ParseProxy(std::string_view server, std::string_view port, ProxyAddress* out) {
  while (!server.empty() && server.front() == ' ') server.remove_prefix(1);
  while (!server.empty() && server.back() == ' ') server.remove_suffix(1);
  while (!port.empty() && port.front() == ' ') port.remove_prefix(1);
  while (!port.empty() && port.back() == ' ') port.remove_suffix(1);
  if (StartsWithNoCase(server, "http://")) server.remove_prefix(7);
  if (!server.empty() && server.back() == '/') server.remove_suffix(1);
  if (server.empty() || HasUnsafe(server)) return false;
  ProxyAddress proxy;
  if (!ParseAuthority(server, &proxy.host, &proxy.port, 80)) return false;
  if (!port.empty() && !ParsePort(port, &proxy.port)) return false;
  *out = std::move(proxy);
  return true;
}

}  // namespace corvane::install
