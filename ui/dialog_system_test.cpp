#include "ui/dialog_system.h"

#include <gtest/gtest.h>

#include <map>

#include "image/failure.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

using platform::Status;

// Whole files in memory, keyed by upper-cased path; relative paths resolve against the current
// folder. Only what the dialog loader uses is implemented.
class MemoryFiles : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::string current = "C:\\";
  std::vector<std::string> folder_changes;

  std::string Key(const std::string& path) {
    std::string full = path.size() > 1 && path[1] == ':' ? path : current + "\\" + path;
    return platform::UpperCase(full);
  }
  void Put(const std::string& path, std::string data) { files[Key(path)] = std::move(data); }

  std::unique_ptr<platform::File> Open(const std::string&, platform::OpenMode, Status* s) override {
    *s = Status::kFailed;
    return nullptr;
  }
  Status ReadFile(const std::string& path, std::string* contents) override {
    auto it = files.find(Key(path));
    if (it == files.end()) return Status::kNotFound;
    *contents = it->second;
    return Status::kOk;
  }
  Status WriteFile(const std::string& path, std::string_view contents) override {
    Put(path, std::string(contents));
    return Status::kOk;
  }
  Status GetAttributes(const std::string&, uint32_t*) override { return Status::kFailed; }
  Status SetAttributes(const std::string&, uint32_t) override { return Status::kFailed; }
  Status GetFileSize(const std::string&, uint64_t*) override { return Status::kFailed; }
  Status GetLastWriteTime(const std::string&, int64_t*) override { return Status::kFailed; }
  Status CreateDirectory(const std::string&) override { return Status::kFailed; }
  Status RemoveDirectory(const std::string&) override { return Status::kFailed; }
  Status DeleteFile(const std::string&) override { return Status::kFailed; }
  Status CopyFile(const std::string&, const std::string&, bool) override { return Status::kFailed; }
  Status MoveFile(const std::string&, const std::string&, bool) override { return Status::kFailed; }
  Status List(const std::string&, const std::string&, std::vector<platform::FileEntry>*) override {
    return Status::kFailed;
  }
  std::string GetCurrentDirectory() override { return current; }
  Status SetCurrentDirectory(const std::string& path) override {
    folder_changes.push_back(path);
    current = path;
    return Status::kOk;
  }
  std::string GetFullPath(const std::string& path) override { return path; }
  Status GetDiskSpace(const std::string&, uint64_t*, uint64_t*) override { return Status::kFailed; }
  // A process without file-system redirection, as the x86_64 engine is.
  bool DisableRedirection(uint64_t*) override { return false; }
  bool RevertRedirection(uint64_t) override { return false; }
};

std::string FormFile(std::string_view text) {
  return WithResourceHeader("TDIALOG", WriteBinaryStream(ParseFormText(text)));
}

constexpr char kWelcome[] =
    "object Welcome: TWelcome\n  Caption = 'Welcome'\n"
    "  object Name: TEdit\n    Hint = 'USERNAME'\n  end\n"
    "  object Go: TButton\n    Tag = 1\n  end\nend\n";

class DialogSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.Put("C:\\Temp\\zel1\\Welcome.dfm", FormFile(kWelcome));
    fs.Put("C:\\Temp\\zel1\\Welcome.dfm.zelf",
           "IF (Name.Text = )  THEN  Go.Enabled := False;\r\n\r\n");
    fs.current = "C:\\Work";
    dialogs.Start("C:\\Temp\\zel1\\", [this](const std::string& n, const std::string& v,
                                             const std::string& s) { writes.push_back(n + "=" + v + " " + s); });
  }
  std::string LoadFailure(const std::string& key, const std::string& path) {
    try {
      dialogs.LoadDialog(key, path);
    } catch (const image::ScriptFailure& e) {
      return e.what();
    }
    return "no failure";
  }

  MemoryFiles fs;
  DialogSystem dialogs{fs};
  std::vector<std::string> writes;
};

TEST_F(DialogSystemTest, StartPreparesAnEmptyRegistry) {
  EXPECT_TRUE(dialogs.started());
  EXPECT_EQ(dialogs.dialog_folder(), "C:\\Temp\\zel1\\");
  EXPECT_TRUE(dialogs.first_display());
  EXPECT_EQ(dialogs.dialog_count(), 0u);
  EXPECT_EQ(writes, (std::vector<std::string>{"VORT_IsCancelled=FALSE ShowDesign"}));
}

TEST_F(DialogSystemTest, LoadsFormAndRulesForACommand) {
  PoolTemplate& form = dialogs.LoadCommandDialog(4, "Welcome");
  EXPECT_EQ(&form, dialogs.FindDialog("4"));
  EXPECT_EQ(form.GetText("Hint"), "Welcome.dfm");
  EXPECT_EQ(form.GetText("Caption"), "Welcome");
  EXPECT_EQ(form.FindComponent("Name")->GetText("Hint"), "USERNAME");
  EXPECT_EQ(form.rules(), (std::vector<std::string>{"IF (Name.Text = )  THEN  Go.Enabled := False;", ""}));
  // The form file's folder is current while it is read; the caller's folder comes back.
  ASSERT_FALSE(fs.folder_changes.empty());
  EXPECT_EQ(fs.folder_changes.front(), "C:\\Temp\\zel1");
  EXPECT_EQ(fs.current, "C:\\Work");
}

