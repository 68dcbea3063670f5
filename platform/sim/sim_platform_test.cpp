#include "platform/sim/sim_platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "platform/path_forms.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

class SimMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/corvane-sim-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder_ = tmpl;
  }
  void TearDown() override { fs::remove_all(folder_); }
  SimOptions Options() {
    SimOptions o;
    o.machine_folder = folder_.string();
    return o;
  }
  fs::path folder_;
};

TEST_F(SimMachine, RegistryAndAttributesSurviveBetweenRuns) {
  {
    auto p = CreateSimPlatform(Options());
    Registry& r = p->registry();
    ASSERT_EQ(r.WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\Keep", "V", RegView::kView32,
                           RegValue::String("kept")), Status::kOk);
    ASSERT_EQ(p->files().WriteFile("C:\\kept.txt", "x"), Status::kOk);
    ASSERT_EQ(p->files().SetAttributes("C:\\kept.txt", attr::kReadOnly | attr::kHidden),
              Status::kOk);
  }
  EXPECT_TRUE(fs::exists(folder_ / "registry.reg"));
  auto p = CreateSimPlatform(Options());
  RegValue v;
  ASSERT_EQ(p->registry().ReadValue(RegRoot::kLocalMachine, "SOFTWARE\\Wow6432Node\\Keep", "V",
                                    RegView::kView64, &v), Status::kOk);
  EXPECT_EQ(v.data, "kept");
  uint32_t a = 0;
  ASSERT_EQ(p->files().GetAttributes("c:\\KEPT.TXT", &a), Status::kOk);
  EXPECT_EQ(a, attr::kReadOnly | attr::kHidden);
  EXPECT_TRUE(p->Warnings().empty()) << p->Warnings();
}

TEST_F(SimMachine, DescriptionAndAnswersFileShapeTheMachine) {
  std::ofstream(folder_ / "machine.txt") << "windows.64bit = false\nuser = Ann\n"
                                            "computer = BOX\ndisk.C.free = 12345\n";
  std::ofstream(folder_ / "answers.txt") << "Cancel\n";
  SimOptions o = Options();
  o.answers_file = (folder_ / "answers.txt").string();
  auto p = CreateSimPlatform(o);
  EXPECT_FALSE(p->system().Is64BitSystem());
  EXPECT_EQ(p->system().ComputerName(), "BOX");
  EXPECT_EQ(p->system().TempFolder(), "C:\\Users\\Ann\\AppData\\Local\\Temp\\");
  EXPECT_TRUE(fs::is_directory(folder_ / "drive_c" / "Users" / "Ann" / "AppData" / "Local" / "Temp"));
  uint64_t free_bytes = 0, total = 0;
  ASSERT_EQ(p->files().GetDiskSpace("C:\\", &free_bytes, &total), Status::kOk);
  EXPECT_EQ(free_bytes, 12345u);
  // On 32-bit Windows there is one registry: no Wow6432Node redirection.
  p->registry().WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\One", "V", RegView::kView32,
                           RegValue::Dword(1));
  EXPECT_EQ(p->registry().KeyExists(RegRoot::kLocalMachine, "SOFTWARE\\One", RegView::kView64),
            Status::kOk);
  EXPECT_EQ(p->ui().MessageBox("Quit?", "Setup", mb::kOkCancel), id::kCancel);
}

TEST_F(SimMachine, ViewsShareTheKeysWindowsShares) {
  auto p = CreateSimPlatform(Options());
  sim::SimRegistry& r = p->sim_registry();
  RegRoot real;
  std::vector<std::string> c;
  r.MapKey(RegRoot::kLocalMachine, "Software\\Policies\\X", RegView::kView32, &real, &c);
  EXPECT_EQ(c, (std::vector<std::string>{"Software", "Policies", "X"}));
  r.MapKey(RegRoot::kClassesRoot, "CLSID\\{1}", RegView::kView32, &real, &c);
  EXPECT_EQ(real, RegRoot::kLocalMachine);
  EXPECT_EQ(c, (std::vector<std::string>{"SOFTWARE", "Wow6432Node", "Classes", "CLSID", "{1}"}));
  r.MapKey(RegRoot::kClassesRoot, ".txt", RegView::kView32, &real, &c);
  EXPECT_EQ(c, (std::vector<std::string>{"SOFTWARE", "Classes", ".txt"}));
  r.MapKey(RegRoot::kLocalMachine, "SOFTWARE\\Wow6432Node\\A", RegView::kView32, &real, &c);
  EXPECT_EQ(c, (std::vector<std::string>{"SOFTWARE", "Wow6432Node", "A"}));
  r.MapKey(RegRoot::kLocalMachine, "SOFTWARE\\A", RegView::kNative, &real, &c);
  EXPECT_EQ(c, (std::vector<std::string>{"SOFTWARE", "Wow6432Node", "A"}));  // a 32-bit process
  r.MapKey(RegRoot::kCurrentUser, "Software\\A", RegView::kView32, &real, &c);
  EXPECT_EQ(c, (std::vector<std::string>{"Software", "A"}));
  // A fresh machine has the program folders of each view.
  RegValue v;
  ASSERT_EQ(p->registry().ReadValue(RegRoot::kLocalMachine,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                    "ProgramFilesDir", RegView::kView32, &v), Status::kOk);
  EXPECT_EQ(v.data, "C:\\Program Files (x86)");
}

