// Extracts one archive the way Extract 7Zip Archive does (its job, through the run's archive
// access and the library's exported operations) onto a simulated machine, and prints the
// seconds taken and the peak resident memory of the process:
//
//   extract_measure ARCHIVE MACHINE_FOLDER LIBRARY
//
// scripts/measure-extract runs it beside "7zz x -mmt=1" on the same archive.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "install/archive_access.h"
#include "install/media_jobs.h"
#include "interp/variables.h"
#include "platform/sim/sim_platform.h"

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc != 4) {
    std::fprintf(stderr, "usage: extract_measure ARCHIVE MACHINE_FOLDER LIBRARY\n");
    return 2;
  }
  platform::SimOptions options;
  options.machine_folder = argv[2];
  options.save_registry_on_exit = false;
  auto machine = platform::CreateSimPlatform(options);
  // The archive is the machine's C:\block.7z.
  std::filesystem::copy_file(argv[1], machine->HostPath("C:\\block.7z"),
                             std::filesystem::copy_options::overwrite_existing);
  std::string error;
  std::shared_ptr<const install::ArchiveLibrary> library =
      install::ArchiveLibrary::Load(argv[3], &error);
  if (!library) {
    std::fprintf(stderr, "extract_measure: %s\n", error.c_str());
    return 1;
  }
  install::RunArchive::Options o;
  platform::SimPlatform* m = machine.get();
  o.library_path = [m](const std::string& p) { return m->HostPath(p).string(); };
  o.mark_keeper = &machine->files();
  auto archive = std::make_shared<install::RunArchive>(library, "", o);
  install::DirectExtractJob::Fields f;
  f.archive = "C:\\block.7z";
  f.destination = "C:\\Out";
  f.answer = true;
  f.keep_folders = true;
  install::DirectExtractJob job(*machine, archive, f);
  interp::TVariableManager store;
  ui::ProgressChannel channel(store, machine->system());
  const auto start = std::chrono::steady_clock::now();
  job.Work(channel);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("result=%s seconds=%.3f peak_rss_kb=%ld last=\"%s\"\n",
              job.succeeded() ? "SUCCESS" : job.error().c_str(), seconds, usage.ru_maxrss,
              store.Get("VORT_thProgressText").c_str());
  return job.succeeded() ? 0 : 1;
}
