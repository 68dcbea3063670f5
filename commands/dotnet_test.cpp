// The .NET commands as scripts: natively against framework folders of the simulated machine whose
// tools are stand-ins that record how they were started, under Wine on a machine without any
// framework, where every tool is missing and the commands fall through all three quietly.
#include "commands/dotnet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#ifndef _WIN32
#include "platform/sim/sim_platform.h"
#endif

namespace corvane::commands {
namespace {

using platform::Status;
using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

TEST(StrongNames, NameVersionAndTokenMakeTheCachePath) {
  StrongName n;
  ASSERT_TRUE(ParseStrongName("Foo, Version=1.2.3.4, Culture=neutral, PublicKeyToken=ab12", &n));
  EXPECT_EQ(n.name, "Foo");
  EXPECT_EQ(n.version, "1.2.3.4");
  EXPECT_EQ(n.token, "ab12");
  EXPECT_EQ(CachedAssemblyPath(n), "Foo\\1.2.3.4__ab12\\Foo.dll");
  // The token ends at the next comma: what follows it is not part of the folder's name.
  ASSERT_TRUE(ParseStrongName(
      "Bar.Core,version=2.0.0.0,publicKeyToken=cd34 , processorArchitecture=MSIL", &n));
  EXPECT_EQ(CachedAssemblyPath(n), "Bar.Core\\2.0.0.0__cd34\\Bar.Core.dll");
  // Paths and names without both entries are no strong names.
  for (const char* text : {"C:\\x\\a.dll", "a.dll", "Foo, Version=1.0", "Foo, PublicKeyToken=ab",
                           "dir\\Foo, Version=1.0, PublicKeyToken=ab",
                           ", Version=1, "
                           "PublicKeyToken=ab"}) {
    EXPECT_FALSE(ParseStrongName(text, &n)) << text;
  }
  EXPECT_EQ(FrameworkTool("C:\\Windows\\", kFrameworkVersions[1], "regasm.exe"),
            "C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\regasm.exe");
}

class DotNetCommands : public ::testing::Test {
 protected:
  DotNetCommands() {
    windows_ = machine_.platform().system().WindowsFolder();
    if (!windows_.empty() && windows_.back() == '\\') windows_.pop_back();
    vars_["ROOT"] = machine_.root();
  }

  CommandRun Run(const std::string& text) {
    script_.predefined.clear();
    for (const auto& [name, value] : vars_) script_.predefined.emplace_back(name, value);
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    EXPECT_FALSE(run.Failed()) << run.result.failure;
    return run;
  }

  void WriteAt(const std::string& path, const std::string& contents) {
    platform::FileSystem& files = machine_.platform().files();
    files.CreateDirectories(path.substr(0, path.find_last_of('\\')));
    ASSERT_EQ(files.WriteFile(path, contents), Status::kOk) << path;
  }

#ifndef _WIN32
  // A framework tool of the simulated machine that ends with `exit`.
  void Tool(const char* version, const char* tool, int exit) {
    WriteAt(FrameworkTool(windows_, version, tool),
            "[program]\nexit = " + std::to_string(exit) + "\n");
  }
  platform::sim::SimProcesses& sim() {
    return dynamic_cast<platform::SimPlatform&>(machine_.platform()).sim_processes();
  }
  // The tools started: "version\tool arguments" (version folder and file name), and their folders.
  std::vector<std::string> Started(std::set<std::string>* folders = nullptr) {
    std::vector<std::string> out;
    for (const auto& s : sim().Starts()) {
      const size_t file = s.path.find_last_of('\\');
      const size_t version = s.path.find_last_of('\\', file - 1);
      out.push_back(s.path.substr(version + 1) + " " + s.command_line);
      if (folders != nullptr) folders->insert(s.folder);
    }
    return out;
  }
#endif

