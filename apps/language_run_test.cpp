// Whole runs of setups that carry translations, on the simulated machine with the headless
// renderer, assembled as corvane-sim assembles them: the language selection at session start
// (with its dialog), the refresh that loads a language, translated commands, dialogs and
// localization variables, the shared language file, and the default pages of a language.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/run_script.h"
#include "image/engine_messages.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#include "tools/corvane-image/script_text.h"
#include "ui/dialog_display.h"
#include "ui/dialog_system.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/wait_loop.h"
#include "ui/window_presenter.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string EngineStub() {
  std::string pe(0x400, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = char(0x80), pe[0x80] = 'P', pe[0x81] = 'E';
  pe[0x86] = 1;
  pe[0x94] = char(0xF0);
  size_t entry = 0x84 + 20 + 0xF0;
  pe[entry + 17] = 0x02;
  pe[entry + 21] = 0x02;
  return pe;
}

std::string ReadHost(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// The command identifier the script text gives the command at an index.
std::string Id(size_t index) { return tools::GeneratedCommandId(index); }

class LanguageRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-language-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "machine");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The four translation lists of the product "Hello" (title + ".mtx") and the German and
  // English translations: rows of context, key, German, English, source text.
  struct Row {
    std::string context, key, german, english, source;
  };
  void Translations(const std::vector<Row>& rows) {
    std::vector<std::string> map, keys, german, english, original;
    for (const Row& r : rows) {
      map.push_back(r.context);
      keys.push_back(r.key);
      german.push_back(r.german);
      english.push_back(r.english);
      original.push_back(r.source);
    }
    support_["translations.Map"] = Lines(map);
    support_["Hello.mtx"] = Lines(keys);
    support_["translations.German"] = Lines(german);
    support_["translations.English"] = Lines(english);
    support_["translations.Original"] = Lines(original);
  }

  // Runs a script (the product header added) with the support files and answers.
  int Run(const std::string& header, const std::string& body, const std::string& answers = "",
          const std::string& args = "") {
    platform::SimOptions options;
    options.machine_folder = (dir_ / "machine").string();
    options.module_path = "C:\\Setup\\setup.exe";
    options.save_registry_on_exit = false;
    if (!machine_.empty()) {
      std::ofstream(dir_ / "machine" / "machine.txt", std::ios::trunc) << machine_;
    }
    sim_ = platform::CreateSimPlatform(options);
    std::string error;
    EXPECT_TRUE(sim_->QueueAnswers(answers, &error)) << error;
    const std::string script =
        ".product-code \"{AAAA0000-0000-4000-8000-000000000001}\"\n"
        ".revision-code \"{AAAA0000-0000-4000-8000-0000000000B1}\"\n"
        ".title \"Hello\"\n" +
        header + body;
    tools::TextCompileResult r = tools::CompileScriptText(script, "C:\\src\\test.zel");
    EXPECT_TRUE(r.ok) << r.error;
    if (!r.ok) return -1;
    auto& f = sim_->files();
    f.CreateDirectories("C:\\Setup");
    f.WriteFile("C:\\Setup\\setup.exe", EngineStub() + r.image);
    f.WriteFile("C:\\Setup\\setup.res", "support");
    f.WriteFile("C:\\Setup\\setup.msi", "database");
    for (const auto& [path, contents] : machine_files_) {
      f.CreateDirectories(path.substr(0, path.rfind('\\')));
      f.WriteFile(path, contents);
    }

    transcript_ = std::make_unique<platform::sim::Transcript>();
    recorded_ = std::make_unique<platform::sim::RecordingPlatform>(*sim_, *transcript_);
    ui::DialogSystem dialogs(recorded_->files());
    std::unique_ptr<ui::WindowPresenter> presenter;
    std::unique_ptr<ui::DialogDisplay> display;
    engine::StartupServices services;
    services.extract_archive = [&](const std::string&, const std::string& folder) {
      for (const auto& e : fs::directory_iterator(SAMPLE_DIALOGS_DIR)) {
        const std::string name = e.path().filename().string();
        const std::string text = ReadHost(e.path());
        if (name.size() > 9 && name.substr(name.size() - 8) == ".dfm.txt") {
          ui::FormObject root = ui::ParseFormText(text);
          f.WriteFile(folder + "\\" + name.substr(0, name.size() - 4),
                      ui::WithResourceHeader(platform::UpperCase(root.class_name),
                                             ui::WriteBinaryStream(root)));
        } else {
          f.WriteFile(folder + "\\" + name, text);
        }
      }
      for (const auto& [name, contents] : support_) f.WriteFile(folder + "\\" + name, contents);
      return true;
    };
    services.prepare_dialogs = [&](const std::string& folder) { dialogs.Start(folder, nullptr); };
    services.load_dialog = [&](long index, const std::string& form_file) {
      dialogs.LoadDialog(std::to_string(index), form_file);
    };
    services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
      engine::RunServices run;
      run.attach = [&](interp::Session& session) {
        presenter = std::make_unique<ui::WindowPresenter>(recorded_->windows(), session.variables);
        display = std::make_unique<ui::DialogDisplay>(session, dialogs, *presenter);
        presenter->on_timer = [&session, d = display.get()] {
          d->TimerTick(ui::IsBackgroundTaskRunning(session));
        };
        session.dialogs = display.get();
        session.exit_cleanups.push_back([&] {
          std::vector<std::string> list;
          session.variables.store().ListAll(&list);
          vars_.clear();
          for (size_t i = 0; i + 1 < list.size(); i += 2) {
            vars_[platform::UpperCase(list[i])] = list[i + 1];
          }
        });
      };
      engine::RunOutcome outcome = engine::RunScript(*recorded_, state, trace, run);
      display.reset();
      presenter.reset();
      state.end_at_once = outcome.end_now;
      return outcome.exit_code;
    };
    int code = engine::RunEngine(*recorded_, services,
                                 "\"C:\\Setup\\setup.exe\"" + (args.empty() ? "" : " " + args));
    sim_->sim_windows().Finish();
    EXPECT_TRUE(sim_->sim_windows().Errors().empty())
        << (sim_->sim_windows().Errors().empty() ? "" : sim_->sim_windows().Errors()[0]);
    return code;
  }

  bool Has(const std::string& fragment) const {
    for (const std::string& l : transcript_->Lines()) {
      if (l.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : transcript_->Lines()) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  std::string Var(const std::string& name) const {
    auto it = vars_.find(name);
    return it == vars_.end() ? "(undefined)" : it->second;
  }
  std::string Transcript() const { return transcript_->Text(); }
  // A dialog of the test's own, written as form text, compiled into the support folder.
  void Dialog(const std::string& name, const std::string& text) {
    ui::FormObject root = ui::ParseFormText(text);
    support_[name + ".dfm"] =
        ui::WithResourceHeader(platform::UpperCase(root.class_name), ui::WriteBinaryStream(root));
    support_[name + ".dfm.zelf"] = "";  // no rules
  }
  // A file on the machine before the run (its folders made).
  std::vector<std::pair<std::string, std::string>> machine_files_;

  fs::path dir_;
  std::string machine_;
  std::map<std::string, std::string> support_;
  std::unique_ptr<platform::SimPlatform> sim_;
  std::unique_ptr<platform::sim::Transcript> transcript_;
  std::unique_ptr<platform::sim::RecordingPlatform> recorded_;
  std::map<std::string, std::string> vars_;
};

const char* kRecordLanguage = "Set Variable \"SEEN\" \"$LANGUAGE$\"\n";

TEST_F(LanguageRun, WithoutTranslationFilesTheRunHasNoLanguage) {
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n", kRecordLanguage), 0);
  EXPECT_EQ(Var("SEEN"), "");
  EXPECT_EQ(Var("LANGUAGE"), "");
  EXPECT_TRUE(Starting("dialog SetLanguage").empty());

  // Translation files without the keys file: no language either.
  Translations({{"", "{x}", "x", "x", "x"}});
  support_.erase("Hello.mtx");
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n", kRecordLanguage), 0);
  EXPECT_EQ(Var("SEEN"), "");
}

TEST_F(LanguageRun, WithTheDialogOffTheDefaultLanguageIsChosenWhenItsFileIsThere) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  ASSERT_EQ(Run(".default-language \"German\"\n", "Set Variable \"SEEN\" \"Hello\"\n"), 0);
  EXPECT_EQ(Var("LANGUAGE"), "German");
  EXPECT_EQ(Var("SEEN"), "Hallo");
  EXPECT_TRUE(Starting("dialog SetLanguage").empty());
  // A default language the setup carries no file for: no language.
  ASSERT_EQ(Run(".default-language \"French\"\n", "Set Variable \"SEEN\" \"Hello\"\n"), 0);
  EXPECT_EQ(Var("LANGUAGE"), "");
  EXPECT_EQ(Var("SEEN"), "Hello");
}