TEST_F(SimMachine, HostNamesKeepTheirCaseAndUtf8Form) {
  auto p = CreateSimPlatform(Options());
  FileSystem& f = p->files();
  ASSERT_EQ(f.CreateDirectories("C:\\Caf\xE9\\Sub"), Status::kOk);
  EXPECT_TRUE(fs::is_directory(folder_ / "drive_c" / "Caf\xC3\xA9" / "Sub"));
  ASSERT_EQ(f.WriteFile("c:\\CAF\xC9\\sub\\x.txt", "1"), Status::kOk);
  EXPECT_TRUE(fs::exists(folder_ / "drive_c" / "Caf\xC3\xA9" / "Sub" / "x.txt"));
  EXPECT_EQ(p->HostPath("C:\\caf\xE9\\SUB\\X.TXT"),
            folder_ / "drive_c" / "Caf\xC3\xA9" / "Sub" / "x.txt");
  EXPECT_TRUE(p->HostPath("C:\\missing\\x.txt").empty());
  // Renaming to another letter case changes the stored name.
  ASSERT_EQ(f.MoveFile("C:\\Caf\xE9\\Sub\\x.txt", "C:\\Caf\xE9\\Sub\\X.TXT", false), Status::kOk);
  EXPECT_TRUE(fs::exists(folder_ / "drive_c" / "Caf\xC3\xA9" / "Sub" / "X.TXT"));
  uint32_t a = 0;
  EXPECT_EQ(f.GetAttributes("Q:\\", &a), Status::kNotFound);  // no such drive
  EXPECT_EQ(a, attr::kInvalid);
}

TEST_F(SimMachine, A32BitProcessSeesSysWow64UntilItsThreadSwitchesRedirectionOff) {
  auto p = CreateSimPlatform(Options());
  FileSystem& f = p->files();
  fs::path drive = folder_ / "drive_c" / "Windows";
  ASSERT_TRUE(fs::is_directory(drive / "system32"));
  ASSERT_TRUE(fs::is_directory(drive / "SysWOW64"));
  ASSERT_EQ(f.WriteFile("C:\\Windows\\System32\\a.dll", "32"), Status::kOk);
  EXPECT_TRUE(fs::exists(drive / "SysWOW64" / "a.dll"));
  EXPECT_FALSE(fs::exists(drive / "system32" / "a.dll"));
  ASSERT_EQ(f.CreateDirectory("C:\\Windows\\System32\\catroot"), Status::kOk);
  ASSERT_EQ(f.WriteFile("C:\\Windows\\system32\\CATROOT\\c.cat", "c"), Status::kOk);
  EXPECT_TRUE(fs::exists(drive / "system32" / "catroot" / "c.cat"));  // not redirected
  ASSERT_EQ(f.WriteFile("C:\\Windows\\Sysnative\\b.dll", "64"), Status::kOk);
  EXPECT_TRUE(fs::exists(drive / "system32" / "b.dll"));
  EXPECT_EQ(f.GetFullPath("C:\\Windows\\System32\\a.dll"), "C:\\Windows\\System32\\a.dll");

  ASSERT_EQ(f.SetCurrentDirectory("C:\\Windows\\System32\\"), Status::kOk);
  EXPECT_EQ(f.GetCurrentDirectory(), "C:\\Windows\\System32");  // as named
  EXPECT_TRUE(f.FileExists("a.dll"));                                // and redirected on use
  ASSERT_EQ(f.SetCurrentDirectory("C:\\"), Status::kOk);

  uint64_t old = 99;
  ASSERT_TRUE(f.DisableRedirection(&old));
  EXPECT_EQ(old, 0u);
  EXPECT_FALSE(f.FileExists("C:\\Windows\\System32\\a.dll"));
  EXPECT_TRUE(f.FileExists("C:\\Windows\\System32\\b.dll"));
  EXPECT_FALSE(f.DirectoryExists("C:\\Windows\\Sysnative"));
  // Another thread keeps its own view.
  bool other_sees_wow = false;
  std::thread([&] { other_sees_wow = f.FileExists("C:\\Windows\\System32\\a.dll"); }).join();
  EXPECT_TRUE(other_sees_wow);
  uint64_t inner = 0;
  ASSERT_TRUE(f.DisableRedirection(&inner));  // already off: reverting to it keeps it off
  ASSERT_TRUE(f.RevertRedirection(inner));
  EXPECT_FALSE(f.FileExists("C:\\Windows\\System32\\a.dll"));
  ASSERT_TRUE(f.RevertRedirection(old));
  EXPECT_TRUE(f.FileExists("C:\\Windows\\System32\\a.dll"));
}

