#include "ui/dialog_runtime.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "image/failure.h"
#include "tests/support/host_path.h"
#include "ui/form_text.h"
#include "ui/property_rules.h"

namespace corvane::ui {
namespace {

using platform::Status;

// Folders and files in memory, letter case ignored; what the runtime asks of a file system.
class MemoryFolders : public platform::FileSystem {
 public:
  std::set<std::string> folders;
  std::map<std::string, std::string> files;
  std::map<std::string, uint64_t> free_space;  // by drive root

  static std::string Key(const std::string& path) {
    std::string k = platform::UpperCase(path);
    if (k.size() > 3 && k.back() == '\\') k.pop_back();
    return k;
  }
  void AddFolder(const std::string& path) { folders.insert(Key(path)); }
  void AddFile(const std::string& path, std::string contents = "") {
    files[Key(path)] = std::move(contents);
  }

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
  Status GetAttributes(const std::string& path, uint32_t* a) override {
    if (folders.count(Key(path))) {
      *a = platform::attr::kDirectory;
      return Status::kOk;
    }
    if (files.count(Key(path))) {
      *a = platform::attr::kArchive;
      return Status::kOk;
    }
    *a = platform::attr::kInvalid;
    return Status::kNotFound;
  }
  Status List(const std::string& folder, const std::string&,
              std::vector<platform::FileEntry>* entries) override {
    if (!folders.count(Key(folder))) return Status::kNotFound;
    std::string prefix = Key(folder);
    if (prefix.back() != '\\') prefix += '\\';
    for (const auto& [k, v] : files) {
      if (k.rfind(prefix, 0) == 0 && k.find('\\', prefix.size()) == std::string::npos)
        entries->push_back({k.substr(prefix.size()), platform::attr::kArchive, v.size(), 0});
    }
    return Status::kOk;
  }
  Status GetDiskSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total) override {
    auto it = free_space.find(platform::UpperCase(path));
    if (it == free_space.end()) return Status::kNotFound;
    *free_bytes = it->second;
    *total = it->second * 2;
    return Status::kOk;
  }
  Status SetAttributes(const std::string&, uint32_t) override { return Status::kFailed; }
  Status GetFileSize(const std::string&, uint64_t*) override { return Status::kFailed; }
  Status GetLastWriteTime(const std::string&, int64_t*) override { return Status::kFailed; }
  Status CreateDirectory(const std::string&) override { return Status::kFailed; }
  Status RemoveDirectory(const std::string&) override { return Status::kFailed; }
  Status DeleteFile(const std::string&) override { return Status::kFailed; }
  Status CopyFile(const std::string&, const std::string&, bool) override { return Status::kFailed; }
  Status MoveFile(const std::string&, const std::string&, bool) override { return Status::kFailed; }
  std::string GetCurrentDirectory() override { return "C:\\"; }
  Status SetCurrentDirectory(const std::string&) override { return Status::kFailed; }
  std::string GetFullPath(const std::string& p) override { return p; }
  bool DisableRedirection(uint64_t*) override { return false; }
  bool RevertRedirection(uint64_t) override { return false; }
};

// Answers message boxes and folder browsers from queues and records the questions.
class ScriptedUi : public platform::UserInterface {
 public:
  std::deque<int> answers;
  std::deque<std::string> folders;  // "" cancels the browser
  struct Box {
    std::string text, caption;
    uint32_t flags;
  };
  std::vector<Box> boxes;

  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override {
    boxes.push_back({text, caption, flags});
    if (answers.empty()) return platform::id::kNo;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  Status BrowseForFolder(const std::string&, std::string* folder) override {
    if (folders.empty() || folders.front().empty()) {
      if (!folders.empty()) folders.pop_front();
      return Status::kNotFound;
    }
    *folder = folders.front();
    folders.pop_front();
    return Status::kOk;
  }
};

class CountingHooks : public DialogHooks {
 public:
  int paused = 0, restored = 0;
  bool localised = false;
  std::map<std::string, std::string> translations;  // control name -> text
  std::vector<std::string> started;                 // "sound:", "run:", "open:" and the target
  std::string taskbar;
  std::string Caption() override { return "Product - Corvane Wizard"; }
  bool LocalisationActive() override { return localised; }
  std::string TranslateDialogText(const std::string& key, const std::string& control,
                                  const std::string& template_text) override {
    auto it = translations.find(control);
    return it == translations.end() ? template_text : it->second;
  }
  void PauseTaskbar() override { ++paused; }
  void RestoreTaskbar() override { ++restored; }
  void PlaySound(const std::string& p) override { started.push_back("sound:" + p); }
  void RunProgram(const std::string& c) override { started.push_back("run:" + c); }
  void OpenDocument(const std::string& a) override { started.push_back("open:" + a); }
  void UpdateTaskbar(const std::string& mode, int64_t position, int64_t maximum) override {
    taskbar = mode + " " + std::to_string(position) + "/" + std::to_string(maximum);
  }
};

class DialogRuntimeTest : public ::testing::Test {
 protected:
  DialogRuntimeTest() : engine_(vars_, files_, ui_, &hooks_, &table_) { table_.ResetForFirstRun(); }