TEST_F(LanguageRun, TheLanguageDialogShowsItsTextsAndTheChoiceBecomesTheLanguage) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n",
                "Set Variable \"SEEN\" \"Hello\"\n",
                "dialog SetLanguage\npick LanguageList German\nclick ButtonOK\n"),
            0);
  const std::string t = Transcript();
  EXPECT_NE(t.find("dialog SetLanguage 1 (key TSetLanguage) shown: \"Select Setup Language\""),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("LanguageLabel (TLabel) \"Please select the language to use during the "
                   "installation:\""),
            std::string::npos);
  EXPECT_NE(t.find("LanguageList (TComboBox) \"English\" items [*English | German]"),
            std::string::npos)
      << "the default language preselected on an English machine";
  EXPECT_NE(t.find("ButtonOK (TButton) \"&OK\""), std::string::npos);
  EXPECT_NE(t.find("ButtonCancel (TButton) \"&Cancel\""), std::string::npos);
  EXPECT_EQ(Var("LANGUAGE"), "German");
  EXPECT_EQ(Var("SEEN"), "Hallo");
}

TEST_F(LanguageRun, CancelInTheLanguageDialogEndsTheRunBeforeTheFirstCommand) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n",
                "Set Variable \"RAN\" \"TRUE\"\nDisplay Dialog \"Welcome\" \"W\" \"TRUE\"\n",
                "dialog SetLanguage\nclick ButtonCancel\n"),
            0);
  EXPECT_EQ(Var("RAN"), "(undefined)");
  EXPECT_TRUE(Starting("dialog Welcome").empty());
  EXPECT_TRUE(Starting("message box").empty()) << "no question: the run just ends";
}

