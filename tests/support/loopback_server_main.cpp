// The loopback server as a program, for suites that run a setup in another process (Wine) and
// for the download measurements:
//
//   corvane-loopback-server --port-file FILE [--seconds N] [--log FILE] [ROUTE...]
//
// ROUTE is PATH=HOSTFILE[,option...] with options status=N, head=N, noranges, skew=N, cut=N,
// cuts=N, stall=MS, silent, location=URL, nolength. The server listens on 127.0.0.1 with a free
// port, writes the port to FILE, and stops after N seconds (default 600), on SIGTERM, or with
// --stdin when its standard input ends. At the end it writes one line per request to the log file.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/support/loopback_server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

bool ReadWhole(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *out = s.str();
  return true;
}

bool AddRoute(corvane::testing::LoopbackServer& server, const std::string& spec) {
  const size_t eq = spec.find('=');
  if (eq == std::string::npos) return false;
  const std::string path = spec.substr(0, eq);
  std::stringstream rest(spec.substr(eq + 1));
  std::string item;
  corvane::testing::Route route;
  bool first = true;
  while (std::getline(rest, item, ',')) {
    if (first) {
      first = false;
      std::string body;
      if (!item.empty() && !ReadWhole(item, &body)) return false;
      route.body = std::make_shared<const std::string>(std::move(body));
      continue;
    }
    const size_t e = item.find('=');
    const std::string key = item.substr(0, e);
    const std::string value = e == std::string::npos ? "" : item.substr(e + 1);
    const long long n = std::atoll(value.c_str());
    if (key == "status") route.status = static_cast<int>(n);
    else if (key == "head") route.head_status = static_cast<int>(n);
    else if (key == "noranges") route.honour_range = false;
    else if (key == "skew") route.range_skew = n;
    else if (key == "cut") route.cut_at = n;
    else if (key == "cuts") route.cut_count = static_cast<int>(n);
    else if (key == "stall") route.stall_ms = static_cast<int>(n);
    else if (key == "silent") route.close_without_answer = true;
    else if (key == "location") route.location = value;
    else if (key == "nolength") route.announce_length = false;
    else return false;
  }
  server.Serve(path, std::move(route));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string port_file, log_file;
  int seconds = 600;
  bool watch_input = false;
  corvane::testing::LoopbackServer server;
  if (server.port() == 0) {
    std::cerr << "cannot listen on 127.0.0.1\n";
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--port-file" && i + 1 < argc) {
      port_file = argv[++i];
    } else if (a == "--log" && i + 1 < argc) {
      log_file = argv[++i];
    } else if (a == "--stdin") {
      watch_input = true;
    } else if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (!AddRoute(server, a)) {
      std::cerr << "bad route: " << a << "\n";
      return 2;
    }
  }
  if (!port_file.empty()) {
    const std::string temp = port_file + ".new";
    std::ofstream(temp) << server.port() << "\n";
    std::rename(temp.c_str(), port_file.c_str());
  } else {
    std::cout << server.port() << std::endl;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  while (!g_stop && std::chrono::steady_clock::now() < end) {
    if (!watch_input) {
      ::usleep(100 * 1000);
      continue;
    }
    pollfd p{0, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      char c[256];
      if (::read(0, c, sizeof(c)) <= 0) break;
    }
  }
  if (!log_file.empty()) {
    std::ofstream log(log_file);
    for (const auto& r : server.Log()) {
      log << r.method << " " << r.target << " range=" << r.Header("Range") << "\n";
    }
  }
  return 0;
}
