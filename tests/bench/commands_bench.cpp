// The recursive file search of Find All Files over 20,000 files in 2,000 folders of a simulated
// machine, with the worker's progress publication, and the delimited text of its result.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "commands/file_search.h"
#include "interp/variables.h"
#include "platform/sim/sim_platform.h"
#include "ui/wait_loop.h"

namespace {

using namespace corvane;

struct Tree {
  Tree() {
    host = (std::filesystem::temp_directory_path() / ("corvane-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::remove_all(host);
    platform::SimOptions options;
    options.machine_folder = host;
    options.save_registry_on_exit = false;
    machine = platform::CreateSimPlatform(options);
    platform::FileSystem& fs = machine->files();
    fs.CreateDirectories("C:\\big");
    for (int d = 0; d < 20; ++d) {
      std::string dir = "C:\\big\\d" + std::to_string(d);
      fs.CreateDirectory(dir);
      for (int s = 0; s < 100; ++s) {
        std::string sub = s == 99 ? dir : dir + "\\s" + std::to_string(s);
        if (s != 99) fs.CreateDirectory(sub);
        for (int i = 0; i < 10; ++i) fs.WriteFile(sub + "\\file " + std::to_string(i) + ".dat", "");
      }
    }
  }
  ~Tree() {
    machine.reset();
    std::filesystem::remove_all(host);
  }
  std::string host;
  std::unique_ptr<platform::SimPlatform> machine;
};

void BM_FindAllFilesSearch(benchmark::State& state) {
  static Tree tree;
  interp::TVariableManager store;
  ui::ProgressChannel progress(store, tree.machine->system());
  size_t found_count = 0;
  for (auto _ : state) {
    commands::SearchOptions o;
    o.recurse = true;
    o.include_folders = true;
    int counter = 0;
    o.on_folder = [&] { progress.Publish("$IGNORE$", 0, 100, counter = (counter + 1) % 101); };
    o.on_file = [&](const std::string& path) { progress.Publish(path, 0, 0, -1); };
    std::vector<std::string> found;
    commands::SearchFiles(tree.machine->files(), "C:\\big\\*.*", o, &found);
    std::string text = commands::DelimitedText(found);
    benchmark::DoNotOptimize(text);
    found_count = found.size();
  }
  state.counters["entries"] = static_cast<double>(found_count);
}
BENCHMARK(BM_FindAllFilesSearch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