// On a Swiss German system the dialog preselects German: 2055 is no table entry, but the
// system's English name of its language is.
TEST_F(LanguageRun, ASwissGermanLocalePreselectsGerman) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  machine_ = "locale.language = 2055\n";
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n",
                "Set Variable \"SEEN\" \"Hello\"\n"),
            0);
  EXPECT_TRUE(Has("LanguageList (TComboBox) \"German\" items [English | *German]"));
  EXPECT_EQ(Var("LANGUAGE"), "German");  // Enter took the preselection
  // A silent run shows no dialog and takes the preselection too.
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n",
                "Set Variable \"SEEN\" \"Hello\"\n", "", "/s"),
            0);
  EXPECT_TRUE(Starting("dialog SetLanguage").empty());
  EXPECT_EQ(Var("SEEN"), "Hallo");
}

// NEWONLY (no LOCMODE): a text the script changed since it was translated stays as written;
// VARSONLY: only localization variables; any other mode: every text with an entry.
TEST_F(LanguageRun, TranslationModes) {
  Translations(
      {{"", Id(0), "Hallo", "Hello", "Hello"},
       {"", Id(1), "Alter Text", "Old text", "Old text"},
       {"", "CODEGEAR$Greeting$CODEGEAR", "Guten Tag von $TITLE$", "Good day", "Good day"}});
  const std::string body =
      "Set Variable \"A\" \"Hello\"\n"
      "Set Variable \"B\" \"New text\"\n"
      "Localization Variable \"$Greeting$\" \"Good day\"\n"
      "Set Variable \"C\" \"$GREETING$\"\n";
  const std::string header = ".default-language \"German\"\n";
  ASSERT_EQ(Run(header, body), 0);
  EXPECT_EQ(Var("A"), "Hallo");
  EXPECT_EQ(Var("B"), "New text") << "changed since it was translated";
  // The localization key names its variable, written $Greeting$; the translation is expanded.
  EXPECT_EQ(Var("GREETING"), "Guten Tag von Hello");
  EXPECT_EQ(Var("C"), "Guten Tag von Hello");

  // One more command in front: the identifiers move on, the commands' entries no longer match,
  // the localization key still does.
  ASSERT_EQ(Run(header, "Set Variable \"X\" \"Hello\"\n" + body), 0);
  EXPECT_EQ(Var("X"), "Hallo");
  EXPECT_EQ(Var("A"), "Hello");
  EXPECT_EQ(Var("GREETING"), "Guten Tag von Hello");

  ASSERT_EQ(Run(header + ".compiler-variable \"LOCMODE\" \"VARSONLY\"\n", body), 0);
  EXPECT_EQ(Var("A"), "Hello");
  EXPECT_EQ(Var("GREETING"), "Guten Tag von Hello");

  ASSERT_EQ(Run(header + ".compiler-variable \"LOCMODE\" \"ALL\"\n", body), 0);
  EXPECT_EQ(Var("A"), "Hallo");
  EXPECT_EQ(Var("B"), "Alter Text");

  // Without a language the variable is only expanded.
  ASSERT_EQ(Run(".default-language \"French\"\n", body), 0);
  EXPECT_EQ(Var("GREETING"), "Good day");
}