  DialogRuntime& Load(std::string_view body, std::vector<std::string> rules = {}) {
    form_ = std::make_unique<PoolTemplate>();
    form_->ReadRoot(
        ParseFormText("object Test: TTest\n  Caption = 'Setup'\n" + std::string(body) + "end\n"));
    form_->SetValue("Hint", FormValue::String("Test.dfm"));
    form_->rules() = std::move(rules);
    runtime_ = std::make_unique<DialogRuntime>(engine_, *form_);
    return *runtime_;
  }
  // One of the sample dialogs of examples/dialogs, with its rules.
  DialogRuntime& LoadSample(const std::string& name) {
    auto read = [](const std::string& file) {
      std::ifstream in(corvane::testing::HostPath(std::string(SAMPLE_DIALOGS_DIR) + "/" + file),
                       std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      return s.str();
    };
    form_ = std::make_unique<PoolTemplate>();
    form_->ReadRoot(ParseFormText(read(name + ".dfm.txt")));
    form_->SetValue("Hint", FormValue::String(name + ".dfm"));
    form_->rules() = SplitRuleLines(read(name + ".dfm.zelf"));
    runtime_ = std::make_unique<DialogRuntime>(engine_, *form_);
    return *runtime_;
  }
  void Set(const std::string& name, const std::string& value) {
    vars_.SetVariable(name, value, "Test");
  }
  std::string Get(const std::string& name) { return vars_.GetVariable(name); }
  bool Defined(const std::string& name) { return vars_.IsVariableDefined(name); }
  ControlState& State(const char* name) {
    ControlState* s = runtime_->Find(name);
    EXPECT_NE(s, nullptr) << name;
    return *s;
  }

  interp::Variables vars_;
  MemoryFolders files_;
  ScriptedUi ui_;
  CountingHooks hooks_;
  ComponentTable table_;
  DialogEngine engine_;
  std::unique_ptr<PoolTemplate> form_;
  std::unique_ptr<DialogRuntime> runtime_;
};

// --- check boxes, radio buttons, rules

TEST_F(DialogRuntimeTest, CheckBoxMinusOneStartsCheckedAndClicksWriteFalseThenTrue) {
  Set("OPT", "-1");
  DialogRuntime& d = Load("  object CheckBox1: TRzCheckBox\n    Hint = 'OPT'\n  end\n");
  d.Prepare();
  EXPECT_TRUE(State("CheckBox1").checked);
  EXPECT_EQ(Get("OPT"), "-1");  // preparing writes nothing
  d.Click("CheckBox1");
  EXPECT_EQ(Get("OPT"), "FALSE");
  d.Click("CheckBox1");
  EXPECT_EQ(Get("OPT"), "TRUE");
  d.Check("CheckBox1", true);  // no change, no click
  EXPECT_EQ(Get("OPT"), "TRUE");
}

TEST_F(DialogRuntimeTest, RuleEnablesButtonWhenBoxIsCheckedAndAnotherDisablesIt) {
  const char* body =
      "  object CheckBox1: TRzCheckBox\n    Hint = 'OPT'\n  end\n"
      "  object Button1: TButton\n    Enabled = False\n    Tag = 1\n  end\n";
  DialogRuntime& d = Load(body, {"IF (CheckBox1.Checked = True)  THEN  Button1.Enabled := True;"});
  d.Prepare();
  EXPECT_FALSE(State("Button1").enabled);
  d.Click("Button1");  // a disabled button cannot be pressed
  EXPECT_NE(d.result_code(), result::kNext);
  d.Click("CheckBox1");
  EXPECT_TRUE(State("Button1").enabled);
  d.Click("CheckBox1");
  EXPECT_TRUE(State("Button1").enabled) << "without a second rule the button stays enabled";

  DialogRuntime& d2 =
      Load(body, {"IF (CheckBox1.Checked = True)  THEN  Button1.Enabled := True;",
                  "IF (CheckBox1.Checked <> True)  THEN  Button1.Enabled := False;"});
  d2.Prepare();
  d2.Click("CheckBox1");
  EXPECT_TRUE(State("Button1").enabled);
  d2.Click("CheckBox1");
  EXPECT_FALSE(State("Button1").enabled);
}

TEST_F(DialogRuntimeTest, RuleValuesNameControlPropertiesOrStayAsWritten) {
  DialogRuntime& d = Load(
      "  object Edit1: TEdit\n    Text = '1.5'\n  end\n"
      "  object Edit2: TEdit\n    Text = 'copy me'\n  end\n"
      "  object Label1: TLabel\n    Caption = 'x'\n  end\n"
      "  object Label2: TLabel\n    Caption = 'y'\n  end\n",
      {"IF (Edit1.Text = 1.5)  THEN  Label1.Caption := Edit2.Text;",
       "IF (Nobody.Text = )  THEN  Label2.Caption := matched;",
       "IF (Edit1.Text = 1.5)  THEN  Label2.Colour := clRed;"});
  d.Prepare();
  EXPECT_EQ(State("Label1").text, "copy me");
  // A missing control reads as empty text, so the rule holds; an unknown property takes nothing.
  EXPECT_EQ(State("Label2").text, "matched");
}

TEST_F(DialogRuntimeTest, RadioButtonsWriteEveryBoundState) {
  Set("TYPICAL", "TRUE");
  DialogRuntime& d = Load(
      "  object Typical: TRzRadioButton\n    Hint = 'TYPICAL'\n  end\n"
      "  object Custom: TRzRadioButton\n    Hint = 'CUSTOM'\n  end\n");
  d.Prepare();
  EXPECT_TRUE(State("Typical").checked);
  EXPECT_FALSE(Defined("CUSTOM"));
  d.Click("Custom");
  EXPECT_EQ(Get("TYPICAL"), "FALSE");
  EXPECT_EQ(Get("CUSTOM"), "TRUE");
  EXPECT_FALSE(State("Typical").checked);
}

// --- edits and the destination

TEST_F(DialogRuntimeTest, DestinationEditCollapsesDoubledBackslashesButKeepsNetworkPrefix) {
  const char* body = "  object Dest: TEdit\n    Hint = 'INSTALLDIR'\n    Tag = 2\n  end\n";
  Set("TARGETDIR", "C:\\A\\\\B");
  DialogRuntime& d = Load(body);
  d.Prepare();
  EXPECT_EQ(State("Dest").text, "C:\\A\\B");  // bound to nothing yet: the expanded TARGETDIR

  Set("TARGETDIR", "\\\\srv\\\\x");
  d.Prepare();
  EXPECT_EQ(State("Dest").text, "\\\\srv\\x");

  Set("INSTALLDIR", "D:\\\\Apps\\\\Tool");
  d.Prepare();
  EXPECT_EQ(State("Dest").text, "D:\\Apps\\Tool");
  EXPECT_EQ(Get("INSTALLDIR"), "D:\\\\Apps\\\\Tool");  // shown, not written
}

TEST_F(DialogRuntimeTest, EditDefaultsByTagAndUnboundTextAsDesigned) {
  Set("USERNAME", "Ann");
  Set("USERCOMPANY", "Acme");
  Set("STARTMENU", "Maker");
  DialogRuntime& d = Load(
      "  object Menu: TEdit\n    Hint = 'MENU'\n    Tag = 1\n  end\n"
      "  object Company: TEdit\n    Tag = 4\n  end\n"
      "  object Plain: TEdit\n    Text = '$USERNAME$'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Menu").text, "Maker");
  EXPECT_EQ(State("Company").text, "Acme");
  EXPECT_EQ(State("Plain").text, "$USERNAME$");
}

TEST_F(DialogRuntimeTest, DestinationUpdateKeepsFoldersApartOnPathBoundaries) {
  files_.AddFolder("C:\\");
  files_.AddFolder("C:\\Program Files");
  files_.AddFolder("C:\\Prog");
  files_.AddFolder("D:\\");
  Set("TARGETDIR", "C:\\Program Files\\Maker");
  DialogRuntime& d = Load(
      "  object Folders: TDirectoryListBox\n    Hint = 'CHOSEN'\n    Tag = 1\n  end\n"
      "  object Dest: TEdit\n    Hint = 'TARGETDIR'\n    Tag = 2\n  end\n");
  d.Prepare();
  d.Shown();
  EXPECT_EQ(State("Folders").folder, "C:\\Program Files\\");  // the deepest existing folder

  d.ShowFolder("Folders", "C:\\Prog");
  EXPECT_EQ(Get("CHOSEN"), "C:\\Prog");
  EXPECT_EQ(State("Dest").text, "C:\\Prog\\Maker");
  EXPECT_EQ(Get("TARGETDIR"), "C:\\Prog\\Maker");

  d.ShowFolder("Folders", "C:\\Program Files");
  EXPECT_EQ(Get("TARGETDIR"), "C:\\Program Files\\Maker");

  d.ShowFolder("Folders", "D:\\");
  EXPECT_EQ(Get("TARGETDIR"), "D:\\Maker");
}

TEST_F(DialogRuntimeTest, BrowseButtonsUpdateTheDestinationOrAVariable) {
  files_.AddFolder("C:\\");
  Set("TARGETDIR", "C:\\Maker\\App");
  DialogRuntime& d = Load(
      "  object Dest: TEdit\n    Hint = 'TARGETDIR'\n    Tag = 2\n  end\n"
      "  object Browse: TButton\n    Tag = 4\n  end\n"
      "  object DataDir: TButton\n    Tag = 6\n  end\n"
      "  object Mirror: TEdit\n    Hint = 'DATADIR'\n    Tag = 100\n  end\n");
  d.Prepare();
  d.Shown();
  ui_.folders = {"E:\\Tools", "", "F:\\Data"};
  d.Click("Browse");
  EXPECT_EQ(Get("TARGETDIR"), "E:\\Tools\\Maker\\App");
  d.Click("DataDir");  // cancelled
  EXPECT_FALSE(Defined("DATADIR"));
  d.Click("DataDir");
  EXPECT_EQ(Get("DATADIR"), "F:\\Data\\");
  EXPECT_EQ(State("Mirror").text, "F:\\Data\\");
  EXPECT_EQ(hooks_.paused, 3);
  EXPECT_EQ(hooks_.restored, 3);
}

TEST_F(DialogRuntimeTest, HintWithDollarSignsIsReadAndWrittenUnderTheName) {
  Set("USERNAME", "Ann");
  DialogRuntime& d = Load("  object Name: TEdit\n    Hint = '$USERNAME$'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Name").text, "Ann");
  d.SetText("Name", "Bob");
  EXPECT_EQ(Get("USERNAME"), "Bob");
  EXPECT_FALSE(Defined("$USERNAME$"));
}

TEST_F(DialogRuntimeTest, TypedVariableReferenceCannotMakeExpansionLoop) {
  Set("USERNAME", "Ann");
  DialogRuntime& d = Load(
      "  object Name: TEdit\n    Hint = 'USERNAME'\n    Tag = 3\n  end\n"
      "  object Echo: TEdit\n    Hint = 'USERNAME'\n    Tag = 100\n  end\n"
      "  object Caption1: TLabel\n    Caption = 'Hello $USERNAME$'\n  end\n");
  d.Prepare();
  d.SetText("Name", "$USERNAME$");
  EXPECT_EQ(Get("USERNAME"), "$USERNAME$");
  EXPECT_EQ(State("Echo").text, "$USERNAME$");
  d.Prepare();  // shown again: every text is expanded from the self-referring value
  EXPECT_EQ(State("Name").text, "$USERNAME$");
  EXPECT_EQ(State("Caption1").text, "Hello $USERNAME$");
}

TEST_F(DialogRuntimeTest, EditChangeRunsLiveRefreshAndAutoAdvance) {
  DialogRuntime& d = Load(
      "  object Key1: TEdit\n    Hint = 'KEY1'\n    MaxLength = 4\n    TabOrder = 0\n  end\n"
      "  object Key2: TEdit\n    Hint = 'KEY2'\n    MaxLength = 4\n    TabOrder = 1\n  end\n"
      "  object Echo: TMaskEdit\n    Hint = 'KEY1'\n    Tag = 100\n  end\n");
  d.Prepare();
  d.SetText("Key1", "AB");
  EXPECT_EQ(State("Echo").text, "AB");
  EXPECT_EQ(d.focused(), "");
  d.SetText("Key1", "ABCDE");  // an edit takes no more than its maximum length
  EXPECT_EQ(Get("KEY1"), "ABCD");
  EXPECT_EQ(d.focused(), "Key2");
  d.set_focused("Key1");
  Set("KEY1", "other");
  d.SetText("Key1", "ABCD");  // no change: no handler
  EXPECT_EQ(Get("KEY1"), "other");
  EXPECT_EQ(d.focused(), "Key1");
}

// --- lists

TEST_F(DialogRuntimeTest, ListBoxChoiceSurvivesBack) {
  const char* body =
      "  object Kind: TListBox\n    Hint = 'KIND'\n"
      "    Items.Strings = (\n      'One'\n      'Two'\n      '')\n  end\n";
  Set("KIND", "nothing");
  DialogRuntime& d = Load(body);
  d.Prepare();
  EXPECT_EQ(State("Kind").items.size(), 2u);
  EXPECT_EQ(State("Kind").item_index, -1);  // no item equals the value
  EXPECT_EQ(Get("KIND"), "nothing");
  d.PickItem("Kind", 1);
  EXPECT_EQ(Get("KIND"), "Two$NEWLINE$");
  d.Freeze();
  d.Prepare();  // back to this page, without NEWLINE defined
  EXPECT_EQ(State("Kind").item_index, 1);
  Set("NEWLINE", "\r\n");
  d.Prepare();  // and with it, when the value expands to a line break
  EXPECT_EQ(State("Kind").item_index, 1);
}

TEST_F(DialogRuntimeTest, MultiSelectListWritesEverySelectedItem) {
  DialogRuntime& d = Load(
      "  object Kind: TListBox\n    Hint = 'KIND'\n    MultiSelect = True\n"
      "    Items.Strings = (\n      'One'\n      'Two'\n      'Three')\n  end\n");
  d.Prepare();
  d.PickItems("Kind", {0, 2});
  EXPECT_EQ(Get("KIND"), "One$NEWLINE$Three$NEWLINE$");
  d.Prepare();
  EXPECT_EQ(State("Kind").SelectedItems(), (std::vector<int>{0, 2}));
}

TEST_F(DialogRuntimeTest, ComboBoxesByStyle) {
  Set("LANG", "german");
  Set("FREE", "typed");
  DialogRuntime& d = Load(
      "  object Lang: TComboBox\n    Hint = 'LANG'\n    Style = csDropDownList\n"
      "    Items.Strings = (\n      'English'\n      'German')\n  end\n"
      "  object Free: TComboBox\n    Hint = 'FREE'\n"
      "    Items.Strings = (\n      'a')\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Lang").item_index, 1);
  EXPECT_EQ(State("Lang").text, "German");
  EXPECT_EQ(State("Free").text, "typed");
  d.PickItem("Lang", 0);
  EXPECT_EQ(Get("LANG"), "English");
  d.SetText("Lang", "Klingon");  // a drop-down list takes no typing
  EXPECT_EQ(Get("LANG"), "English");
  d.SetText("Free", "other");
  EXPECT_EQ(Get("FREE"), "other");
}

