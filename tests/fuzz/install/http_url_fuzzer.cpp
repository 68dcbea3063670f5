// Fuzz target for the addresses of the HTTP client: download addresses, redirect targets and the
// proxy fields. Whatever is accepted must be safe to put into a request line and headers (no
// blanks or control characters), have a host and a port from 1, and give the same parts when its
// absolute form is read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "install/http_url.h"

using namespace corvane::install;

namespace {

void CheckSafe(std::string_view s) {
  for (unsigned char c : s) {
    if (c <= 0x20 || c == 0x7F) std::abort();
  }
}

void CheckUrl(const HttpUrl& u) {
  if (u.host.empty() || u.port == 0 || u.path.empty() || u.path[0] != '/') std::abort();
  CheckSafe(u.host);
  CheckSafe(u.path);
  CheckSafe(HostHeader(u));
  HttpUrl again;
  if (!ParseHttpUrl(AbsoluteForm(u), &again)) std::abort();
  if (again.host != u.host || again.port != u.port || again.path != u.path) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  // Up to three fields separated by newlines: an address, a redirect target, a proxy port.
  const size_t a = input.find('\n');
  const std::string first = input.substr(0, a);
  const std::string second = a == std::string::npos ? "" : input.substr(a + 1);
  const size_t b = second.find('\n');
  const std::string location = second.substr(0, b);
  const std::string port = b == std::string::npos ? "" : second.substr(b + 1);

  HttpUrl url;
  if (ParseHttpUrl(first, &url)) {
    CheckUrl(url);
    HttpUrl next;
    if (ResolveLocation(url, location, &next)) CheckUrl(next);
  }
  ProxyAddress proxy;
  if (ParseProxy(first, port, &proxy)) {
    if (proxy.host.empty() || proxy.port == 0) std::abort();
    CheckSafe(proxy.host);
  }
  return 0;
}