TEST_F(LanguageRun, SwitchingLanguageReloadsAndDialogsFollow) {
  Translations({{"", "CODEGEAR$Word$CODEGEAR", "Wort", "Word!", "word"},
                {"Welcome.dfm", "Headline", "Willkommen bei $TITLE$", "Welcome aboard", ""},
                {"Welcome.dfm", "Welcome.dfm", "Willkommen", "Welcome!", ""}});
  ASSERT_EQ(Run(".default-language \"German\"\n",
                "Display Dialog \"Welcome\" \"W\" \"TRUE\"\n"
                "Localization Variable \"Word\" \"word\"\n"
                "Set Variable \"A\" \"$WORD$\"\n"
                "Set Variable \"LANGUAGE\" \"English\"\n"
                "Localization Variable \"Word\" \"word\"\n"
                "Set Variable \"B\" \"$WORD$\"\n"
                "Display Dialog \"Welcome\" \"W\" \"TRUE\"\n",
                "dialog Welcome\nclick ButtonNext\ndialog Welcome 2\nclick ButtonNext\n"),
            0);
  EXPECT_TRUE(Has("dialog Welcome 1 (key Welcome.dfm) shown: \"Willkommen - Corvane Wizard\""));
  EXPECT_TRUE(Has("Headline (TLabel) \"Willkommen bei Hello\""));
  EXPECT_EQ(Var("A"), "Wort");
  EXPECT_EQ(Var("B"), "Word!");
  EXPECT_TRUE(Has("dialog Welcome 2 (key Welcome.dfm) shown: \"Welcome! - Corvane Wizard\""));
  EXPECT_TRUE(Has("Headline (TLabel) \"Welcome aboard\""));
}

// The shared language file of a language replaces texts of the engine message set: here the
// cancel question.
TEST_F(LanguageRun, TheSharedLanguageFileReplacesTheCancelQuestion) {
  Translations({{"", "{none}", "x", "x", "x"}});
  std::vector<std::string> block;
  for (int n = 1; n <= image::msg::kCount; ++n) {
    block.push_back(std::string(image::EngineMessages::BuiltIn(n)));
  }
  block[image::msg::kCancelQuestion - 1] = "Wollen Sie die Installation wirklich abbrechen?";
  support_["shared.translations.German"] = Lines(block);
  ASSERT_EQ(Run(".default-language \"German\"\n",
                "Wizard Loop\n  Display Dialog \"Welcome\" \"W\" \"TRUE\"\nEnd\n",
                "dialog Welcome\nclick ButtonCancel\nYes\n"),
            0);
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("\"Wollen Sie die Installation wirklich abbrechen?\""), std::string::npos)
      << boxes[0];
  EXPECT_EQ(Var("W"), "CANCEL");
}

TEST_F(LanguageRun, ALanguageTheSetupDoesNotCarryEndsTheRunWithTheRuntimeError) {
  Translations({{"", "{none}", "x", "x", "x"}});
  Run(".default-language \"German\"\n",
      "Set Variable \"LANGUAGE\" \"Klingon\"\nSet Variable \"AFTER\" \"TRUE\"\n");
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Runtime error in setup script:"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("translations.Klingon"), std::string::npos) << boxes[0];
  EXPECT_EQ(Var("AFTER"), "(undefined)");
}

// A support folder below a folder called "shared" is an ordinary place: its languages are
// offered all the same. Only a file whose own name says it is shared is no language.
TEST_F(LanguageRun, OnlyAFileNamedSharedIsLeftOutNotAFolderOfThatName) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  support_["translations.shared"] = "x\r\n";
  machine_ = "temp_folder = C:\\Users\\shared\\Temp\\\n";
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n", kRecordLanguage,
                "dialog SetLanguage\npick LanguageList German\nclick ButtonOK\n"),
            0);
  EXPECT_TRUE(Has("items [*English | German]")) << Transcript();
  EXPECT_EQ(Var("SEEN"), "German");
}

TEST_F(LanguageRun, DefaultPagesComeInTheLanguage) {
  Translations({{"", "{none}", "x", "x", "x"}});
  support_["readme.txt"] = "Read me";
  support_["readme.German.txt"] = "Lies mich";
  ASSERT_EQ(Run(".default-language \"German\"\n",
                "Display Dialog \"Licence\" \"R\" \"TRUE\"\n"
                "Set Variable \"LANGUAGE\" \"English\"\n"
                "Display Dialog \"Licence\" \"R\" \"TRUE\"\n",
                "dialog Licence\nclick RadioAccept\nclick ButtonNext\n"
                "dialog Licence 2\nclick ButtonNext\n"),
            0);
  const std::vector<std::string> shown = Starting("  LicenceText (TRichEdit)");
  ASSERT_GE(shown.size(), 2u) << Transcript();
  EXPECT_NE(shown.front().find("\"Lies mich\""), std::string::npos) << shown.front();
  EXPECT_NE(shown.back().find("\"Read me\""), std::string::npos) << shown.back();
  // Both fit their control: read at once, which the licence page's rule shows.
  EXPECT_TRUE(Has("(LicenceText shows its whole text: read)"));
}