TEST_F(DialogRuntimeTest, CheckListWithHintWritesCheckedItemsAtPreparationAndOnChecks) {
  Set("TOOLS", "Docs$NEWLINE$");
  DialogRuntime& d = Load(
      "  object Tools: TCheckListBox\n    Hint = 'TOOLS'\n"
      "    Items.Strings = (\n      'Docs'\n      'Samples')\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Tools").item_checked, (std::vector<bool>{true, false}));
  d.CheckItem("Tools", 1, true);
  EXPECT_EQ(Get("TOOLS"), "Docs$NEWLINE$Samples$NEWLINE$");
}

// --- components

TEST_F(DialogRuntimeTest, ComponentCheckListTogglesMainWithoutMainTools) {
  table_.Define("Main", true, "The program");
  table_.Define("Main\\Help", true, "");
  table_.Define("MainTools", true, "Extra tools");
  DialogRuntime& d = Load(
      "  object List: TCheckListBox\n    Tag = 1\n  end\n"
      "  object Info: TStaticText\n    Tag = 2\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("List").items, (std::vector<std::string>{"Main", "MainTools"}));
  d.CheckItem("List", 0, false);
  EXPECT_FALSE(table_.GetState("Main"));
  EXPECT_FALSE(table_.GetState("Main\\Help"));
  EXPECT_TRUE(table_.GetState("MainTools"));
  EXPECT_EQ(State("List").item_checked, (std::vector<bool>{false, true}));
  d.PickItem("List", 1);
  EXPECT_EQ(d.current_component(), "MainTools");
  EXPECT_EQ(State("Info").text, "Extra tools");
}

TEST_F(DialogRuntimeTest, ComponentTreeAndItsStateMenu) {
  table_.Define("Program", false, "Line one$NEWLINE$line two");
  table_.Define("Program\\Help", false, "");
  table_.Define("Program\\Help\\Pictures", false, "");
  table_.Define("Hidden", true, "");
  table_.SetVisibility("Hidden", false);
  table_.SetSpace("Program", "2048");
  DialogRuntime& d = Load(
      "  object Tree: TTreeView\n    Hint = 'NODE'\n    Tag = 1\n  end\n"
      "  object Info: TStaticText\n    Tag = 2\n  end\n"
      "  object Size: TStaticText\n    Tag = 3\n  end\n");
  d.Prepare();
  const ControlState& tree = State("Tree");
  ASSERT_EQ(tree.nodes.size(), 3u);
  EXPECT_EQ(tree.NodePath(2), "Program\\Help\\Pictures");
  EXPECT_EQ(tree.selected_node, 0);
  EXPECT_EQ(tree.nodes[0].image, 0);
  // The first node's selection reached its variable and the computed texts.
  EXPECT_EQ(Get("NODE"), "Program");
  EXPECT_EQ(State("Info").text, "Line one\r\nline two");
  EXPECT_EQ(State("Size").text, "2,048 bytes");

  d.SelectNode("Tree", 2);
  EXPECT_EQ(d.current_component(), "Program\\Help\\Pictures");
  EXPECT_FALSE(d.TreeMouseUp("Tree", false));  // not on the icon
  ASSERT_TRUE(d.TreeMouseUp("Tree", true));
  d.ChooseComponentMenuItem("Tree", 0);  // this one and its ancestors
  EXPECT_TRUE(table_.GetState("Program\\Help\\Pictures"));
  EXPECT_TRUE(table_.GetState("Program"));
  EXPECT_EQ(tree.nodes[0].image, 1);

  d.SelectNode("Tree", 0);
  ASSERT_TRUE(d.TreeKeyUp("Tree", 93));
  d.ChooseComponentMenuItem("Tree", 4);  // not offered: nothing happens
  EXPECT_TRUE(table_.GetState("Program"));
  ASSERT_TRUE(d.TreeKeyUp("Tree", 93));
  d.ChooseComponentMenuItem("Tree", 2);  // the whole feature off
  EXPECT_FALSE(table_.GetState("Program\\Help"));
  EXPECT_FALSE(table_.GetState("Program\\Help\\Pictures"));

  table_.SetChoice("Program", false);
  EXPECT_FALSE(d.TreeKeyUp("Tree", 93));  // a locked component offers no menu
}

TEST_F(DialogRuntimeTest, TreeWithoutSelectedNodeSkipsTheFirstDisplayHandler) {
  DialogRuntime& d = Load(
      "  object Empty: TTreeView\n    Hint = 'NODE'\n    Tag = 1\n  end\n"
      "  object Plain: TTreeView\n    Hint = 'PLAIN'\n  end\n");
  d.Prepare();  // no components: the tree is empty
  EXPECT_EQ(State("Empty").selected_node, -1);
  EXPECT_FALSE(Defined("NODE"));
  EXPECT_FALSE(Defined("PLAIN"));
  d.SelectNode("Empty", 0);
  EXPECT_FALSE(Defined("NODE"));
}

TEST_F(DialogRuntimeTest, ComputedSpaceTextsAndErrorsClearThem) {
  table_.Define("Main", true, "");
  table_.SetSpace("Main", "3145728");
  files_.free_space["C:\\"] = 10485760;
  Set("TARGETDIR", "C:\\Apps");
  DialogRuntime& d = Load(
      "  object Required: TStaticText\n    Caption = 'old'\n    Tag = 4\n  end\n"
      "  object Free: TStaticText\n    Tag = 5\n  end\n"
      "  object Left: TStaticText\n    Tag = 6\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Required").text, "3,072 KB");
  EXPECT_EQ(State("Free").text, "10,240 KB");
  EXPECT_EQ(State("Left").text, "7,168 KB");
  Set("TARGETDIR", "Q:\\Nowhere");  // no such drive
  d.RefreshComputedTexts();
  EXPECT_EQ(State("Free").text, "");
  EXPECT_EQ(State("Left").text, "");
  table_.SetImageSizes({"Main", "lots"});  // a size that is no number
  d.RefreshComputedTexts();
  EXPECT_EQ(State("Required").text, "");
}