// A test puts a wrapper in front of one service and changes one call; the rest passes through.
TEST_F(SimMachine, WrappersChangeOneCallOfARealMachine) {
  auto p = CreateSimPlatform(Options());
  struct FullDisk : FileSystemWrapper {
    using FileSystemWrapper::FileSystemWrapper;
    Status WriteFile(const std::string&, std::string_view) override { return Status::kDiskFull; }
  } files(p->files());
  struct FrozenClock : SystemInfoWrapper {
    using SystemInfoWrapper::SystemInfoWrapper;
    uint32_t TickCount() override { return 42; }
  } system(p->system());
  RegistryWrapper registry(p->registry());
  UserInterfaceWrapper ui(p->ui());
  PlatformRefs wrapped(files, registry, system, ui);

  EXPECT_EQ(wrapped.files().WriteFile("C:\\x.txt", "x"), Status::kDiskFull);
  EXPECT_FALSE(wrapped.files().FileExists("C:\\x.txt"));
  EXPECT_EQ(wrapped.files().CreateDirectory("C:\\made"), Status::kOk);
  EXPECT_TRUE(p->files().DirectoryExists("C:\\made"));
  EXPECT_EQ(wrapped.system().TickCount(), 42u);
  EXPECT_EQ(wrapped.system().TempFolder(), p->system().TempFolder());
  EXPECT_EQ(wrapped.system().SetEnvironment("W", "1"), Status::kOk);
  std::string v;
  EXPECT_EQ(p->system().GetEnvironment("W", &v), Status::kOk);
  p->QueueAnswer(id::kNo);
  EXPECT_EQ(wrapped.ui().MessageBox("?", "c", mb::kYesNo), id::kNo);
  EXPECT_EQ(p->RecordedBoxes().size(), 1u);
}

// Windows behaviour that the contract suite cannot check under Wine (which runs as root here and
// lets writes to read-only files through, lists every name for "*.", ignores case-only renames and
// lets a new file replace a hidden one).
// A view of a file stays what it showed when the file is rewritten or shortened afterwards
// (on the host a shortened file would take the mapped pages away).
TEST_F(SimMachine, FileViewsKeepTheirBytesWhenTheFileIsRewritten) {
  auto p = CreateSimPlatform(Options());
  FileSystem& files = p->files();
  const std::string big(3 * 4096 + 17, 'b');
  ASSERT_EQ(files.WriteFile("C:\\engine.exe", "head" + big), Status::kOk);
  Status status;
  auto file = files.Open("C:\\engine.exe", OpenMode::kRead, &status);
  ASSERT_TRUE(file);
  std::shared_ptr<const FileView> view = file->ViewFrom(4, &status);
  ASSERT_EQ(status, Status::kOk);
  std::shared_ptr<const FileView> second = file->ViewFrom(4096 + 1, &status);
  file.reset();
  ASSERT_TRUE(view && second);
  EXPECT_EQ(view->bytes(), big);
  EXPECT_EQ(second->bytes().size(), big.size() + 4 - 4097);

  ASSERT_EQ(files.WriteFile("C:\\engine.exe", "x"), Status::kOk);
  EXPECT_EQ(view->bytes(), big);
  EXPECT_EQ(second->bytes(), big.substr(4093));
  ASSERT_EQ(files.WriteFile("C:\\small.txt", "y"), Status::kOk);
  file = files.Open("C:\\engine.exe", OpenMode::kRead, &status);
  auto third = file->ViewFrom(0, &status);
  ASSERT_TRUE(third);
  ASSERT_EQ(files.CopyFile("C:\\small.txt", "C:\\engine.exe", false), Status::kAccessDenied)
      << "the file is open";
  file.reset();
  ASSERT_EQ(files.CopyFile("C:\\small.txt", "C:\\engine.exe", false), Status::kOk);
  EXPECT_EQ(third->bytes(), "x");
  // Past the end there is nothing to map: an empty view.
  file = files.Open("C:\\engine.exe", OpenMode::kRead, &status);
  auto empty = file->ViewFrom(1, &status);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->bytes(), "");
}

