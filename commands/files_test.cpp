// File and folder commands as scripts: natively on the simulated machine, under Wine on the real
// file system and version resource calls.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <set>

#include "commands/file_search.h"
#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "interp/session.h"

extern const unsigned char kVersionedExe[];
extern const size_t kVersionedExe_size;
extern const unsigned char kPlainExe[];
extern const size_t kPlainExe_size;

namespace corvane::commands {

void DeleteRecursive(platform::FileSystem& fs, const std::string& pattern);

namespace {

using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

class FileCommands : public ::testing::Test {
 protected:
  void SetUp() override { script_.predefined = {{"ROOT", machine_.root()}}; }
  CommandRun Run(const std::string& text) {
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    return run;
  }
  void WriteExe(const std::string& name, const unsigned char* bytes, size_t size) {
    machine_.Write(name, std::string(reinterpret_cast<const char*>(bytes), size));
  }
  TestMachine machine_;
  CommandScript script_{machine_.platform()};
};

TEST_F(FileCommands, ExistenceOfFilesAndFolders) {
  machine_.Write("dir\\file.txt", "x");
  CommandRun run = Run(R"(
Does File/Folder Exist "F1" "$ROOT$\dir\file.txt" "TRUE"
Does File/Folder Exist "F2" "$ROOT$\dir" "TRUE"
Does File/Folder Exist "D1" "$ROOT$\dir" "FALSE"
Does File/Folder Exist "D2" "$ROOT$\dir\file.txt" "FALSE"
Does File/Folder Exist "N1" "$ROOT$\nothing" "TRUE"
Does File/Folder Exist "N2" "$ROOT$\nothing" "FALSE"
)");
  EXPECT_EQ(run.Var("F1") + run.Var("F2") + run.Var("D1") + run.Var("D2") + run.Var("N1") +
                run.Var("N2"),
            "TRUEFALSETRUEFALSEFALSEFALSE");
}

TEST_F(FileCommands, FileVersions) {
  WriteExe("v.exe", kVersionedExe, kVersionedExe_size);
  WriteExe("plain.exe", kPlainExe, kPlainExe_size);
  CommandRun run = Run(R"(
Get File Version "$ROOT$\v.exe" "V"
Get File Version "$ROOT$\plain.exe" "$PLAIN$"
Get File Version "$ROOT$\missing.exe" "MISSING"
Check File Version "SAME" "$ROOT$\v.exe" "FALSE" "" "1.2.3.4"
Check File Version "SHORT" "$ROOT$\v.exe" "FALSE" "" "1.2.3"
Check File Version "TEN" "$ROOT$\v.exe" "FALSE" "" "1.10"
Check File Version "OLDER" "$ROOT$\v.exe" "FALSE" "" "1.2.3.5"
Check File Version "LASTBAD" "$ROOT$\v.exe" "FALSE" "" "1.2.3.x"
Check File Version "EMPTY" "$ROOT$\v.exe" "FALSE" "" ""
Check File Version "FILES" "$ROOT$\v.exe" "TRUE" "$ROOT$\plain.exe" ""
Check File Version "FILES2" "$ROOT$\plain.exe" "TRUE" "$ROOT$\v.exe" ""
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("V"), "1.2.3.4");
  EXPECT_EQ(run.Var("PLAIN"), "0.0.0.0");
  EXPECT_EQ(run.Var("MISSING"), "0.0.0.0");
  EXPECT_EQ(run.Var("SAME"), "FALSE");
  EXPECT_EQ(run.Var("SHORT"), "TRUE");
  EXPECT_EQ(run.Var("TEN"), "FALSE");
  EXPECT_EQ(run.Var("OLDER"), "FALSE");
  EXPECT_EQ(run.Var("LASTBAD"), "TRUE");  // a final part that is not a number reads as 0
  EXPECT_EQ(run.Var("EMPTY"), "TRUE");
  EXPECT_EQ(run.Var("FILES"), "TRUE");
  EXPECT_EQ(run.Var("FILES2"), "FALSE");
}

TEST_F(FileCommands, VersionTextWithALetterBetweenDotsFailsTheRun) {
  WriteExe("v.exe", kVersionedExe, kVersionedExe_size);
  CommandRun run = Run(R"(
Check File Version "R" "$ROOT$\v.exe" "FALSE" "" "1.x.3"
Set Variable "AFTER" "1"
)");
  EXPECT_TRUE(run.Failed());
  EXPECT_FALSE(run.Has("AFTER"));
}

TEST_F(FileCommands, InstallerTableCommandsRecordPaths) {
  CommandRun run = Run(R"(
[header 000000A1] Copy/Move Local Files "$ROOT$\\from" "x" "$ROOT$\to"
[header 000000A2] Delete Files "C:\plain\*.tmp" "x" "TRUE"
[header 000000A3] Create Folder "$ROOT$\new"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  std::string r = machine_.root();
  std::vector<std::string> expected = {"A000000A1=TRUE", "P000000A1_1=" + r + "\\from",
                                       "P000000A1_2=" + r + "\\to", "A000000A2=TRUE",
                                       "P000000A2_1=C:\\plain\\*.tmp", "A000000A3=TRUE",
                                       "P000000A3_1=" + r + "\\new"};
  EXPECT_EQ(run.properties, expected);
}

TEST_F(FileCommands, FindAllFilesOrderAndQuoting) {
  machine_.Write("top\\b.txt", "");
  machine_.Write("top\\a b.txt", "");
  machine_.Write("top\\sub\\inner.txt", "");
  machine_.Write("top\\sub\\deep\\x.txt", "");
  machine_.Write("top\\sub\\deep\\skip.dat", "");
  CommandRun run = Run(R"(
Find All Files "$ROOT$\top\*.txt" "TRUE" "TRUE" "ALL"
Find All Files "$ROOT$\top\*.txt" "TRUE" "FALSE" "FILES"
Find All Files "$ROOT$\top\*.txt" "FALSE" "TRUE" "FLAT"
Find All Files "$ROOT$\top\*.none" "FALSE" "FALSE" "NONE"
)");
  std::string t = machine_.root() + "\\top\\";
  auto q = [](const std::string& s) { return "\"" + s + "\""; };
  bool blank_in_root = t.find(' ') != std::string::npos;
  auto item = [&](const std::string& s) { return blank_in_root || s.find(' ') != std::string::npos ? q(s) : s; };
  if (machine_.simulated()) {
    // The simulated folders list in name order, as NTFS does.
    EXPECT_EQ(run.Var("ALL"), item(t + "sub\\deep\\x.txt") + "|" + item(t + "sub\\deep") + "|" +
                                  item(t + "sub\\inner.txt") + "|" + item(t + "sub") + "|" +
                                  item(t + "a b.txt") + "|" + item(t + "b.txt"));
    EXPECT_EQ(run.Var("FLAT"), item(t + "sub") + "|" + item(t + "a b.txt") + "|" + item(t + "b.txt"));
  }
  EXPECT_NE(run.Var("ALL").find(q(t + "a b.txt")), std::string::npos);
  EXPECT_EQ(run.Var("FILES").find("skip.dat"), std::string::npos);
  EXPECT_EQ(run.Var("NONE"), "");
}

TEST(DelimitedText, QuotingRules) {
  EXPECT_EQ(DelimitedText({}), "");
  EXPECT_EQ(DelimitedText({""}), "\"\"");
  EXPECT_EQ(DelimitedText({"a", "b c", "d\"e", "f|g", "h\ti"}),
            "a|\"b c\"|\"d\"\"e\"|\"f|g\"|\"h\ti\"");
}

TEST_F(FileCommands, DeleteFilesRecursiveRemovesTreeKeepsTopFolder) {
  std::string deep = "tree";
  for (int i = 0; i < 12; ++i) deep += "\\level" + std::to_string(i);
  machine_.Write(deep + "\\bottom.txt", "x");
  machine_.Write("tree\\a.txt", "x");
  machine_.Write("tree\\ro.txt", "x");
  machine_.platform().files().SetAttributes(machine_.root() + "\\tree\\ro.txt",
                                            platform::attr::kReadOnly);
  machine_.Write("outside.txt", "x");
  CommandRun run = Run(R"(Delete Files Recursive "$ROOT$\tree\*.*")");
  EXPECT_FALSE(run.Failed());
  EXPECT_TRUE(machine_.Exists("tree"));
  EXPECT_FALSE(machine_.Exists("tree\\a.txt"));
  EXPECT_FALSE(machine_.Exists("tree\\ro.txt"));
  EXPECT_FALSE(machine_.Exists("tree\\level0"));
  EXPECT_TRUE(machine_.Exists("outside.txt"));
}

TEST_F(FileCommands, DeleteFilesRecursiveStopsAtALockedFile) {
  machine_.Write("tree\\sub\\locked.txt", "x");
  machine_.Write("tree\\sub\\free.txt", "x");
  machine_.Write("tree\\other\\free.txt", "x");
  platform::Status status;
  auto lock = machine_.platform().files().Open(machine_.root() + "\\tree\\sub\\locked.txt",
                                               platform::OpenMode::kExclusiveTemp, &status);
  ASSERT_TRUE(lock);
  CommandRun run = Run(R"(Delete Files Recursive "$ROOT$\tree\*.*")");
  EXPECT_FALSE(run.Failed());
  EXPECT_TRUE(machine_.Exists("tree\\sub\\locked.txt"));
  EXPECT_FALSE(machine_.Exists("tree\\sub\\free.txt"));
  EXPECT_FALSE(machine_.Exists("tree\\other"));
}

// "/" separates folders in a pattern as "\" does: the search lists and deletes the folder the
// pattern names, never the one before it.
TEST_F(FileCommands, DeleteFilesRecursiveReadsForwardSlashesAsSeparators) {
  machine_.Write("app\\data.txt", "keep");
  machine_.Write("app\\cache\\old.txt", "x");
  machine_.Write("app\\cache\\sub\\older.txt", "x");
  CommandRun run = Run(R"(
Delete Files Recursive "$ROOT$\app\/cache/*.*"
Find All Files "$ROOT$/app/*.txt" "FALSE" "FALSE" "FOUND"
)");
  EXPECT_TRUE(machine_.Exists("app\\data.txt"));
  EXPECT_TRUE(machine_.Exists("app\\cache"));
  EXPECT_FALSE(machine_.Exists("app\\cache\\old.txt"));
  EXPECT_FALSE(machine_.Exists("app\\cache\\sub"));
  EXPECT_EQ(run.Var("FOUND"), machine_.root() + "/app/data.txt");
}

// What an empty variable makes of a pattern, and the system's own folders: each is refused with
// a trace entry and nothing below it is touched. (On the simulated machine only: under Wine a
// fault here would empty the test prefix.)
TEST_F(FileCommands, DeleteFilesRecursiveRefusesRootsAndSystemFolders) {
  if (!machine_.simulated()) GTEST_SKIP() << "would reach the real system folders";
  platform::FileSystem& fs = machine_.platform().files();
  platform::SystemInfo& sys = machine_.platform().system();
  std::string profile;
  ASSERT_EQ(sys.GetEnvironment("USERPROFILE", &profile), platform::Status::kOk);
  const std::vector<std::string> precious = {
      "C:\\setup.exe",           sys.WindowsFolder() + "\\win.ini",
      sys.SystemFolder() + "\\kernel32.dll", "C:\\Program Files\\Other\\other.exe",
      "C:\\ProgramData\\Other\\state.dat", profile + "\\notes.txt",
      "C:\\Users\\Public\\shared.txt", "C:\\Empty\\Folder\\.keep"};
  for (const std::string& path : precious) {
    fs.CreateDirectories(path.substr(0, path.rfind('\\')));
    ASSERT_EQ(fs.WriteFile(path, "x"), platform::Status::kOk) << path;
  }
  script_.predefined.push_back({"APPDIR", ""});
  script_.predefined.push_back({"WIN", sys.WindowsFolder()});
  script_.predefined.push_back({"PROFILE", profile});
  CommandRun run = Run(R"(
Delete Files Recursive "$APPDIR$\*.*"
Delete Files Recursive "$APPDIR$*.*"
Delete Files Recursive "C:\*.*"
Delete Files Recursive "c:/*.*"
Delete Files Recursive "C:\Empty\..\*.*"
Delete Files Recursive "C:*.*"
Delete Files Recursive "\\server\share\*.*"
Delete Files Recursive "$WIN$\*.*"
Delete Files Recursive "$WIN$\.\SYSTEM32\\*.dll"
Delete Files Recursive "c:\program files.\*.*"
Delete Files Recursive "C:\ProgramData\*.*"
Delete Files Recursive "C:\Users\*.*"
Delete Files Recursive "C:\Users\Public\*.*"
Delete Files Recursive "$PROFILE$\*.*"
Delete Files Recursive "C:\Empty\$APPDIR$\*.*"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  for (const std::string& path : precious) EXPECT_TRUE(fs.FileExists(path)) << path;
  size_t refused = 0;
  for (const std::string& entry : run.trace) {
    if (entry.rfind("Delete Files Recursive refused", 0) == 0) ++refused;
  }
  EXPECT_EQ(refused, 15u);

  // A folder of its own below Program Files is the setup's to empty.
  CommandRun own = Run("Delete Files Recursive \"C:\\Program Files\\Other\\*.*\"\n");
  EXPECT_FALSE(fs.FileExists("C:\\Program Files\\Other\\other.exe"));
  EXPECT_TRUE(fs.DirectoryExists("C:\\Program Files\\Other"));
  EXPECT_TRUE(own.trace.empty() || own.trace[0].find("refused") == std::string::npos);
}

// A folder that reports itself as a junction: the deletion must not go through it.
class LinkFiles : public platform::FileSystemWrapper {
 public:
  LinkFiles(platform::FileSystem& target, std::string link) : FileSystemWrapper(target), link_(std::move(link)) {}
  platform::Status List(const std::string& folder, const std::string& pattern,
                        std::vector<platform::FileEntry>* entries) override {
    platform::Status s = target_.List(folder, pattern, entries);
    std::string f = folder;
    if (!f.empty() && f.back() == '\\') f.pop_back();
    for (auto& e : *entries) {
      if (platform::SameText(f + "\\" + e.name, link_)) e.attributes |= platform::attr::kReparsePoint;
    }
    return s;
  }

 private:
  std::string link_;
};

TEST_F(FileCommands, DeleteFilesRecursiveDoesNotFollowLinks) {
  machine_.Write("tree\\link\\precious.txt", "x");
  machine_.Write("tree\\plain\\gone.txt", "x");
  LinkFiles files(machine_.platform().files(), machine_.root() + "\\tree\\link");
  DeleteRecursive(files, machine_.root() + "\\tree\\*.*");
  EXPECT_TRUE(machine_.Exists("tree\\link\\precious.txt"));
  EXPECT_FALSE(machine_.Exists("tree\\plain"));
}

// 2,000 folders of 10 files each below a top folder that holds 10 files of its own.
// The tree is built once for the suite; the tests only read it.
class BigTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new TestMachine();
    Build();
  }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
    folders_.clear();
  }
  void SetUp() override {
    script_ = std::make_unique<CommandScript>(machine_->platform());
    script_->predefined = {{"ROOT", machine_->root()}};
  }
  CommandRun Run(const std::string& text) {
    CommandRun run = script_->Run(text);
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    return run;
  }
  static void Build() {
    platform::FileSystem& fs = machine_->platform().files();
    top_ = machine_->root() + "\\big";
    fs.CreateDirectory(top_);
    for (int i = 0; i < 10; ++i) fs.WriteFile(top_ + "\\top " + std::to_string(i) + ".txt", "");
    for (int d = 0; d < 20; ++d) {
      std::string dir = top_ + "\\d" + std::to_string(d);
      fs.CreateDirectory(dir);
      folders_.insert(dir);
      for (int s = 0; s < 99; ++s) {
        std::string sub = dir + "\\s" + std::to_string(s);
        fs.CreateDirectory(sub);
        folders_.insert(sub);
      }
    }
    for (const std::string& f : folders_) {
      for (int i = 0; i < 10; ++i) {
        fs.WriteFile(f + "\\file " + std::to_string(i) + ".dat", "");
      }
    }
  }
  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
      std::string item;
      if (pos < text.size() && text[pos] == '"') {
        ++pos;
        while (pos < text.size()) {
          if (text[pos] == '"' && pos + 1 < text.size() && text[pos + 1] == '"') {
            item += '"';
            pos += 2;
          } else if (text[pos] == '"') {
            ++pos;
            break;
          } else {
            item += text[pos++];
          }
        }
      } else {
        size_t bar = text.find('|', pos);
        item = text.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos);
        pos = bar == std::string::npos ? text.size() : bar;
      }
      out.push_back(item);
      ++pos;  // the "|"
    }
    return out;
  }
  static inline TestMachine* machine_ = nullptr;
  static inline std::string top_;
  static inline std::set<std::string> folders_;
  std::unique_ptr<CommandScript> script_;
};