// --- buttons and results

TEST_F(DialogRuntimeTest, ButtonsSetResultsByTag) {
  DialogRuntime& d = Load(
      "  object Next: TButton\n    Tag = 1\n  end\n"
      "  object Back: TBitBtn\n    Tag = 2\n  end\n"
      "  object btnCustom: TSpeedButton\n    Tag = 5\n  end\n"
      "  object Logo: TImage\n  end\n");
  d.Prepare();
  d.BeginModal();
  d.Click("Logo");
  EXPECT_EQ(d.result_code(), result::kOpen);
  d.Click("Next");
  EXPECT_EQ(d.result_code(), result::kNext);
  EXPECT_EQ(DirectionOf(d.result_code()), WizardDirection::kNext);
  d.Click("Back");
  EXPECT_EQ(DirectionOf(d.result_code()), WizardDirection::kBack);
  d.Click("btnCustom");
  EXPECT_EQ(ResultCodeText(d.result_code(), d.result_text()), "BTNCUSTOM");
  EXPECT_FALSE(ResultCodeText(result::kOpen, "").has_value());
  EXPECT_EQ(ResultCodeText(result::kNotModal, ""), "NOTMODAL");
  EXPECT_FALSE(d.RequestClose());
}

TEST_F(DialogRuntimeTest, CancelAsksAndOnlyYesCancels) {
  Set("VORT_IsCancelled", "FALSE");
  DialogRuntime& d = Load("  object Cancel: TButton\n    Tag = 3\n  end\n");
  d.Prepare();
  d.BeginModal();
  ui_.answers = {platform::id::kNo, platform::id::kYes};
  d.Click("Cancel");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "Are you sure you want to cancel?");
  EXPECT_EQ(ui_.boxes[0].caption, "Product - Corvane Wizard");
  EXPECT_EQ(ui_.boxes[0].flags,
            platform::mb::kYesNo | platform::mb::kIconQuestion | platform::mb::kDefButton2);
  EXPECT_EQ(d.result_code(), result::kOpen);
  EXPECT_EQ(Get("VORT_IsCancelled"), "FALSE");
  d.Click("Cancel");
  EXPECT_EQ(d.result_code(), result::kCancel);
  EXPECT_EQ(Get("VORT_IsCancelled"), "TRUE");
  EXPECT_FALSE(State("Cancel").enabled);
  EXPECT_EQ(DirectionOf(d.result_code()), WizardDirection::kLeave);
  EXPECT_EQ(hooks_.paused, 2);
  EXPECT_EQ(hooks_.restored, 2);
  d.Click("Cancel");  // disabled: no third question
  EXPECT_EQ(ui_.boxes.size(), 2u);
}

// --- lifecycle

TEST_F(DialogRuntimeTest, ProgrammaticChangesNeverRunHandlers) {
  Set("NAME", "Ann");
  DialogRuntime& d = Load(
      "  object Name: TEdit\n    Hint = 'NAME'\n  end\n"
      "  object Box: TRzCheckBox\n    Hint = 'BOX'\n  end\n"
      "  object Echo: TEdit\n    Hint = 'NAME'\n    Tag = 100\n  end\n",
      {"IF (Name.Text = Ann)  THEN  Box.Checked := True;"});
  d.Prepare();
  EXPECT_TRUE(State("Box").checked);  // set by the rule
  EXPECT_FALSE(Defined("BOX"));       // ... without writing the variable
  d.SetText("Echo", "Bob");           // the mirror's own handler writes NAME
  EXPECT_EQ(Get("NAME"), "Bob");
  EXPECT_EQ(State("Name").text, "Ann");  // an edit without Tag 100 is not refreshed
  EXPECT_EQ(State("Echo").text, "Bob");
}