TEST_F(SimMachine, KeepsTheWindowsRulesThatWineBends) {
  auto p = CreateSimPlatform(Options());
  FileSystem& f = p->files();
  ASSERT_EQ(f.WriteFile("C:\\ro.txt", "a"), Status::kOk);
  ASSERT_EQ(f.WriteFile("C:\\noext", "b"), Status::kOk);
  ASSERT_EQ(f.SetAttributes("C:\\ro.txt", attr::kReadOnly), Status::kOk);
  Status s;
  EXPECT_EQ(f.Open("C:\\ro.txt", OpenMode::kReadWrite, &s), nullptr);
  EXPECT_EQ(s, Status::kAccessDenied);
  EXPECT_EQ(f.WriteFile("C:\\ro.txt", "x"), Status::kAccessDenied);
  EXPECT_EQ(f.CopyFile("C:\\noext", "C:\\ro.txt", false), Status::kAccessDenied);
  EXPECT_EQ(f.MoveFile("C:\\noext", "C:\\ro.txt", true), Status::kAccessDenied);
  ASSERT_EQ(f.WriteFile("C:\\hidden.txt", "h"), Status::kOk);
  ASSERT_EQ(f.SetAttributes("C:\\hidden.txt", attr::kHidden), Status::kOk);
  EXPECT_EQ(f.WriteFile("C:\\hidden.txt", "new"), Status::kAccessDenied);
  EXPECT_TRUE(f.Open("C:\\hidden.txt", OpenMode::kAppend, &s));
  EXPECT_EQ(f.CopyFile("C:\\noext", "C:\\hidden.txt", false), Status::kAccessDenied);
  // The copy of a read-only file is read-only too.
  ASSERT_EQ(f.CopyFile("C:\\ro.txt", "C:\\ro2.txt", true), Status::kOk);
  uint32_t a = 0;
  ASSERT_EQ(f.GetAttributes("C:\\ro2.txt", &a), Status::kOk);
  EXPECT_NE(a & attr::kReadOnly, 0u);

  std::vector<FileEntry> entries;
  ASSERT_EQ(f.List("C:\\", "*.", &entries), Status::kOk);
  std::vector<std::string> names;
  for (const FileEntry& e : entries) names.push_back(e.name);
  EXPECT_NE(std::find(names.begin(), names.end(), "noext"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "ro.txt"), names.end());

  ASSERT_EQ(f.MoveFile("C:\\NOEXT", "C:\\NoExt", false), Status::kOk);
  ASSERT_EQ(f.List("C:\\", "noext", &entries), Status::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "NoExt");

  // A folder that is the current folder, or holds it, cannot be removed or moved.
  ASSERT_EQ(f.CreateDirectories("C:\\busy\\inner"), Status::kOk);
  ASSERT_EQ(f.SetCurrentDirectory("C:\\busy\\inner"), Status::kOk);
  EXPECT_EQ(f.RemoveDirectory("C:\\busy\\inner"), Status::kAccessDenied);
  EXPECT_EQ(f.MoveFile("C:\\busy", "C:\\moved", false), Status::kAccessDenied);
  ASSERT_EQ(f.SetCurrentDirectory("C:\\"), Status::kOk);
  EXPECT_EQ(f.RemoveDirectory("C:\\busy\\inner"), Status::kOk);
}

// A name that an entry has itself wins over the same text as another entry's short name, and the
// short names handed out never point at the wrong entry.
TEST_F(SimMachine, AnExactNameWinsOverAShortName) {
  auto p = CreateSimPlatform(Options());
  FileSystem& f = p->files();
  ASSERT_EQ(f.CreateDirectory("C:\\d"), Status::kOk);
  ASSERT_EQ(f.WriteFile("C:\\d\\LONGNA~1.TXT", "literal"), Status::kOk);
  ASSERT_EQ(f.WriteFile("C:\\d\\long name one.txt", "one"), Status::kOk);
  std::string back;
  ASSERT_EQ(f.ReadFile("C:\\d\\longna~1.txt", &back), Status::kOk);
  EXPECT_EQ(back, "literal");
  ASSERT_EQ(f.ReadFile("C:\\d\\LONGNA~2.TXT", &back), Status::kOk);
  EXPECT_EQ(back, "one");
  auto forms = CreatePathForms(*p);
  std::string short_path;
  ASSERT_EQ(forms->GetShortPath("C:\\d\\long name one.txt", &short_path), Status::kOk);
  EXPECT_EQ(short_path, "C:\\d\\LONGNA~2.TXT");
  std::vector<FileEntry> entries;
  ASSERT_EQ(f.List("C:\\d", "longna~2.*", &entries), Status::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "long name one.txt");
}

