// Loading a script image and fetching every parameter of every command: the cost per command
// must not grow with the size of the script.
#include <benchmark/benchmark.h>

#include "image/script_image.h"
#include "tools/corvane-image/script_text.h"

namespace {

using namespace corvane;

std::string MakeImage(int commands) {
  tools::ScriptSource s;
  s.title = "Bench";
  for (int i = 0; i < commands; ++i) {
    tools::ScriptCommand c;
    c.source_file = "C:\\bench.zel";
    c.line = i;
    switch (i % 4) {
      case 0:
        c.name = "Set Variable";
        c.params = {"VAR" + std::to_string(i), "value $VAR" + std::to_string(i - 1) + "$ text"};
        break;
      case 1:
        c.name = "If";
        c.params = {"$VAR" + std::to_string(i - 1) + "$", "=", "x"};
        break;
      case 2:
        c.name = "Write Registry";
        c.header = "0000" + std::to_string(1000 + i % 9000);
        c.params = {"HKEY_LOCAL_MACHINE", "Software\\Bench", "Name" + std::to_string(i), "v"};
        break;
      default:
        c.name = "End";
        break;
    }
    s.commands.push_back(c);
  }
  std::string image, error;
  tools::BuildScriptImage(s, &image, &error);
  return image;
}

void BM_LoadAndFetchEveryParameter(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string bytes = MakeImage(n);
  size_t fetched = 0;
  for (auto _ : state) {
    image::ScriptImage image;
    image::ParseScriptImage(bytes, &image);
    for (long i = 0; i < n; ++i) {
      const std::string_view id = image::CommandId(image, i);
      const std::string_view name = image::CommandName(image, i);
      int params = name == "Set Variable" ? 2 : name == "If" ? 3 : name == "End" ? 0 : 4;
      for (int p = 1; p <= params; ++p) {
        benchmark::DoNotOptimize(image::GetCommandParameter(image, id, p));
        ++fetched;
      }
      benchmark::DoNotOptimize(image::IsCommandDisabled(image, i));
      if (name == "Write Registry")
        benchmark::DoNotOptimize(image::GetCommandHeader(image, i, true));
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_LoadAndFetchEveryParameter)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

// The load alone, to tell the two phases apart.
namespace {
void BM_LoadOnly(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string bytes = MakeImage(n);
  for (auto _ : state) {
    corvane::image::ScriptImage image;
    corvane::image::ParseScriptImage(bytes, &image);
    benchmark::DoNotOptimize(image.parameter_pool.IndexOf("x"));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_LoadOnly)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
}
BENCHMARK_MAIN();