TEST_F(DialogRuntimeTest, FrozenDialogKeepsItsContentsButWritesNothing) {
  DialogRuntime& d = Load("  object Name: TEdit\n    Hint = 'NAME'\n  end\n");
  d.Prepare();
  d.SetText("Name", "Ann");
  d.Freeze();
  d.SetText("Name", "Bob");
  EXPECT_EQ(State("Name").text, "Bob");
  EXPECT_EQ(Get("NAME"), "Ann");
  d.Prepare();
  EXPECT_EQ(State("Name").text, "Ann");  // prepared again from the variable
}

TEST_F(DialogRuntimeTest, TemplatesAreReExpandedOnEveryPreparation) {
  Set("TITLE", "Product");
  DialogRuntime& d = Load(
      "  object Heading: TLabel\n    Caption = 'Welcome to $TITLE$'\n  end\n"
      "  object Choices: TListBox\n    Items.Strings = (\n      '$FIRST$'\n      'Fixed')\n  "
      "end\n");
  d.Prepare();
  EXPECT_EQ(State("Heading").text, "Welcome to Product");
  EXPECT_EQ(d.form_state().text, "Setup - Corvane Wizard");
  EXPECT_EQ(State("Choices").items, (std::vector<std::string>{"$FIRST$", "Fixed"}));
  Set("TITLE", "Other");
  Set("FIRST", "");
  Set("VORTLOGO", "TRUE");
  d.Prepare();
  EXPECT_EQ(State("Heading").text, "Welcome to Other");
  EXPECT_EQ(d.form_state().text, "Setup");
  EXPECT_EQ(State("Choices").items, (std::vector<std::string>{"Fixed"}));  // empty items go
  Set("VORTLOGO", "true");
  d.Prepare();
  d.Prepare();
  EXPECT_EQ(d.form_state().text, "Setup - Corvane Wizard");  // added once
}

TEST_F(DialogRuntimeTest, TrackBarBoundToTextFailsThePreparation) {
  Set("LEVEL", "7");
  DialogRuntime& d = Load("  object Level: TTrackBar\n    Hint = 'LEVEL'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Level").position, 7);
  d.SetPosition("Level", 3);
  EXPECT_EQ(Get("LEVEL"), "3");
  Set("LEVEL", "high");
  EXPECT_THROW(d.Prepare(), image::ScriptFailure);
  EXPECT_FALSE(engine_.events_suppressed());
}

// --- progress, memos

TEST_F(DialogRuntimeTest, ProgressBarShowsProgressClampedToItsRange) {
  const char* body =
      "  object Bar: TProgressBar\n    Tag = 1\n  end\n"
      "  object Meter: TGauge\n    Tag = 1\n  end\n"
      "  object Status: TStaticText\n    Tag = 1\n  end\n";
  DialogRuntime& d = Load(body);
  struct Case {
    const char* value;
    int64_t shown;
  } cases[] = {{"150", 100}, {"-5", 0}, {"42", 42}, {"abc", 100}};
  for (const Case& c : cases) {
    Set("PROGRESS", c.value);
    d.Prepare();
    EXPECT_EQ(State("Bar").position, c.shown) << c.value;
    EXPECT_EQ(State("Meter").position, c.shown) << c.value;
  }
  Set("PROGRESSTEXT", "Copying");
  d.Prepare();
  EXPECT_EQ(State("Status").text, "Copying");

  d.ShowProgress({"Installing", 0, int64_t{4} << 31, int64_t{1} << 31});
  EXPECT_EQ(State("Status").text, "Installing");
  EXPECT_EQ(State("Bar").maximum, int64_t{8} << 20);
  EXPECT_EQ(State("Bar").position, int64_t{2} << 20);
  EXPECT_EQ(State("Meter").position, State("Meter").maximum);  // a gauge cannot show that
  Set("PROGRESSMODE", "MARQUEE");
  d.ShowProgress({"", 0, 100, 5});
  EXPECT_TRUE(State("Bar").marquee);
}

TEST_F(DialogRuntimeTest, LicenceMemoCountsAsReadWhenScrolledToTheEnd) {
  files_.AddFile("S:\\license.txt", "Terms\r\nMore terms");
  engine_.dialog_folder = "S:\\";
  const std::vector<std::string> rules = {
      "IF (Licence.MaxLength = 2147483647)  THEN  Accept.Enabled := True;"};
  DialogRuntime& d = Load(
      "  object Licence: TMemo\n    Tag = 2\n    ScrollBars = ssVertical\n  end\n"
      "  object Accept: TButton\n    Enabled = False\n  end\n",
      rules);
  d.Prepare();
  EXPECT_EQ(State("Licence").text, "Terms\r\nMore terms");
  EXPECT_TRUE(State("Licence").read_only);
  EXPECT_EQ(State("Licence").max_length, 1048576);
  d.Scrolled("Licence", {true, 90, 10, 100}, false);  // the keyboard does not count
  EXPECT_FALSE(State("Accept").enabled);
  d.Scrolled("Licence", {true, 50, 10, 100}, true);
  EXPECT_FALSE(State("Accept").enabled);
  d.Scrolled("Licence", {true, 91, 10, 100}, true);
  EXPECT_TRUE(State("Accept").enabled);

  // Without a vertical bar there is nothing to scroll: read at once. No file: the hint text.
  DialogRuntime& d2 = Load(
      "  object Readme: TMemo\n    Tag = 1\n  end\n"
      "  object Accept: TButton\n    Enabled = False\n  end\n",
      {"IF (Readme.MaxLength = 2147483647)  THEN  Accept.Enabled := True;"});
  d2.Prepare();
  EXPECT_TRUE(State("Accept").enabled);
  EXPECT_EQ(State("Readme").text.rfind("Add a readme..txt or readme.txt file", 0), 0u);
}

TEST_F(DialogRuntimeTest, BoundMemoWritesLinesAsTokens) {
  Set("NOTES", "one$NEWLINE$two");
  DialogRuntime& d = Load(
      "  object Notes: TMemo\n    Hint = 'NOTES'\n  end\n"
      "  object Rich: TRichEdit\n    Hint = 'RICH'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Notes").text, "one\r\ntwo");
  EXPECT_FALSE(State("Notes").read_only);
  d.SetText("Notes", "a\r\nb");
  EXPECT_EQ(Get("NOTES"), "a$NEWLINE$b");
  d.SetText("Rich", "x\r\ny");
  EXPECT_EQ(Get("RICH"), "x$NEWLINE$y$NEWLINE$");
}

// --- folder controls

TEST_F(DialogRuntimeTest, FolderControlsShowBoundFoldersAndWriteChoices) {
  files_.AddFolder("C:\\");
  files_.AddFolder("C:\\Data");
  files_.AddFile("C:\\Data\\b.txt");
  files_.AddFile("C:\\Data\\a.txt");
  Set("PICKED", "C:\\Data\\a.txt");
  Set("DRIVE", "c:\\whatever");
  DialogRuntime& d = Load(
      "  object Files: TFileListBox\n    Hint = 'PICKED'\n  end\n"
      "  object Drives: TDriveComboBox\n    Hint = 'DRIVE'\n  end\n"
      "  object Shell: TPTShellList\n    Hint = 'SHELL'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Files").folder, "C:\\Data\\");
  EXPECT_EQ(State("Files").items, (std::vector<std::string>{"A.TXT", "B.TXT"}));
  EXPECT_EQ(State("Drives").folder, "c:\\");
  d.PickFile("Files", "C:\\Data\\b.txt");
  EXPECT_EQ(Get("PICKED"), "C:\\Data\\b.txt");
  d.PickDrive("Drives", 'D');
  EXPECT_EQ(Get("DRIVE"), "D:\\");
  d.PickFile("Shell", "C:\\Data");  // a folder opened from the list is not a choice
  EXPECT_FALSE(Defined("SHELL"));
  d.PickFile("Shell", "C:\\Data\\a.txt");
  EXPECT_EQ(Get("SHELL"), "C:\\Data\\a.txt");
}