TEST_F(DialogSystemTest, TwoCommandsNamingOneDialogHoldTwoForms) {
  PoolTemplate& a = dialogs.LoadCommandDialog(2, "Welcome");
  PoolTemplate& b = dialogs.LoadCommandDialog(7, "Welcome");
  EXPECT_NE(&a, &b);
  PoolTemplate& c = dialogs.LoadDialog(9L, "C:\\Temp\\zel1\\Welcome.dfm");  // start-up's form
  EXPECT_EQ(&c, dialogs.FindDialog("9"));
  ASSERT_TRUE(a.FindComponent("Name")->SetText("Text", "typed"));
  EXPECT_EQ(b.FindComponent("Name")->GetText("Text"), "");
  EXPECT_EQ(dialogs.dialog_count(), 3u);
}

TEST_F(DialogSystemTest, LoadingAKeyAgainReplacesItsForm) {
  dialogs.LoadDialog("x1", "C:\\Temp\\zel1\\Welcome.dfm");
  dialogs.FindDialog("X1")->SetText("Caption", "changed");
  dialogs.LoadDialog("X1", "C:\\Temp\\zel1\\Welcome.dfm");
  EXPECT_EQ(dialogs.dialog_count(), 1u);
  EXPECT_EQ(dialogs.FindDialog("x1")->GetText("Caption"), "Welcome");
  EXPECT_EQ(dialogs.FindDialog("x2"), nullptr);
}

TEST_F(DialogSystemTest, FailuresCarryTheirMessages) {
  EXPECT_EQ(LoadFailure("1", "C:\\Temp\\zel1\\Missing.dfm"),
            "Cannot open file \"C:\\Temp\\zel1\\Missing.dfm\". The system cannot find the file specified");
  fs.Put("C:\\Temp\\zel1\\NoRules.dfm", FormFile(kWelcome));
  EXPECT_EQ(LoadFailure("2", "C:\\Temp\\zel1\\NoRules.dfm"),
            "Cannot open file \"C:\\Temp\\zel1\\NoRules.dfm.zelf\". The system cannot find the file specified");
  std::string bad = FormFile(kWelcome);
  bad[0] = 'X';
  fs.Put("C:\\Temp\\zel1\\Bad.dfm", bad);
  fs.Put("C:\\Temp\\zel1\\Bad.dfm.zelf", "");
  EXPECT_EQ(LoadFailure("3", "C:\\Temp\\zel1\\Bad.dfm"), "Invalid stream format");
  fs.Put("C:\\Temp\\zel1\\Cut.dfm", FormFile(kWelcome).substr(0, 40));
  EXPECT_EQ(LoadFailure("4", "C:\\Temp\\zel1\\Cut.dfm"), "Stream read error");
  fs.Put("C:\\Temp\\zel1\\Odd.dfm", FormFile("object F: TF\n  object G: TGrid\n  end\nend"));
  EXPECT_EQ(LoadFailure("5", "C:\\Temp\\zel1\\Odd.dfm"), "Class TGrid not found");
  EXPECT_EQ(fs.current, "C:\\Work");  // restored after every failure
  EXPECT_EQ(dialogs.FindDialog("3"), nullptr);
}

TEST_F(DialogSystemTest, EmptyRuleFileGivesNoRules) {
  fs.Put("C:\\Temp\\zel1\\Welcome.dfm.zelf", "");
  EXPECT_TRUE(dialogs.LoadCommandDialog(0, "Welcome").rules().empty());
}

TEST_F(DialogSystemTest, TemplatesKeepTheFirstText) {
  dialogs.StoreTemplate("Welcome.dfm.Label1", "Hello $USER$");
  dialogs.StoreTemplate("WELCOME.DFM.LABEL1", "replaced?");
  EXPECT_EQ(dialogs.FetchTemplate("welcome.dfm.label1"), "Hello $USER$");
  EXPECT_EQ(dialogs.FetchTemplate("Welcome.dfm.Other"), "");
}

TEST_F(DialogSystemTest, StopReleasesEverything) {
  dialogs.LoadCommandDialog(0, "Welcome");
  dialogs.StoreTemplate("k", "v");
  dialogs.Stop();
  EXPECT_FALSE(dialogs.started());
  EXPECT_EQ(dialogs.dialog_count(), 0u);
  EXPECT_EQ(dialogs.FindDialog("0"), nullptr);
  EXPECT_EQ(dialogs.FetchTemplate("k"), "");
}

}  // namespace
}  // namespace corvane::ui