// A user or temporary folder named with letters the code page lacks: the folders are made under
// their own names, and the machine names them by their short forms, which the 8-bit calls open.
TEST_F(SimMachine, FoldersOutsideTheCodePageAreGivenInTheirShortForm) {
  const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
  {
    std::ofstream(folder_ / "machine.txt") << "user = " << nihon << "\n";
    auto p = CreateSimPlatform(Options());
    const std::string temp = p->system().TempFolder();
    EXPECT_EQ(temp, "C:\\Users\\__~1\\AppData\\Local\\Temp\\");
    ASSERT_EQ(p->files().WriteFile(temp + "zel.tmp", "x"), Status::kOk);
    EXPECT_TRUE(fs::exists(folder_ / "drive_c" / "Users" / nihon / "AppData" / "Local" / "Temp" /
                           "zel.tmp"));
    std::string local;
    ASSERT_EQ(p->shell().GetSpecialFolder(SpecialFolder::kLocalAppData, &local), Status::kOk);
    EXPECT_EQ(local, "C:\\Users\\__~1\\AppData\\Local\\");
    std::string profile;
    ASSERT_EQ(p->system().GetEnvironment("USERPROFILE", &profile), Status::kOk);
    EXPECT_EQ(profile, "C:\\Users\\__~1");
    EXPECT_EQ(p->files().GetCurrentDirectory(), "C:\\Users\\__~1\\Downloads");
    // The user name itself is as an 8-bit call gives it.
    EXPECT_EQ(p->system().UserName(), "??");
  }
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  // A temporary folder with such names at two levels; the profile keeps its name.
  std::ofstream(folder_ / "machine.txt")
      << "temp_folder = C:\\Temp\\" << nihon << "\\x\\\xE4\xB8\xAD\xE5\x9B\xBD\n";
  auto p = CreateSimPlatform(Options());
  EXPECT_EQ(p->system().TempFolder(), "C:\\Temp\\__~1\\x\\__~1\\");
  ASSERT_EQ(p->files().WriteFile(p->system().TempFolder() + "a.txt", "x"), Status::kOk);
  EXPECT_TRUE(fs::exists(folder_ / "drive_c" / "Temp" / nihon / "x" /
                         "\xE4\xB8\xAD\xE5\x9B\xBD" / "a.txt"));
  EXPECT_EQ(p->system().UserName(), "User");
  // A listing names such an entry by its short name, so that what it lists can be removed.
  const std::string folder = p->system().TempFolder();
  std::ofstream(p->HostPath(folder) / (nihon + ".txt")) << "x";
  std::vector<FileEntry> entries;
  ASSERT_EQ(p->files().List(folder, "*", &entries), Status::kOk);
  std::vector<std::string> names;
  for (const FileEntry& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "__~1.TXT"}));
  DeleteTree(p->files(), "C:\\Temp");
  EXPECT_FALSE(fs::exists(folder_ / "drive_c" / "Temp"));
}

// The machine has no console, ports or printers: their names are devices that cannot be opened,
// and no host file ever stands for one.
TEST_F(SimMachine, DevicesOtherThanNulCannotBeOpened) {
  auto p = CreateSimPlatform(Options());
  FileSystem& f = p->files();
  ASSERT_EQ(f.WriteFile("C:\\src.txt", "x"), Status::kOk);
  for (const char* name : {"con", "prn.txt", "aux", "com3.log", "lpt2"}) {
    const std::string path = std::string("C:\\") + name;
    EXPECT_EQ(f.WriteFile(path, "x"), Status::kNotFound) << name;
    EXPECT_EQ(f.CopyFile("C:\\src.txt", path, false), Status::kNotFound) << name;
    EXPECT_TRUE(p->HostPath(path).empty()) << name;
    EXPECT_FALSE(fs::exists(folder_ / "drive_c" / name)) << name;
  }
  EXPECT_TRUE(p->HostPath("C:\\x\\nul.txt").empty());
  Status s;
  EXPECT_EQ(f.Open("C:\\nul", OpenMode::kExclusiveTemp, &s), nullptr);
  const std::string current = f.GetCurrentDirectory();
  EXPECT_EQ(f.SetCurrentDirectory("C:\\nul"), Status::kInvalidName);
  EXPECT_EQ(f.GetCurrentDirectory(), current);
}

}  // namespace
}  // namespace corvane::platform