// --- the HTML viewer

TEST(DialogLinks, LinksByKind) {
  LinkAction a = ClassifyLink("setup.exe /q", "S:\\pages\\");
  EXPECT_EQ(a.kind, LinkAction::kRun);
  EXPECT_EQ(a.target, "S:\\pages\\setup.exe");
  EXPECT_EQ(a.parameters, "/q");
  a = ClassifyLink("sounds\\ding.WAV?x", "S:\\");
  EXPECT_EQ(a.kind, LinkAction::kPlaySound);
  EXPECT_EQ(a.target, "S:\\sounds\\ding.WAV");
  EXPECT_EQ(ClassifyLink("C:\\tools\\run.exe", "S:\\").target, "C:\\tools\\run.exe");
  EXPECT_EQ(ClassifyLink("file:///C:/x/notes.txt", "S:\\").kind, LinkAction::kFollow);
  EXPECT_EQ(ClassifyLink("mailto:help@example.com", "").kind, LinkAction::kOpen);
  EXPECT_EQ(ClassifyLink("http://example.com/", "").kind, LinkAction::kOpen);
  // A secure address has no "HTTP:" in it and is left to the viewer.
  EXPECT_EQ(ClassifyLink("https://example.com/", "").kind, LinkAction::kFollow);
  EXPECT_EQ(MetaRefreshPath("file:///C%3A/pages/next%2Ehtm"), "C:\\pages\\next.htm");
  EXPECT_EQ(MetaRefreshPath("file:///C|/a%2"), "C:\\a%2");
  EXPECT_EQ(MetaRefreshPath("%41bc"), "Abc");
  // Decoded once: a "%" that decoding made is text, and a pair that is no number stays.
  EXPECT_EQ(MetaRefreshPath("next%2541.htm"), "next%41.htm");
  EXPECT_EQ(MetaRefreshPath("a%zz%41"), "a%zzA");
  // A decoded NUL would cut the path short wherever it went: the address names no file.
  EXPECT_FALSE(MetaRefreshPath("next.htm%00.exe").has_value());
}

TEST(DialogLinks, MovieStageSizeNeedsAnUncompressedHeader) {
  // A frame rectangle of 15-bit fields: 0..11000 by 0..8000 twips, 550 by 400 pixels.
  std::string movie = std::string("FWS\x0A") + std::string(4, '\0');
  const uint32_t n = 15;
  const uint64_t fields[4] = {0, 11000, 0, 8000};
  std::vector<bool> bits;
  for (int i = 4; i >= 0; --i) bits.push_back((n >> i) & 1);
  for (uint64_t f : fields) {
    for (int i = static_cast<int>(n) - 1; i >= 0; --i) bits.push_back((f >> i) & 1);
  }
  std::string rect((bits.size() + 7) / 8, '\0');
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i]) rect[i / 8] = static_cast<char>(rect[i / 8] | (0x80 >> (i % 8)));
  }
  auto size = MovieStageSize(movie + rect);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(*size, std::make_pair(550, 400));
  // A compressed movie's bytes at that place are packed: no size is read from them.
  EXPECT_FALSE(MovieStageSize("CWS" + movie.substr(3) + rect).has_value());
  // A file that ends inside its rectangle.
  EXPECT_FALSE(MovieStageSize(movie + rect.substr(0, 3)).has_value());
  EXPECT_FALSE(MovieStageSize("FWS").has_value());
}

TEST_F(DialogRuntimeTest, ViewerLinksAndMetaRefresh) {
  files_.AddFile("S:\\index.htm", "<html>first</html>");
  files_.AddFile("S:\\next.htm", "<html><TITLE>Second page</TITLE></html>");
  engine_.dialog_folder = "S:\\";
  DialogRuntime& d = Load("  object Viewer: THTMLViewer\n    Tag = 1\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Viewer").page, "S:\\index.htm");
  EXPECT_TRUE(d.HotSpotClick("Viewer", "setup.exe /q"));
  EXPECT_FALSE(d.HotSpotClick("Viewer", "https://example.com/"));
  // The program's path goes in quotes: a page folder with a blank must not start another file.
  EXPECT_EQ(hooks_.started, (std::vector<std::string>{"run:\"S:\\setup.exe\" /q"}));

  d.MetaRefreshRequested("Viewer", 3, "missing.htm");
  EXPECT_FALSE(d.pending_refresh().has_value());
  d.MetaRefreshRequested("Viewer", 3, "next.htm");
  ASSERT_TRUE(d.pending_refresh().has_value());
  EXPECT_EQ(d.pending_refresh()->delay_ms, 3000);
  d.MetaTimerFired();
  EXPECT_EQ(State("Viewer").page, "S:\\next.htm");
  EXPECT_EQ(d.form_state().text, "Second page");
  d.MetaTimerFired();  // fires once
  EXPECT_EQ(State("Viewer").page, "S:\\next.htm");
}

// The page a viewer loads announces its own meta refresh (and so does the page it moves to);
// links the engine leaves alone are followed by the viewer.
TEST_F(DialogRuntimeTest, ViewerPagesRefreshThemselvesAndFollowLinks) {
  files_.AddFile("S:\\index.htm",
                 "<meta http-equiv=refresh content=\"2;url=file:///S|/pages/two%2Ehtm\">one");
  files_.AddFile("S:\\pages\\two.htm",
                 "<title>Two</title><meta http-equiv=refresh content=\"1;url=S:\\three.htm\">");
  files_.AddFile("S:\\three.htm", "<title>Three</title><a href=\"pages/two.htm#top\">back</a>");
  engine_.dialog_folder = "S:\\";
  DialogRuntime& d = Load("  object Viewer: THTMLViewer\n    Tag = 1\n  end\n");
  d.Prepare();
  ASSERT_TRUE(d.pending_refresh().has_value());
  EXPECT_EQ(d.pending_refresh()->target, "S:\\pages\\two.htm");
  EXPECT_EQ(d.pending_refresh()->delay_ms, 2000);
  d.MetaTimerFired();
  EXPECT_EQ(d.form_state().text, "Two");
  ASSERT_TRUE(d.pending_refresh().has_value());
  EXPECT_EQ(d.pending_refresh()->target, "S:\\three.htm");
  d.MetaTimerFired();
  EXPECT_EQ(State("Viewer").page, "S:\\three.htm");
  EXPECT_FALSE(d.pending_refresh().has_value());

  // A page of the setup: relative to the page shown; the part after "#" is a place in it.
  d.FollowLink("Viewer", "pages/two.htm#top");
  EXPECT_EQ(State("Viewer").page, "S:\\pages\\two.htm");
  EXPECT_TRUE(d.pending_refresh().has_value());
  d.FollowLink("Viewer", "missing.htm");
  EXPECT_EQ(State("Viewer").page, "S:\\pages\\two.htm");
  d.FollowLink("Viewer", "#top");
  EXPECT_EQ(State("Viewer").page, "S:\\pages\\two.htm");
  // An address of the web: the system's default action, the viewer stays.
  d.FollowLink("Viewer", "https://example.com/");
  EXPECT_EQ(hooks_.started, (std::vector<std::string>{"open:https://example.com/"}));
  EXPECT_EQ(State("Viewer").page, "S:\\pages\\two.htm");
}