TEST_F(BigTree, FindAllFilesOverTwentyThousandFiles) {
  auto start = std::chrono::steady_clock::now();
  CommandRun run = Run(R"(Find All Files "$ROOT$\big\*.*" "TRUE" "TRUE" "FOUND")");
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("Find All Files: 20,010 files in 2,000 folders, %.0f ms (%s)\n", ms,
              machine_->simulated() ? "simulated machine" : "Windows API");
  std::vector<std::string> found = Split(run.Var("FOUND"));
  ASSERT_EQ(found.size(), 20010u + 2000u);
  // Every entry with a blank was quoted and came back whole.
  std::map<std::string, size_t> position;
  for (size_t i = 0; i < found.size(); ++i) position[found[i]] = i;
  ASSERT_EQ(position.size(), found.size());
  for (const std::string& f : folders_) {
    ASSERT_TRUE(position.count(f)) << f;
    for (int i = 0; i < 10; ++i) {
      std::string file = f + "\\file " + std::to_string(i) + ".dat";
      ASSERT_TRUE(position.count(file)) << file;
      // The contents of a folder come before the folder itself.
      ASSERT_LT(position[file], position[f]) << file;
    }
    size_t cut = f.rfind('\\');
    std::string parent = f.substr(0, cut);
    if (parent != top_) {
      ASSERT_LT(position[f], position[parent]) << f;
    }
  }
  // The files of the top folder come last.
  for (size_t i = found.size() - 10; i < found.size(); ++i) {
    EXPECT_EQ(found[i].rfind(top_ + "\\top ", 0), 0u) << found[i];
  }
}

