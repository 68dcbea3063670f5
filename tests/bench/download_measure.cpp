// Downloads one address with the engine's HTTP client into a simulated machine and prints the
// seconds taken, the bytes written and the peak resident memory of the process:
//
//   download_measure URL MACHINE_FOLDER
//
// scripts/measure-download runs it against the loopback server beside curl on the same file.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "install/http_client.h"
#include "platform/sim/sim_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_measure URL MACHINE_FOLDER\n");
    return 2;
  }
  corvane::platform::SimOptions options;
  options.machine_folder = argv[2];
  options.save_registry_on_exit = false;
  auto machine = corvane::platform::CreateSimPlatform(options);
  machine->files().CreateDirectory("C:\\Cache");
  const std::string target = "C:\\Cache\\block.7zip";
  machine->files().DeleteFile(target);
  corvane::install::HttpClient client(machine->network(), machine->files());
  const auto start = std::chrono::steady_clock::now();
  const auto result = client.Download(argv[1], target, {}, false,
                                      [](int, const std::string&) { return true; });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  uint64_t size = 0;
  machine->files().GetFileSize(target, &size);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("result=%s seconds=%.3f bytes=%llu peak_rss_kb=%ld\n",
              corvane::install::DownloadResultName(result), seconds,
              static_cast<unsigned long long>(size), usage.ru_maxrss);
  return result == corvane::install::DownloadResult::kComplete ? 0 : 1;
}