// A licence whose whole text is in view has nothing to scroll to: it counts as read when the
// renderer reports it shown, and the rules see it at once.
TEST_F(DialogRuntimeTest, ATrackedTextThatFitsCountsAsReadWhenShown) {
  DialogRuntime& d = Load(
      "  object Licence: TRichEdit\n    ReadOnly = True\n    Tag = 2\n  end\n"
      "  object Accept: TButton\n    Enabled = False\n  end\n",
      {"IF (Licence.MaxLength = 2147483647)  THEN  Accept.Enabled := True;"});
  d.Prepare();
  EXPECT_FALSE(State("Accept").enabled);
  d.ContentMeasured("Licence", {true, 0, 10, 30});  // 31 lines, 10 in view
  EXPECT_FALSE(State("Accept").enabled);
  d.ContentMeasured("Licence", {true, 0, 10, 9});  // 10 lines, all in view
  EXPECT_TRUE(State("Accept").enabled);
}

TEST_F(DialogRuntimeTest, AMovieWithoutAPlayerSaysSo) {
  files_.AddFile("S:\\movie.swf", "FWS");
  engine_.dialog_folder = "S:\\";
  DialogRuntime& d = Load("  object Movie: TFlashFrame\n    Tag = 1\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Movie").page, "S:\\movie.swf");
  EXPECT_EQ(State("Movie").text, "Unable to play Flash movie");
  files_.files.clear();
  d.Prepare();
  EXPECT_EQ(State("Movie").text, "Add a movie.swf file to your project to display it here.");
}

// --- progress apply

TEST_F(DialogRuntimeTest, TimerCarriesPublishedProgressOnlyDuringBackgroundWork) {
  Set("VORT_IsCancelled", "FALSE");
  Set("VORT_thProgressText", "Copying files");
  Set("VORT_thProgress", "30");
  Set("VORT_thMin", "0");
  Set("VORT_thMax", "60");
  DialogRuntime& d = Load(
      "  object Bar: TProgressBar\n    Tag = 1\n  end\n"
      "  object Status: TStaticText\n    Tag = 1\n  end\n"
      "  object Mine: TGauge\n    Hint = 'STEP'\n    Tag = 100\n  end\n");
  d.Prepare();
  DialogTimerTick(engine_, &d, false);
  EXPECT_EQ(State("Status").text, "");
  EXPECT_FALSE(Defined("VORT_thCancelled"));

  Set("STEP", "75");
  DialogTimerTick(engine_, &d, true);
  EXPECT_EQ(State("Status").text, "Copying files");
  EXPECT_EQ(State("Bar").maximum, 60);
  EXPECT_EQ(State("Bar").position, 30);
  EXPECT_EQ(State("Mine").position, 75);
  EXPECT_EQ(Get("VORT_thCancelled"), "FALSE");
  EXPECT_EQ(hooks_.taskbar, " 30/60");

  Set("VORT_IsCancelled", "TRUE");
  Set("STEP", "soon");
  EXPECT_TRUE(ApplyProgress(engine_, &d, {"$VORT$"}, true));
  EXPECT_EQ(Get("VORT_thCancelled"), "TRUE");
  EXPECT_EQ(State("Mine").position, 100);  // a value it cannot show: full
}

TEST_F(DialogRuntimeTest, TranslationsReplaceDesignTexts) {
  Set("TITLE", "Produkt");
  hooks_.localised = true;
  hooks_.translations = {
      {"Heading", "Willkommen bei $TITLE$"}, {"Name", "$TITLE$"}, {"Test.dfm", "Einrichtung"}};
  DialogRuntime& d = Load(
      "  object Heading: TLabel\n    Caption = 'Welcome to $TITLE$'\n  end\n"
      "  object Name: TEdit\n  end\n"
      "  object Status: TStaticText\n    Caption = 'Ready'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Heading").text, "Willkommen bei Produkt");
  EXPECT_EQ(State("Name").text, "$TITLE$");  // an edit's translation is not expanded
  EXPECT_EQ(State("Status").text, "Ready");
  EXPECT_EQ(d.form_state().text, "Einrichtung - Corvane Wizard");
  d.ShowProgress({"", 0, 100, 0});
  EXPECT_EQ(State("Heading").text, "Willkommen bei Produkt");
}

TEST_F(DialogRuntimeTest, ProgressRefreshKeepsComputedTextsAndFollowsCaptions) {
  table_.Define("Main", true, "");
  table_.SetSpace("Main", "10");
  Set("STEP", "one");
  DialogRuntime& d = Load(
      "  object Required: TStaticText\n    Tag = 4\n  end\n"
      "  object Step: TLabel\n    Caption = 'Step $STEP$'\n  end\n");
  d.Prepare();
  EXPECT_EQ(State("Required").text, "10 bytes");
  Set("STEP", "two");
  d.ShowProgress({"", 0, 100, 50});
  EXPECT_EQ(State("Required").text, "10 bytes");
  EXPECT_EQ(State("Step").text, "Step two");
}

TEST_F(DialogRuntimeTest, ControlsInsideADisabledPanelTakeNoInput) {
  DialogRuntime& d = Load(
      "  object Options: TPanel\n"
      "    object Box: TRzCheckBox\n      Hint = 'BOX'\n    end\n"
      "  end\n"
      "  object Toggle: TRzCheckBox\n    Hint = 'TOGGLE'\n  end\n",
      {"IF (Toggle.Checked = True)  THEN  Options.Enabled := False;",
       "IF (Toggle.Checked = False)  THEN  Options.Enabled := True;"});
  d.Prepare();
  d.Click("Box");
  EXPECT_EQ(Get("BOX"), "TRUE");
  d.Click("Toggle");
  EXPECT_FALSE(State("Options").enabled);
  d.Click("Box");
  EXPECT_EQ(Get("BOX"), "TRUE");
  EXPECT_TRUE(State("Box").checked);
  d.Click("Toggle");
  d.Click("Box");
  EXPECT_EQ(Get("BOX"), "FALSE");
}

TEST_F(DialogRuntimeTest, FullMaskEditMovesTheFocusOnKeyUp) {
  DialogRuntime& d = Load(
      "  object Serial: TMaskEdit\n    Hint = 'SERIAL'\n    EditMask = '0000;1;_'\n"
      "    TabOrder = 3\n  end\n"
      "  object Next: TButton\n    TabOrder = 4\n  end\n");
  d.Prepare();
  d.SetText("Serial", "12");
  EXPECT_EQ(Get("SERIAL"), "12");
  d.MaskKeyUp("Serial", 1);  // the caret is still inside the mask
  EXPECT_EQ(d.focused(), "");
  d.SetText("Serial", "1234");
  d.MaskKeyUp("Serial", 0);
  EXPECT_EQ(d.focused(), "Next");
}

TEST_F(DialogRuntimeTest, LabelsAndShapesActAsButtons) {
  DialogRuntime& d = Load(
      "  object Go: TLabel\n    Tag = 1\n  end\n"
      "  object Back: TShape\n    Tag = 2\n  end\n"
      "  object Pic: TRzBmpButton\n    Tag = 5\n  end\n");
  d.Prepare();
  d.BeginModal();
  d.Click("Go");
  EXPECT_EQ(d.result_code(), result::kNext);
  d.Click("Back");
  EXPECT_EQ(d.result_code(), result::kBack);
  d.Click("Pic");
  EXPECT_EQ(ResultCodeText(d.result_code(), d.result_text()), "PIC");
}