  TestMachine machine_;
  CommandScript script_{machine_.platform()};
  std::map<std::string, std::string> vars_;
  std::string windows_;
};

#ifndef _WIN32
// Each tool falls back from the newest framework to the oldest while it ends with another code than
// 0, with its own arguments; the 1.1 ngen.exe takes no verb to install and "/delete" to remove. A
// tool that succeeds ends the fallback.
TEST_F(DotNetCommands, ToolsFallBackThroughTheFrameworks) {
  for (const char* v : kFrameworkVersions) {
    Tool(v, "ngen.exe", 1);
    Tool(v, "installutil.exe", 1);
    Tool(v, "regasm.exe", 5);
  }
  Tool(kFrameworkVersions[1], "installutil.exe", 0);  // v2 succeeds: no 1.1 run
  WriteAt("C:\\x\\a.dll", "assembly");
  std::set<std::string> folders;
  Run(R"(
Generate Native Images "C:\x\a.dll"
Generate Native Images "C:\x\a.dll|FALSE"
Run .NET Installer Class "C:\x\a.dll" "FALSE"
Register Assembly "C:\x\a.dll|TRUE|TRUE"
Register Assembly "C:\x\a.dll|FALSE"
)");
  EXPECT_EQ(Started(&folders), (std::vector<std::string>{
                                   R"(v4.0.30319\ngen.exe install "C:\x\a.dll")",
                                   R"(v2.0.50727\ngen.exe install "C:\x\a.dll")",
                                   R"(v1.1.4322\ngen.exe "C:\x\a.dll")",
                                   R"(v4.0.30319\ngen.exe uninstall "C:\x\a.dll")",
                                   R"(v2.0.50727\ngen.exe uninstall "C:\x\a.dll")",
                                   R"(v1.1.4322\ngen.exe /delete "C:\x\a.dll")",
                                   R"(v4.0.30319\installutil.exe /u "C:\x\a.dll")",
                                   R"(v2.0.50727\installutil.exe /u "C:\x\a.dll")",
                                   R"(v4.0.30319\regasm.exe /tlb /codebase "C:\x\a.dll" /silent)",
                                   R"(v2.0.50727\regasm.exe /tlb /codebase "C:\x\a.dll" /silent)",
                                   R"(v1.1.4322\regasm.exe /tlb /codebase "C:\x\a.dll" /silent)",
                                   R"(v4.0.30319\regasm.exe /tlb /unregister "C:\x\a.dll" /silent)",
                                   R"(v2.0.50727\regasm.exe /tlb /unregister "C:\x\a.dll" /silent)",
                                   R"(v1.1.4322\regasm.exe /tlb /unregister "C:\x\a.dll" /silent)",
                               }));
  // Hidden, in the assembly's folder.
  EXPECT_EQ(folders, (std::set<std::string>{"C:\\x\\"}));
  for (const auto& s : sim().Starts()) EXPECT_EQ(s.show, platform::show::kHide);
}

// An assembly written as a strong name is registered from the first cache folder that holds it;
// one that no cache holds starts no tool at all.
TEST_F(DotNetCommands, StrongNamesAreFoundInTheAssemblyCache) {
  Tool(kFrameworkVersions[0], "regasm.exe", 0);
  const std::string in_cache = "\\Foo\\1.2.3.4__ab12\\Foo.dll";
  WriteAt(windows_ + "\\assembly\\GAC_32" + in_cache, "32");
  WriteAt(windows_ + "\\assembly\\GAC" + in_cache, "old");
  CommandRun run = Run(R"(
Register Assembly "Foo, Version=1.2.3.4, Culture=neutral, PublicKeyToken=ab12|TRUE"
Register Assembly "Foo, Version=9.9.9.9, Culture=neutral, PublicKeyToken=ab12|TRUE"
)");
  const std::string path = windows_ + "\\assembly\\GAC_32" + in_cache;
  EXPECT_EQ(Started(),
            (std::vector<std::string>{"v4.0.30319\\regasm.exe /tlb \"" + path + "\" /silent"}));
  EXPECT_TRUE(std::any_of(run.trace.begin(), run.trace.end(), [](const std::string& line) {
    return line.find("9.9.9.9") != std::string::npos;
  }));
}

// Remove Assemblies writes both tools with their configuration files into the support folder and
// runs them on the database's assemblies; without a database nothing is removed and nothing is
// stored.
TEST_F(DotNetCommands, RemoveAssembliesWritesItsToolsIntoTheSupportFolder) {
  vars_["SUPPORTDIR"] = machine_.root() + "\\support";
  machine_.platform().files().CreateDirectories(vars_["SUPPORTDIR"]);
  vars_["MSIFILE"] = machine_.root() + "\\missing.msi";
  Run("Remove Assemblies\n");
  for (const char* file : {"kgacy.exe", "kgacy.exe.config", "kgac.exe", "kgac.exe.config"}) {
    EXPECT_TRUE(machine_.Exists(std::string("support\\") + file)) << file;
  }
  EXPECT_NE(machine_.Read("support\\kgacy.exe.config").find("v4.0.30319"), std::string::npos);
  EXPECT_NE(machine_.Read("support\\kgac.exe.config").find("v2.0.50727"), std::string::npos);
  EXPECT_TRUE(sim().Starts().empty());  // a database without assemblies runs no tool

  // A support folder that is not a full path gets nothing written.
  vars_["SUPPORTDIR"] = "support";
  Run("Remove Assemblies\n");
  EXPECT_FALSE(machine_.Exists("kgacy.exe"));
}
#endif

// Without any framework every tool is missing: the commands try all three, fail quietly and store
// nothing (the same variables as a script that runs none of them).
TEST_F(DotNetCommands, WithoutAFrameworkNothingIsStored) {
  machine_.Write("x\\a.dll", "assembly");
  CommandRun plain = Run("Set Variable \"DONE\" \"1\"\n");
  CommandRun run = Run(R"(
Generate Native Images "$ROOT$\x\a.dll"
Run .NET Installer Class "$ROOT$\x\a.dll" "TRUE"
Register Assembly "$ROOT$\x\a.dll|TRUE|TRUE"
Register Assembly "Foo, Version=1.2.3.4, Culture=neutral, PublicKeyToken=ab12"
Set Variable "DONE" "1"
)");
  std::set<std::string> before, after;
  for (const auto& [name, value] : plain.variables) before.insert(name);
  for (const auto& [name, value] : run.variables) after.insert(name);
  EXPECT_EQ(after, before);
  EXPECT_EQ(run.Var("DONE"), "1");
}

// The installer-table commands record their activation and value slots: a driver its parameter
// 4, an assembly its parameter 3 (both path-expanded); a data source only its activation.
TEST_F(DotNetCommands, InstallerTableCommandsRecordTheirSlots) {
  CommandRun run =
      Run("[header 0C000001] Create ODBC DSN \"x\" \"y\"\n"
          "[header 0C000002] Install ODBC Driver \"a\" \"b\" \"c\" \"$ROOT$\\\\drv\\\\d.dll\"\n"
          "[header 0C000003] Install Assembly \"a\" \"b\" \"$ROOT$\\\\asm\"\n");
  for (const std::string& p :
       {std::string("A0C000001=TRUE"), std::string("A0C000002=TRUE"),
        "P0C000002_1=" + machine_.root() + "\\drv\\d.dll", std::string("A0C000003=TRUE"),
        "P0C000003_1=" + machine_.root() + "\\asm"}) {
    EXPECT_NE(std::find(run.properties.begin(), run.properties.end(), p), run.properties.end())
        << p;
  }
  for (const std::string& p : run.properties) EXPECT_NE(p.rfind("P0C000001_", 0), 0u) << p;
}

}  // namespace
}  // namespace corvane::commands
