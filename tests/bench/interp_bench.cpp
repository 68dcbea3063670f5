// The interpreter's hot paths: the dispatch loop over a large generated script (with the refresh
// of the engine-controlled variables before every command) and the expansion of a parameter.
#include <benchmark/benchmark.h>

#include <string>

#include "image/script_image.h"
#include "interp/interpreter.h"
#include "interp/testing/test_platform.h"
#include "tools/corvane-image/script_text.h"

namespace {

using namespace corvane;

// 100,000 commands: Set Variable with references, If / Else If / Else / End blocks whose
// branches are taken and skipped, nested Ifs, and labels jumped to with GoTo Label.
std::string GenerateScript(int commands) {
  std::string s;
  s.reserve(static_cast<size_t>(commands) * 48);
  s += "Set Variable \"BASE\" \"C:\\Program Files\\Example\"\n";
  s += "Set Variable \"MODE\" \"full\"\n";
  s += "Set Variable \"COUNT\" \"7\"\n";
  int n = 3;
  int group = 0;
  while (n + 20 <= commands) {
    const std::string g = std::to_string(group);
    s += "Set Variable \"V" + std::to_string(group % 64) + "\" \"$BASE$\\part" + g + "\\$MODE$\"\n";
    s += "If \"MODE\" \"0\" \"full\" \"FALSE\"\n";  // taken
    s += "  Set Variable \"PATH\" \"$BASE$\\bin\\$COUNT$\"\n";
    s += "  If \"COUNT\" \"2\" \"10\" \"FALSE\"\n";  // skipped (7 > 10 is false)
    s += "    Set Variable \"NEVER\" \"1\"\n";
    s += "    Set Variable \"NEVER\" \"2\"\n";
    s += "  End\n";
    s += "Else If \"MODE\" \"0\" \"lite\" \"FALSE\"\n";  // skipped to End
    s += "  Set Variable \"PATH\" \"lite\"\n";
    s += "Else\n";
    s += "  Set Variable \"PATH\" \"other\"\n";
    s += "End\n";
    s += "If \"MODE\" \"0\" \"lite\" \"FALSE\"\n";  // false: Else If is evaluated
    s += "  Set Variable \"X\" \"1\"\n";
    s += "Else If \"COUNT\" \"3\" \"7\" \"FALSE\"\n";
    s += "  Set Variable \"X\" \"$COUNT$-$MODE$\"\n";
    s += "End\n";
    s += "GoTo Label \"L" + g + "\"\n";
    s += "Set Variable \"JUMPED\" \"no\"\n";
    s += "Label \"L" + g + "\"\n";
    n += 20;
    ++group;
  }
  while (n++ < commands) s += "Comment \"filler\"\n";
  return s;
}

class BenchDialogs : public interp::DialogHost {
 public:
  int DisplayDialog(interp::CommandContext&) override { return 6; }
  void ProcessPendingMessages() override {}
  bool IsDialogShowing() override { return false; }
  void RefreshProgress(const std::string&, int) override {}
  void SetTaskbarError() override {}
  void RestoreTaskbar() override {}
  void CloseAll() override {}
};

class BenchCache : public interp::EngineCacheHooks {
 public:
  std::string GetCacheRoot(bool) override { return "C:\\ProgramData\\Cache\\"; }
  bool ApplyCacheOverride(const std::string&) override { return false; }
  std::string InstalledUninstallCommand(bool) override { return ""; }
};

const image::ScriptImage& LargeImage() {
  static image::ScriptImage* image = [] {
    auto* img = new image::ScriptImage();
    tools::TextCompileResult r = tools::CompileScriptText(GenerateScript(100000), "bench.zel");
    if (!r.ok || !image::ParseScriptImage(r.image, img).ok()) std::abort();
    return img;
  }();
  return *image;
}

void StandardVariables(interp::Session& s) {
  interp::Variables& v = s.variables;
  for (const char* name :
       {"LOGGED", "TITLE", "VORTLOGO", "OVERRIDECACHE", "PROGRESSTEXT", "LANGUAGE", "TARGETDIR"}) {
    v.DefineVariable(name, "", "Initialization");
  }
  v.DefineVariable("SILENT", "FALSE", "Initialization");
  v.DefineVariable("ALLUSERS", "TRUE", "Initialization");
  v.DefineVariable("PROGRESS", "0", "Initialization");
  v.DefineVariable("ABORT", "FALSE", "Initialization");
}

// The whole run: compile pass, label table, dispatch loop with the refresh before each command.
void BM_InterpretScript(benchmark::State& state) {
  const image::ScriptImage& image = LargeImage();
  interp::testing::TestPlatform platform;
  BenchDialogs dialogs;
  BenchCache cache;
  interp::RunSteps steps;
  steps.prepare = [](interp::Session& s) {
    interp::DefineBackgroundVariables(s);
    return true;
  };
  steps.initialize = [](interp::Session& s) {
    StandardVariables(s);
    return true;
  };
  for (auto _ : state) {
    interp::Session session(platform, image);
    session.dialogs = &dialogs;
    session.cache = &cache;
    interp::RunResult r = interp::InterpretScript(session, steps);
    if (r.ending != interp::RunEnding::kEndOfScript) state.SkipWithError("run failed");
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(image.command_count()));
}
BENCHMARK(BM_InterpretScript)->Unit(benchmark::kMillisecond);

// The compile pass alone, to tell its share from the loop's.
void BM_CompileScript(benchmark::State& state) {
  const image::ScriptImage& image = LargeImage();
  interp::testing::TestPlatform platform;
  for (auto _ : state) {
    interp::Session session(platform, image);
    interp::CompileResult r = interp::CompileScript(session);
    if (!r.ok()) state.SkipWithError(r.message.c_str());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(image.command_count()));
}
BENCHMARK(BM_CompileScript)->Unit(benchmark::kMillisecond);

// A 200-character parameter holding five references.
void BM_ExpandParameter(benchmark::State& state) {
  interp::Variables v;
  v.SetVariable("TARGETDIR", "C:\\Program Files\\Example Application", "b");
  v.SetVariable("PRODUCTCODE", "{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}", "b");
  v.SetVariable("VERSION", "1.0.0", "b");
  v.SetVariable("LANGUAGE", "English", "b");
  v.SetVariable("USERNAME", "Alice", "b");
  for (int i = 0; i < 100; ++i) v.SetVariable("FILL" + std::to_string(i), "x", "b");
  std::string text =
      "/i \"$TARGETDIR$\\setup.msi\" PRODUCT=$PRODUCTCODE$ VERSION=$VERSION$ LANG=$LANGUAGE$ "
      "USER=$USERNAME$ /qb /norestart";
  while (text.size() < 200) text += " /x";
  text.resize(200);
  for (auto _ : state) benchmark::DoNotOptimize(v.ExpandVariables(text));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandParameter);

}  // namespace

BENCHMARK_MAIN();
