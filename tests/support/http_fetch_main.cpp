// http-fetch: one download with the engine's own HTTP client over the platform's sockets and
// files, for the network suite that runs it under Wine (the Windows sockets) against a loopback
// server on the host.
//
//   http-fetch URL TARGET [--resume] [--proxy SERVER PORT USER PASSWORD] [--idle-ms N]
//              [--stop-after-ms N]
//
// Prints one line: "result=<name> status=<code> size=<bytes in TARGET> ms=<elapsed>"; exits 0
// for a complete download, 1 otherwise, 2 for a bad command line.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "install/http_client.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc < 3) {
    std::fprintf(stderr, "usage: http-fetch URL TARGET [options]\n");
    return 2;
  }
  const std::string url = argv[1], target = argv[2];
  bool resume = false;
  install::ProxyFields proxy;
  install::HttpOptions options;
  long stop_after_ms = -1;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--resume") {
      resume = true;
    } else if (a == "--proxy" && i + 4 < argc) {
      proxy = {argv[i + 1], argv[i + 2], argv[i + 3], argv[i + 4]};
      i += 4;
    } else if (a == "--idle-ms" && i + 1 < argc) {
      options.idle_timeout_ms = std::atoi(argv[++i]);
    } else if (a == "--stop-after-ms" && i + 1 < argc) {
      stop_after_ms = std::atol(argv[++i]);
    } else {
      std::fprintf(stderr, "http-fetch: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  std::unique_ptr<platform::Platform> p = platform::CreateWin32Platform();
  const auto start = std::chrono::steady_clock::now();
  auto elapsed_ms = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  // A user's cancel after a while: the client must end within a slice of its waits.
  if (stop_after_ms >= 0) options.should_stop = [&] { return elapsed_ms() >= stop_after_ms; };
  install::HttpClient client(p->network(), p->files(), options);
  install::DownloadResult r =
      client.Download(url, target, proxy, resume, [](int, const std::string&) { return true; });
  uint64_t size = 0;
  p->files().GetFileSize(target, &size);
  std::printf("result=%s status=%d size=%llu ms=%lld\n", install::DownloadResultName(r),
              client.last_status(), static_cast<unsigned long long>(size),
              static_cast<long long>(elapsed_ms()));
  return r == install::DownloadResult::kComplete ? 0 : 1;
}
