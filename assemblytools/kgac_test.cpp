// The assembly tools under Wine against a stand-in of a framework's cache library
// (test_fusion.c): the framework version their configuration files name, the library loaded from
// the framework's install root, the assembly name handed on as written, and the exit code of
// every answer of the cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char kFrameworkKey[] = "SOFTWARE\\Microsoft\\.NETFramework";

std::string OwnFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\'));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Removes a folder this test made, with everything in it.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

class AssemblyTools : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    scratch_ = std::string(temp) + "kgac-test-" + std::to_string(GetCurrentProcessId());
    RemoveTree(scratch_);
    ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((scratch_ + "\\root").c_str(), nullptr));
    const std::string built = OwnFolder();
    for (const char* file : {"kgacy.exe", "kgac.exe", "kgacy.exe.config", "kgac.exe.config"}) {
      ASSERT_TRUE(CopyFileA((built + "\\" + file).c_str(), (scratch_ + "\\" + file).c_str(), FALSE))
          << file;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    char value[MAX_PATH];
    DWORD size = sizeof value, type = 0;
    had_root_ = RegQueryValueExA(key, "InstallRoot", nullptr, &type,
                                 reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    if (had_root_) old_root_.assign(value, size > 0 ? size - 1 : 0);
    RegCloseKey(key);
  }

  void TearDown() override {
    if (had_root_) {
      SetInstallRoot(old_root_);
    } else {
      ClearInstallRoot();
    }
    RemoveTree(scratch_);
  }

  void SetInstallRoot(const std::string& root) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "InstallRoot", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                   static_cast<DWORD>(root.size() + 1));
    RegCloseKey(key);
  }
  void ClearInstallRoot() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
      return;
    }
    RegDeleteValueA(key, "InstallRoot");
    RegCloseKey(key);
  }

  // The stand-in cache library as the fusion.dll of a framework version below the scratch root.
  void Plant(const std::string& version) {
    const std::string folder = scratch_ + "\\root\\" + version;
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((OwnFolder() + "\\test_fusion.dll").c_str(),
                          (folder + "\\fusion.dll").c_str(), FALSE));
  }
  // The names the cache of a version was asked to remove.
  std::vector<std::string> Calls(const std::string& version) {
    std::vector<std::string> lines;
    std::string text = ReadText(scratch_ + "\\root\\" + version + "\\calls.txt");
    size_t at = 0;
    while (at < text.size()) {
      size_t lf = text.find('\n', at);
      lines.push_back(text.substr(at, lf - at));
      if (lf == std::string::npos) break;
      at = lf + 1;
    }
    return lines;
  }

  DWORD Run(const std::string& tool, const std::string& arguments) {
    std::string line = "\"" + scratch_ + "\\" + tool + "\"" + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        scratch_.c_str(), &si, &pi)) {
      ADD_FAILURE() << "cannot start " << line;
      return 0xFFFFFFFF;
    }
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
  }

  std::string scratch_;
  bool had_root_ = false;
  std::string old_root_;
};