TEST_F(BigTree, CancelledSearchGoesOnWithWhatItFound) {
  int pumps = 0;
  script_->on_pump = [&](interp::Session& s) {
    if (++pumps == 2) s.variables.store().Set("VORT_IsCancelled", "TRUE");
  };
  CommandRun run = Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Find All Files "$ROOT$\big\*.*" "TRUE" "TRUE" "FIRST"
Find All Files "$ROOT$\big\*.*" "TRUE" "TRUE" "SECOND"
Set Variable "AFTER" "ran"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Setup cancelled");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(run.Var("AFTER"), "ran");
  std::vector<std::string> first = Split(run.Var("FIRST"));
  EXPECT_LT(first.size(), 22010u);
  // What was found is a true part of the tree.
  if (!run.Var("FIRST").empty()) {
    for (const std::string& f : first) EXPECT_EQ(f.rfind(top_ + "\\", 0), 0u) << f;
  }
}

TEST_F(BigTree, CancelWithAbortOnErrorEndsTheScript) {
  script_->on_pump = [&](interp::Session& s) { s.variables.store().Set("VORT_IsCancelled", "TRUE"); };
  CommandRun run = Run(R"(
Find All Files "$ROOT$\big\*.*" "TRUE" "TRUE" "FIRST"
Set Variable "AFTER" "ran"
)");
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_FALSE(run.Has("AFTER"));
  EXPECT_TRUE(run.Has("FIRST"));
}

}  // namespace
}  // namespace corvane::commands