// A patch (or a maintenance run) offers no dialog: the language the installation was made in,
// which the engine cache keeps, is the run's.
TEST_F(LanguageRun, APatchRunTakesTheLanguageTheCacheKeeps) {
  Translations({{"", Id(0), "Hallo", "Hello", "Hello"}});
  machine_files_ = {
      {"C:\\Setup\\setup.msp", "patch"},
      {"C:\\ProgramData\\{AAAA0000-0000-4000-8000-0000000000B1}\\setup.lan", "German\r\n"}};
  ASSERT_EQ(Run(".default-language \"English\"\n.language-dialog \"TRUE\"\n", kRecordLanguage), 0);
  EXPECT_TRUE(Starting("dialog SetLanguage").empty());
  EXPECT_EQ(Var("SEEN"), "German");
  // Without the cached file: no language was saved, none is chosen.
  machine_files_.pop_back();
  fs::remove_all(dir_ / "machine");
  fs::create_directories(dir_ / "machine");
  ASSERT_EQ(Run(".default-language \"French\"\n.language-dialog \"TRUE\"\n", kRecordLanguage), 0);
  EXPECT_EQ(Var("SEEN"), "");
}

// The HTML viewer on the headless renderer: a link the engine handles (a program of the page's
// folder, its path quoted), a link the viewer follows, and the page's meta refresh after its
// delay of virtual time, which names the dialog after the new page.
TEST_F(LanguageRun, TheViewersLinksAndMetaRefreshInTheTranscript) {
  Dialog("Page",
         "object Page: TPage\n  Caption = 'Pages'\n  ClientHeight = 200\n  ClientWidth = 300\n"
         "  object Viewer: THTMLViewer\n    Width = 280\n    Height = 150\n    Tag = 1\n  end\n"
         "  object ButtonNext: TButton\n    Caption = 'Next'\n    Default = True\n"
         "    Tag = 1\n  end\nend\n");
  support_["index.htm"] =
      "<title>Start</title><meta http-equiv=\"refresh\" content=\"3; url=later.htm\">"
      "<a href=\"tool.exe /q\">run</a> <a href=\"notes.htm\">notes</a>";
  support_["notes.htm"] = "<title>Notes</title>notes";
  support_["later.htm"] = "<title>Later</title>later";
  support_["tool.exe"] = "[program]\nexit = 0\n";
  ASSERT_EQ(Run("",
                "Display Dialog \"Page\" \"R\" \"TRUE\"\n"
                "Display Dialog \"Page\" \"R\" \"TRUE\"\n",
                "dialog Page\nlink Viewer tool.exe /q\nlink Viewer notes.htm\nclick ButtonNext\n"
                "dialog Page 2\nwait 3500\nclick ButtonNext\n"),
            0)
      << Transcript();
  const std::string t = Transcript();
  EXPECT_NE(t.find("(the engine handled the link)"), std::string::npos) << t;
  // The program's path in quotes, the parameters after it.
  EXPECT_NE(
      t.find("program create \"\"C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\tool.exe\" /q\""),
      std::string::npos)
      << t;
  EXPECT_NE(t.find("(the viewer shows C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\notes.htm)"),
            std::string::npos);
  // The first display's refresh was for the page it left; the second display's fires.
  EXPECT_NE(t.find("(meta refresh to C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\later.htm: "
                   "caption \"Later\")"),
            std::string::npos);
  EXPECT_EQ(Var("R"), "NEXT");
}

// A script's own message box speaks the language too: caption and text are texts 1 and 2 of
// the command's entry.
TEST_F(LanguageRun, AMessageBoxCommandIsTranslated) {
  Translations(
      {{"", Id(0), "Hinweis", "Notice", "Notice"},
       {"", "", "Die Installation beginnt.", "Installation starts.", "Installation starts."}});
  ASSERT_EQ(Run(".default-language \"German\"\n",
                "MessageBox \"Notice\" \"Installation starts.\" \"0\" \"0\" \"\"\n"),
            0);
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 1u) << Transcript();
  EXPECT_NE(boxes[0].find("\"Hinweis\""), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("\"Die Installation beginnt.\""), std::string::npos) << boxes[0];
}

}  // namespace
}  // namespace corvane