// Each tool works on the cache of the version its configuration file names, and only there.
TEST_F(AssemblyTools, EachToolUsesTheCacheOfItsConfiguredVersion) {
  SetInstallRoot(scratch_ + "\\root\\");
  EXPECT_EQ(Run("kgacy.exe", " /u Example.Core,Version=1.2.0.0"), 3u) << "no cache there yet";
  Plant("v4.0.30319");
  EXPECT_EQ(Run("kgacy.exe", " /u Example.Core,Version=1.2.0.0"), 0u);
  EXPECT_EQ(Calls("v4.0.30319"), std::vector<std::string>{"Example.Core,Version=1.2.0.0"});
  EXPECT_EQ(Run("kgac.exe", " /u Example.Old,Version=1.0.0.0"), 3u) << "the older cache is not there";
  Plant("v2.0.50727");
  EXPECT_EQ(Run("kgac.exe", " /u Example.Old,Version=1.0.0.0"), 0u);
  EXPECT_EQ(Calls("v2.0.50727"), std::vector<std::string>{"Example.Old,Version=1.0.0.0"});
  EXPECT_EQ(Calls("v4.0.30319").size(), 1u);

  // The configuration file decides: kgacy.exe told to use the older framework goes there.
  const std::string config = scratch_ + "\\kgacy.exe.config";
  std::string text = ReadText(config);
  text.replace(text.find("v4.0.30319"), 10, "v2.0.50727");
  WriteText(config, text);
  EXPECT_EQ(Run("kgacy.exe", " /u Example.Moved,Version=3.0.0.0"), 0u);
  EXPECT_EQ(Calls("v2.0.50727").back(), "Example.Moved,Version=3.0.0.0");
  // A version that is not one (a path) is not used as a folder name: the built-in one is.
  WriteText(config, "<configuration><startup><supportedRuntime version=\"..\\..\\x\"/>"
                    "</startup></configuration>");
  EXPECT_EQ(Run("kgacy.exe", " /u Example.Safe,Version=1.0.0.0"), 0u);
  EXPECT_EQ(Calls("v4.0.30319").back(), "Example.Safe,Version=1.0.0.0");
  // Without a configuration file the built-in version serves as well.
  DeleteFileA((scratch_ + "\\kgac.exe.config").c_str());
  EXPECT_EQ(Run("kgac.exe", " /u Example.Bare,Version=1.0.0.0"), 0u);
  EXPECT_EQ(Calls("v2.0.50727").back(), "Example.Bare,Version=1.0.0.0");
}

// The cache's answers become the exit codes that make Remove Assemblies try the next tool.
TEST_F(AssemblyTools, ExitCodesFollowTheCachesAnswer) {
  SetInstallRoot(scratch_ + "\\root");  // without its trailing backslash
  Plant("v4.0.30319");
  EXPECT_EQ(Run("kgacy.exe", " /u Gone.Lib,Version=1.0.0.0"), 1u);
  EXPECT_EQ(Run("kgacy.exe", " /u Busy.Lib,Version=1.0.0.0"), 2u);
  EXPECT_EQ(Run("kgacy.exe", " /u Kept.Lib,Version=1.0.0.0"), 2u);
  EXPECT_EQ(Run("kgacy.exe", " /u Pending.Lib,Version=1.0.0.0"), 0u);
  EXPECT_EQ(Run("kgacy.exe", " /u Bad"), 4u);
  // A name with blanks arrives whole, in quotes or not, without them.
  EXPECT_EQ(Run("kgacy.exe", " /u \"My Lib, Version=1.0.0.0\""), 0u);
  EXPECT_EQ(Run("kgacy.exe", "   -U   My Other Lib, Version=2.0.0.0  "), 0u);
  // No assembly named: nothing is asked.
  EXPECT_EQ(Run("kgacy.exe", ""), 4u);
  EXPECT_EQ(Run("kgacy.exe", " /u"), 4u);
  EXPECT_EQ(Run("kgacy.exe", " /x Example"), 4u);
  EXPECT_EQ(Calls("v4.0.30319"),
            (std::vector<std::string>{"Gone.Lib,Version=1.0.0.0", "Busy.Lib,Version=1.0.0.0",
                                      "Kept.Lib,Version=1.0.0.0", "Pending.Lib,Version=1.0.0.0",
                                      "Bad", "My Lib, Version=1.0.0.0",
                                      "My Other Lib, Version=2.0.0.0"}));
}

// Without a framework (this machine has none) both tools end with 3 and touch nothing.
TEST_F(AssemblyTools, WithoutAFrameworkTheToolsReportNoCache) {
  ClearInstallRoot();
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  if (GetFileAttributesA((std::string(windows) + "\\Microsoft.NET\\Framework64\\v4.0.30319\\fusion.dll")
                             .c_str()) != INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system has the framework";
  }
  EXPECT_EQ(Run("kgacy.exe", " /u Example.Core,Version=1.2.0.0"), 3u);
  EXPECT_EQ(Run("kgac.exe", " /u Example.Core,Version=1.2.0.0"), 3u);
}

}  // namespace