TEST_F(DialogRuntimeTest, ShellControlsWithTagOneUpdateTheDestination) {
  files_.AddFolder("C:\\");
  files_.AddFolder("D:\\");
  files_.AddFolder("D:\\Work");
  Set("TARGETDIR", "C:\\Maker\\App");
  DialogRuntime& d = Load(
      "  object Tree: TPTShellTree\n    Hint = 'PICKED'\n    Tag = 1\n  end\n"
      "  object Places: TPTShellCombo\n    Tag = 1\n  end\n"
      "  object Drives: TDriveComboBox\n    Tag = 1\n  end\n"
      "  object Dest: TEdit\n    Hint = 'TARGETDIR'\n    Tag = 2\n  end\n"
      "  object Mirror: TPTShellTree\n    Hint = 'PICKED'\n    Tag = 100\n  end\n");
  d.Prepare();
  d.Shown();
  EXPECT_EQ(State("Tree").folder, "C:\\");
  EXPECT_EQ(State("Places").folder, "C:\\");
  EXPECT_EQ(State("Drives").folder, "C:\\");
  d.ShowFolder("Tree", "D:\\Work");
  EXPECT_EQ(Get("PICKED"), "D:\\Work");
  EXPECT_EQ(State("Mirror").folder, "D:\\Work");
  EXPECT_EQ(Get("TARGETDIR"), "D:\\Work\\Maker\\App");
  d.PickDrive("Drives", 'D');
  EXPECT_EQ(Get("TARGETDIR"), "D:\\Maker\\App");
  d.ShowFolder("Places", "C:\\");
  EXPECT_EQ(Get("TARGETDIR"), "C:\\Maker\\App");
}

// --- trees with nodes of their own

// One node record of a tree's definition (8-bit or UTF-16 text).
std::string NodeRecord(const std::string& text, uint32_t children, bool wide, int image = 0) {
  auto le32 = [](uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(v >> (8 * i));
    return b;
  };
  std::string body = le32(image) + le32(image) + le32(-1) + le32(-1) + le32(0) + le32(children);
  body.push_back(static_cast<char>(text.size()));
  for (char c : text) {
    body.push_back(c);
    if (wide) body.push_back('\0');
  }
  return le32(static_cast<uint32_t>(body.size())) + body;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

TEST_F(DialogRuntimeTest, TreeNodesOfTheDefinitionAreShownExpanded) {
  std::string count = std::string("\x02\0\0\0", 4);
  std::string data = count + NodeRecord("Fruit", 1, false) + NodeRecord("$KIND$", 0, false) +
                     NodeRecord("Vegetables", 0, false);
  Set("KIND", "Apple");
  DialogRuntime& d = Load("  object Food: TTreeView\n    Hint = 'FOOD'\n    Items.Data = {" +
                          Hex(data) + "}\n  end\n");
  ASSERT_EQ(State("Food").nodes.size(), 3u);
  d.Prepare();
  EXPECT_FALSE(Defined("FOOD"));  // nothing selected yet
  EXPECT_EQ(State("Food").NodePath(1), "Fruit\\Apple");
  EXPECT_EQ(State("Food").nodes[2].parent, -1);
  d.SelectNode("Food", 1);
  EXPECT_EQ(Get("FOOD"), "Apple");

  std::string wide = std::string("\x01\0\0\0", 4) + NodeRecord("Caf\xE9", 0, true);
  EXPECT_EQ(ReadTreeNodes(wide, true).at(0).text, "Caf\xE9");
  // A record that runs past the end, or a child count the data does not hold: no nodes.
  EXPECT_TRUE(ReadTreeNodes(data.substr(0, data.size() - 1), false).empty());
  std::string liar = count + NodeRecord("Fruit", 1000000, false);
  EXPECT_TRUE(ReadTreeNodes(liar, false).empty());
  EXPECT_TRUE(ReadTreeNodes(std::string("\xFF\xFF\xFF\xFF", 4), false).empty());
}

// --- the sample dialogs

TEST_F(DialogRuntimeTest, SampleLicenceNeedsAcceptingAndReading) {
  DialogRuntime& d = LoadSample("Licence");
  ASSERT_EQ(form_->rules().size(), 3u);
  d.Prepare();
  EXPECT_FALSE(State("ButtonNext").enabled);
  EXPECT_FALSE(State("ReadAll").enabled);
  EXPECT_EQ(State("LicenceText").text.rfind("Add a readme..rtf or readme.rtf", 0), 0u);
  d.Click("ButtonNext");
  EXPECT_NE(d.result_code(), result::kNext);
  d.Click("RadioAccept");
  EXPECT_EQ(Get("LICENCEACCEPTED"), "TRUE");
  EXPECT_TRUE(State("ButtonNext").enabled);
  d.Scrolled("LicenceText", {true, 95, 10, 100}, true);
  EXPECT_TRUE(State("ReadAll").enabled);
  d.Click("ReadAll");
  EXPECT_EQ(Get("LICENCEREAD"), "TRUE");
  d.Click("ButtonPrint");
  EXPECT_EQ(ResultCodeText(d.result_code(), d.result_text()), "BUTTONPRINT");
}

TEST_F(DialogRuntimeTest, SampleDestinationFollowsTheFolderControls) {
  files_.AddFolder("C:\\");
  files_.AddFolder("C:\\Program Files");
  files_.AddFolder("E:\\");
  files_.free_space["C:\\"] = 2048;
  Set("TARGETDIR", "C:\\Program Files\\Maker");
  DialogRuntime& d = LoadSample("Destination");
  d.Prepare();
  d.Shown();
  EXPECT_EQ(State("FolderEdit").text, "C:\\Program Files\\Maker");
  EXPECT_TRUE(State("ButtonNext").enabled);
  EXPECT_EQ(State("FreeSpace").text, "2,048 bytes");
  EXPECT_EQ(State("Folders").folder, "C:\\Program Files\\");
  d.SetText("FolderEdit", "");
  EXPECT_FALSE(State("ButtonNext").enabled);
  d.PickDrive("Drives", 'E');
  EXPECT_EQ(Get("TARGETDIR"), "E:\\Maker");
  EXPECT_TRUE(State("ButtonNext").enabled);
  EXPECT_EQ(State("FreeSpace").text, "");  // nothing known about E:
}

TEST_F(DialogRuntimeTest, SampleReadyEnablesNotesForACustomInstall) {
  Set("INSTALLTYPE", "Typical");
  DialogRuntime& d = LoadSample("Ready");
  d.Prepare();
  EXPECT_EQ(State("InstallType").text, "Typical");
  EXPECT_FALSE(State("Notes").enabled);
  d.PickItem("InstallType", 2);
  EXPECT_EQ(Get("INSTALLTYPE"), "Custom");
  EXPECT_TRUE(State("Notes").enabled);
  d.SetText("Notes", "line one\r\nline two");
  EXPECT_EQ(Get("NOTES"), "line one$NEWLINE$line two");
}

TEST_F(DialogRuntimeTest, SampleComponentsShowTheTable) {
  table_.Define("Program", true, "The program files");
  table_.Define("Program\\Help", false, "Help files");
  table_.Define("Samples", false, "");
  DialogRuntime& d = LoadSample("Components");
  d.Prepare();
  d.Prepare();
  EXPECT_FALSE(table_.GetState("Program\\Help"));  // showing the page changes no selection
  EXPECT_EQ(State("Tree").nodes.size(), 3u);
  EXPECT_EQ(State("TopLevel").items, (std::vector<std::string>{"Program", "Samples"}));
  EXPECT_EQ(State("Description").text, "The program files");
  d.SelectNode("Tree", 1);
  EXPECT_EQ(State("Description").text, "Help files");
  d.CheckItem("TopLevel", 1, true);
  EXPECT_TRUE(table_.GetState("Samples"));
  EXPECT_EQ(State("Tree").nodes[2].image, 1);  // the tree shows the new state
}

}  // namespace
}  // namespace corvane::ui
