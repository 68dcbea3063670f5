// Get System Settings of every setting number on a simulated machine, one script command per
// iteration (the compile pass runs once; each iteration dispatches the command).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "interp/testing/script_harness.h"
#include "platform/sim/sim_platform.h"

namespace {

using namespace corvane;

struct SimMachine {
  SimMachine() {
    host = (std::filesystem::temp_directory_path() /
            ("corvane-sysinfo-bench-" + std::to_string(::getpid())))
               .string();
    std::filesystem::remove_all(host);
    platform::SimOptions options;
    options.machine_folder = host;
    options.save_registry_on_exit = false;
    machine = platform::CreateSimPlatform(options);
  }
  ~SimMachine() {
    machine.reset();
    std::filesystem::remove_all(host);
  }
  std::string host;
  std::unique_ptr<platform::SimPlatform> machine;
};

// A script of `repeat` Get System Settings commands of one setting: the time per command is the
// run's time divided by `repeat` (the session start is shared by all of them).
void BM_GetSystemSettings(benchmark::State& state) {
  static SimMachine sim;
  const int setting = static_cast<int>(state.range(0));
  constexpr int kRepeat = 200;
  std::string text;
  for (int i = 0; i < kRepeat; ++i) {
    text += "Get System Settings \"R\" \"" + std::to_string(setting) + "\"\n";
  }
  interp::testing::ScriptHarness harness;
  harness.target = sim.machine.get();
  for (auto _ : state) {
    interp::testing::ScriptRun run = harness.Run(text);
    if (run.Var("R").empty() && setting != 34 && setting != 36 && setting != 59) {
      state.SkipWithError("no result");
      break;
    }
    benchmark::DoNotOptimize(run);
  }
  state.SetItemsProcessed(state.iterations() * kRepeat);
}
BENCHMARK(BM_GetSystemSettings)->DenseRange(0, 81)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
