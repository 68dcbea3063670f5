// Whole runs of web builds and media commands on the simulated machine, assembled as corvane-sim
// assembles them (start-up, RunScript, the headless renderer, the archive library, the
// transcript), against a loopback server that the tests start and whose request log they read.
// Archives are real 7-Zip archives made with 7zz for each test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <tuple>

#include "engine/run_script.h"
#include "install/archive_access.h"
#include "install/sha256.h"
#include "install/web_download.h"
#include "interp/session.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#include "tests/support/loopback_server.h"
#include "tools/corvane-image/script_text.h"
#include "ui/dialog_display.h"
#include "ui/dialog_system.h"
#include "ui/wait_loop.h"
#include "ui/window_presenter.h"

namespace corvane::install {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;
using testing::Route;

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

void WriteHost(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Some bytes that do not compress away (so a "cut at 50%" cuts real data).
std::string Noise(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

constexpr const char* kRevision = "{ABCD0000-0000-4000-8000-0000000000B1}";
constexpr const char* kHeader =
    ".product-code \"{ABCD0000-0000-4000-8000-000000000001}\"\n"
    ".revision-code \"{ABCD0000-0000-4000-8000-0000000000B1}\"\n"
    ".title \"Media\"\n";

class MediaRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-media-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::string error;
    library_ = ArchiveLibrary::Load(ZEL_LIBRARY_PATH, &error);
    ASSERT_TRUE(library_) << error;
  }
  void TearDown() override {
    if (HasFailure() && transcript_) {
      for (const std::string& l : transcript_->Lines()) std::printf("  | %s\n", l.c_str());
      for (const std::string& l : Trace()) std::printf("  > %s\n", l.c_str());
    }
    fs::remove_all(dir_);
  }

  // A 7-Zip archive made by 7zz from a folder of files (path -> bytes) below `top`, with extra
  // 7zz switches; its bytes.
  std::string MakeArchive(const std::map<std::string, std::string>& files,
                          const std::string& switches = "") {
    const fs::path src = dir_ / ("src" + std::to_string(++archives_));
    for (const auto& [path, bytes] : files) WriteHost(src / path, bytes);
    const fs::path out = dir_ / ("a" + std::to_string(archives_) + ".7z");
    EXPECT_EQ(Shell("cd " + src.string() + " && 7zz a -t7z -bd -bso0 " + switches + " " +
                    out.string() + " . >/dev/null"),
              0);
    return ReadHost(out);
  }

  // The machine's description lines (machine.txt), kept for every run of the test.
  void Machine(const std::string& text) { WriteHost(dir_ / "machine" / "machine.txt", text); }

  // Runs a script (header lines added) from C:\Setup with an answers file; returns the exit
  // code. The machine stays between the runs of a test.
  int Run(const std::string& body, const std::string& answers = "", const std::string& args = "",
          std::map<std::string, std::string> setup_files = {}) {
    platform::SimOptions options;
    options.machine_folder = (dir_ / "machine").string();
    options.module_path = setup_folder_ + "\\setup.exe";
    options.save_registry_on_exit = true;
    sim_ = platform::CreateSimPlatform(options);
    std::string error;
    EXPECT_TRUE(sim_->QueueAnswers(answers, &error)) << error;
    tools::TextCompileResult r =
        tools::CompileScriptText(std::string(kHeader) + body, "C:\\src\\media.zel");
    EXPECT_TRUE(r.ok) << r.error;
    if (!r.ok) return -1;
    auto& f = sim_->files();
    f.CreateDirectories(setup_folder_);
    f.WriteFile(setup_folder_ + "\\setup.exe", EngineStub() + r.image);
    f.WriteFile(setup_folder_ + "\\setup.res", "support");
    f.WriteFile(setup_folder_ + "\\setup.msi", "database");
    for (const auto& [name, bytes] : setup_files) f.WriteFile(setup_folder_ + "\\" + name, bytes);

    transcript_ = std::make_shared<platform::sim::Transcript>();
    recorded_ = std::make_shared<platform::sim::RecordingPlatform>(*sim_, *transcript_);
    RunArchive::Options archive_options;
    platform::SimPlatform* machine = sim_.get();
    archive_options.library_path = [machine](const std::string& path) {
      return machine->HostPath(path).string();
    };
    archive_options.mark_keeper = &sim_->files();
    platform::sim::Transcript* transcript = transcript_.get();
    archive_options.note = [transcript](const std::string& line) { transcript->Add(line); };
    auto archive = std::make_shared<RunArchive>(library_, "", archive_options);

    ui::DialogSystem dialogs(recorded_->files());
    std::unique_ptr<ui::WindowPresenter> presenter;
    std::unique_ptr<ui::DialogDisplay> display;
    engine::StartupServices services;
    services.extract_archive = [&](const std::string&, const std::string&) { return true; };
    services.prepare_dialogs = [&](const std::string& folder) { dialogs.Start(folder, nullptr); };
    services.load_dialog = [&](long, const std::string&) {};
    services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
      engine::RunServices run;
      // A worker the watchdog gave up on keeps the machine until it ends.
      run.keep_alive =
          std::make_shared<std::tuple<std::shared_ptr<platform::SimPlatform>,
                                      std::shared_ptr<platform::sim::Transcript>,
                                      std::shared_ptr<platform::sim::RecordingPlatform>>>(
              sim_, transcript_, recorded_);
      run.attach = [&](interp::Session& session) {
        presenter = std::make_unique<ui::WindowPresenter>(recorded_->windows(), session.variables);
        display = std::make_unique<ui::DialogDisplay>(session, dialogs, *presenter);
        presenter->on_timer = [&session, d = display.get()] {
          d->TimerTick(ui::IsBackgroundTaskRunning(session));
        };
        session.dialogs = display.get();
        session.Attach<ui::DialogDisplay>(display.get());
        session.Attach<RunArchive>(archive.get());
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
    int code = engine::RunEngine(
        *recorded_, services,
        "\"" + setup_folder_ + "\\setup.exe\" /l=C:\\run.log" + (args.empty() ? "" : " " + args));
    sim_->sim_windows().Finish();
    sim_->SaveRegistry();
    return code;
  }

  bool Has(const std::string& fragment) const {
    for (const std::string& l : transcript_->Lines()) {
      if (l.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  int Count(const std::string& fragment) const {
    int n = 0;
    for (const std::string& l : transcript_->Lines()) n += l.find(fragment) != std::string::npos;
    return n;
  }
  std::string Var(const std::string& name) const {
    auto it = vars_.find(name);
    return it == vars_.end() ? "(undefined)" : it->second;
  }
  std::string FileOnMachine(const std::string& path) {
    std::string s;
    if (sim_->files().ReadFile(path, &s) != platform::Status::kOk) return "(missing)";
    return s;
  }
  bool ExistsOnMachine(const std::string& path) {
    uint32_t a = 0;
    return sim_->files().GetAttributes(path, &a) == platform::Status::kOk;
  }
  // The trace log lines of the last run (UTF-16LE on the machine).
  std::vector<std::string> Trace() {
    std::string bytes = FileOnMachine("C:\\run.log");
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      char c = bytes[i + 1] == 0 ? bytes[i] : '?';
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else if (c != '\r') {
        line += c;
      }
    }
    return lines;
  }
  bool Traced(const std::string& fragment) {
    for (const std::string& l : Trace()) {
      if (l.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  // The requests the server saw: "METHOD /path range".
  std::vector<std::string> Requests() {
    std::vector<std::string> out;
    for (const auto& r : server_.Log()) {
      out.push_back(r.method + " " + r.target + " " + r.Header("Range"));
    }
    return out;
  }
  // The engine cache folder of the product (per user: ALLUSERS is not set).
  std::string Cache() {
    std::string c = Var("ENGINECACHE");
    if (!c.empty() && c.back() != '\\') c += '\\';
    return c;
  }

  fs::path dir_;
  std::shared_ptr<const ArchiveLibrary> library_;
  LoopbackServer server_;
  std::shared_ptr<platform::SimPlatform> sim_;
  std::shared_ptr<platform::sim::Transcript> transcript_;
  std::shared_ptr<platform::sim::RecordingPlatform> recorded_;
  std::map<std::string, std::string> vars_;
  int archives_ = 0;
  std::string setup_folder_ = "C:\\Setup";  // where the setup runs from
};

// --- the web media block

// A web build that fetches Block1 for Install Files; the addresses are the block's mirrors.
std::string WebScript(const std::vector<std::string>& addresses, const std::string& extra = "") {
  std::string lines;
  for (const std::string& a : addresses) lines += (lines.empty() ? "" : "$NEWLINE$") + a;
  return ".build-mode 2\n"
         ".support-file \"Block1\" \"bin\\tool.exe\" \"Tools\\\"\n" +
         extra + "Web Media Block \"Block1\" \"" + lines +
         "\"\n"
         "[header 0A000001 media \"Block1\\\"] Install Files \"src\" \"*\" \"C:\\App\"\n";
}

std::map<std::string, std::string> BlockFiles() {
  return {{"Block1/readme.txt", "read me\r\n"},
          {"Block1/bin/tool.exe", Noise(200000, 7)},
          {"Block1/data/big.dat", Noise(600000, 9)}};
}

TEST_F(MediaRun, AFirstWebInstallDownloadsOnceAndARerunAsksNothing) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  server_.Serve("/Block1.7zip", archive);
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s"), 0);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"HEAD /Block1.7zip ", "GET /Block1.7zip "}));
  const std::string c = Cache();
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(FileOnMachine(c + "Block1\\readme.txt"), "read me\r\n");
  EXPECT_EQ(FileOnMachine(c + "Block1\\data\\big.dat"), Noise(600000, 9));
  // The placement list moved the tool to its folder of the cache.
  EXPECT_EQ(FileOnMachine(c + "Tools\\tool.exe"), Noise(200000, 7));
  EXPECT_FALSE(ExistsOnMachine(c + "Block1\\bin\\tool.exe"));
  EXPECT_FALSE(ExistsOnMachine(c + "Block1.7zip"));  // the archive went after its extraction
  EXPECT_EQ(FileOnMachine(c + "Block1\\" + kRevision), "");  // the marker
  EXPECT_TRUE(
      Traced("<WebMediaDownload " + server_.Url("/Block1.7zip") + ": http client: complete>"));
  // No staging folder stays in the temporary folder.
  std::vector<platform::FileEntry> temp;
  sim_->files().List(sim_->system().TempFolder(), "vort*", &temp);
  EXPECT_TRUE(temp.empty());

  // A rerun finds the marker: nothing is asked of the server.
  server_.ClearLog();
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s"), 0);
  EXPECT_TRUE(Requests().empty());
  // A removal run asks nothing either, whatever the cache holds.
  sim_->files().DeleteFile(c + "Block1\\" + kRevision);
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s REMOVE=TRUE"), 0);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(MediaRun, AnArchiveBesideTheSetupIsUsedAndKept) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s", {{"Block1.7zip", archive}}), 0);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\readme.txt"), "read me\r\n");
  EXPECT_EQ(FileOnMachine("C:\\Setup\\Block1.7zip"), archive);  // never deleted
}

TEST_F(MediaRun, AMirrorThatAnswers404IsFollowedByTheNext) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  Route missing;
  missing.status = 404;
  missing.body = std::make_shared<const std::string>("not here");
  server_.Serve("/one/Block1.7zip", missing);
  server_.Serve("/two/Block1.7zip", archive);
  ASSERT_EQ(
      Run(WebScript({server_.Url("/one/Block1.7zip"), server_.Url("/two/Block1.7zip")}), "", "/s"),
      0);
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{"HEAD /one/Block1.7zip ", "HEAD /two/Block1.7zip ",
                                      "GET /two/Block1.7zip "}));
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\data\\big.dat"), Noise(600000, 9));
}

TEST_F(MediaRun, ACutBodyResumesWithARangeAndTheResultIsWhole) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  Route cut;
  cut.body = std::make_shared<const std::string>(archive);
  cut.cut_at = static_cast<int64_t>(archive.size() / 2);
  cut.cut_count = 1;
  server_.Serve("/Block1.7zip", cut);
  // The broken download asks whether to try again (our client: the proxy dialog); Yes.
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "dialog zelProxy\nclick ButtonYes\n"), 0);
  const int64_t half = static_cast<int64_t>(archive.size() / 2);
  EXPECT_EQ(Requests(), (std::vector<std::string>{
                            "HEAD /Block1.7zip ", "GET /Block1.7zip ", "HEAD /Block1.7zip ",
                            "GET /Block1.7zip bytes=" + std::to_string(half - 2048) + "-"}));
  EXPECT_TRUE(Has("dialog zelProxy 1 (key zelProxy.dfm) shown: \"Retry Download?\" at"));
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\data\\big.dat"), Noise(600000, 9));
  EXPECT_EQ(FileOnMachine(Cache() + "Tools\\tool.exe"), Noise(200000, 7));
}

TEST_F(MediaRun, TheProxyTheUserGivesInTheRetryDialogIsUsedFromThenOn) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  server_.Serve("/Block1.7zip", archive);
  // The way out goes through a proxy that wants Basic credentials: nothing without them.
  server_.RequireProxyAuthorization("proxyuser", "proxypass");
  const std::string port = std::to_string(server_.port());
  ASSERT_EQ(Run(WebScript({"http://127.0.0.1:1/Block1.7zip"}),
                "dialog zelProxy\ntype ServerEdit 127.0.0.1\ntype PortEdit " + port +
                    "\ntype UserEdit proxyuser\ntype PasswordEdit proxypass\nclick ButtonYes\n"),
            0);
  const auto log = server_.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().method, "GET");
  EXPECT_EQ(log.back().target, "http://127.0.0.1:1/Block1.7zip");
  EXPECT_EQ(log.back().Header("Proxy-Authorization"),
            "Basic " + testing::Base64("proxyuser:proxypass"));
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\readme.txt"), "read me\r\n");
  // The screen shows the password as stars.
  EXPECT_TRUE(Has("PasswordEdit (TEdit) \"*********\""));
  EXPECT_FALSE(Has("PasswordEdit (TEdit) \"proxypass\""));
}

TEST_F(MediaRun, AServerThatIgnoresTheRangeIsReadFromTheStart) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles());
  Route whole;
  whole.body = std::make_shared<const std::string>(archive);
  whole.honour_range = false;
  server_.Serve("/Block1.7zip", whole);
  // A partial file from an earlier run: more than 2048 bytes, with a wrong tail.
  std::string partial = archive.substr(0, archive.size() / 3) + std::string(5000, 'X');
  Run("Set Variable \"X\" \"1\"\n", "", "/s");
  const std::string c = Cache();
  ASSERT_FALSE(c.empty());
  sim_->files().CreateDirectories(c.substr(0, c.size() - 1));
  sim_->files().WriteFile(c + "Block1.7zip", partial);
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s"), 0);
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], "GET /Block1.7zip bytes=" + std::to_string(partial.size() - 2048) + "-");
  EXPECT_EQ(FileOnMachine(c + "Block1\\data\\big.dat"), Noise(600000, 9));
}

TEST_F(MediaRun, AStalledServerTimesOutAndASilentRunNeverAsks) {
  Machine("url_download = false\n");
  Route stall;
  stall.body = std::make_shared<const std::string>("never");
  stall.stall_ms = 30000;
  server_.Serve("/Block1.7zip", stall);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")},
                          "Set Variable \"ABORTONERROR\" \"FALSE\"\n"
                          "Set Variable \"VORT_TIMEOUT\" \"2\"\n"),
                "", "/s"),
            0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("a stalled server ended the download after %.1f s (VORT_TIMEOUT 2)\n", seconds);
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
  EXPECT_FALSE(Has("zelProxy"));  // silent: no retry dialog
  EXPECT_TRUE(Traced("<Message>Unable to download installation data from the web"));
  EXPECT_TRUE(Traced("http client: timed out"));
}

TEST_F(MediaRun, AllMirrorsFailingShowsTheFailureAndTheScriptGoesOn) {
  Machine("url_download = false\n");
  Route missing;
  missing.status = 404;
  missing.body = std::make_shared<const std::string>("gone");
  server_.Serve("/a/Block1.7zip", missing);
  server_.Serve("/b/Block1.7zip", missing);
  ASSERT_EQ(Run(WebScript({server_.Url("/a/Block1.7zip"), server_.Url("/b/Block1.7zip")},
                          "Set Variable \"ABORTONERROR\" \"FALSE\"\n") +
                    "Set Variable \"AFTER\" \"reached\"\n",
                "dialog zelProxy\nclick ButtonNo\nOK\n"),
            0);
  EXPECT_TRUE(Has("Unable to download installation data from the web"));
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(Var("AFTER"), "reached");
  EXPECT_EQ(Count("dialog zelProxy 1 (key zelProxy.dfm) shown"), 1);
}

TEST_F(MediaRun, AWrongPasswordIsTriedTenTimesThenFailsWithTheCannotOpenText) {
  Machine("url_download = false\n");
  const std::string archive = MakeArchive(BlockFiles(), "-pright -mhe=on");
  server_.Serve("/Block1.7zip", archive);
  ASSERT_EQ(
      Run(".media-password \"Block1\" \"wrong\"\n" +
              WebScript({server_.Url("/Block1.7zip")}, "Set Variable \"ABORTONERROR\" \"FALSE\"\n"),
          "", "/s"),
      0);
  EXPECT_EQ(Count("(failed: The archive cannot be opened: unsupported archive or incorrect "
                  "password)"),
            10);
  EXPECT_TRUE(Traced("The archive cannot be opened: unsupported archive or incorrect password"));
  EXPECT_TRUE(Traced("<Message>Unable to extract installation data downloaded from the web"));
  EXPECT_FALSE(ExistsOnMachine(Cache() + "Block1"));
  // The right password extracts it.
  ASSERT_EQ(Run(".media-password \"Block1\" \"right\"\n" + WebScript({server_.Url("/Block1.7zip")}),
                "", "/s"),
            0);
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\readme.txt"), "read me\r\n");
}

TEST_F(MediaRun, AnArchiveWithAnotherHashCountsAsAFailedMirror) {
  Machine("url_download = false\n");
  const std::string good = MakeArchive(BlockFiles());
  const std::string other = MakeArchive({{"Block1/readme.txt", "planted\r\n"}});
  server_.Serve("/evil/Block1.7zip", other);
  server_.Serve("/good/Block1.7zip", good);
  const std::string hash =
      ".compiler-variable \"MEDIASHA256.Block1\" \"" + Sha256Hex(good) + "\"\n";
  ASSERT_EQ(
      Run(hash + WebScript({server_.Url("/evil/Block1.7zip"), server_.Url("/good/Block1.7zip")}),
          "", "/s"),
      0);
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\readme.txt"), "read me\r\n");
  EXPECT_TRUE(Traced("but its SHA-256 is " + Sha256Hex(other)));
  EXPECT_TRUE(Traced("/good/Block1.7zip: http client: complete, SHA-256 verified"));
}

TEST_F(MediaRun, EachBlockKeepsItsOwnAddressesAndPassword) {
  Machine("url_download = false\n");
  const std::string one = MakeArchive({{"One/a.txt", "first block"}}, "-pone");
  const std::string two = MakeArchive({{"Two/b.txt", "second block"}}, "-ptwo");
  server_.Serve("/One.7zip", one);
  server_.Serve("/Two.7zip", two);
  const std::string script =
      ".build-mode 2\n"
      ".media-password \"One\" \"one\"\n"
      ".media-password \"Two\" \"two\"\n"
      "Web Media Block \"One\" \"" +
      server_.Url("/One.7zip") +
      "\"\n"
      "Web Media Block \"Two\" \"" +
      server_.Url("/Two.7zip") +
      "\"\n"
      "[header 0A000001 media \"One\\\"] Install Files \"src\" \"*\" \"C:\\App\"\n"
      "[header 0A000002 media \"Two\\\"] Install Files \"src\" \"*\" \"C:\\App\"\n";
  ASSERT_EQ(Run(script, "", "/s"), 0);
  EXPECT_EQ(FileOnMachine(Cache() + "One\\a.txt"), "first block");
  EXPECT_EQ(FileOnMachine(Cache() + "Two\\b.txt"), "second block");
}

TEST_F(MediaRun, TheSystemDownloaderIsUsedFirstAndJudgedByTheEngine) {
  // A downloader that reports success for an error page and a cut body: the engine looks for
  // itself.
  Machine("url_download = lenient\n");
  const std::string archive = MakeArchive(BlockFiles());
  Route cut;
  cut.body = std::make_shared<const std::string>(archive);
  cut.cut_at = static_cast<int64_t>(archive.size() / 2);
  server_.Serve("/c/Block1.7zip", cut);
  Route missing;
  missing.status = 404;
  missing.body = std::make_shared<const std::string>("<html>");
  server_.Serve("/a/Block1.7zip", missing);
  server_.Serve("/b/Block1.7zip", archive);
  ASSERT_EQ(Run(WebScript({server_.Url("/a/Block1.7zip"), server_.Url("/c/Block1.7zip"),
                           server_.Url("/b/Block1.7zip")}),
                "", "/s"),
            0);
  // GET only: the system downloader asks no HEAD.
  EXPECT_EQ(Requests(), (std::vector<std::string>{"GET /a/Block1.7zip ", "GET /c/Block1.7zip ",
                                                  "GET /b/Block1.7zip "}));
  EXPECT_TRUE(Has("system download " + server_.Url("/a/Block1.7zip") + " -> 0x00000000"));
  EXPECT_TRUE(Traced("system downloader: the server answered 404"));
  EXPECT_TRUE(Traced("/c/Block1.7zip: system downloader: the file holds " +
                     std::to_string(archive.size() / 2) + " of " + std::to_string(archive.size()) +
                     " bytes"));
  EXPECT_TRUE(Traced("/b/Block1.7zip: system downloader: complete"));
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\data\\big.dat"), Noise(600000, 9));
  // The receive time-out was only there during the download.
  EXPECT_EQ(sim_->registry().ReadValue(platform::RegRoot::kCurrentUser, kInternetSettingsKey,
                                       kReceiveTimeoutValue, platform::RegView::kNative, nullptr),
            platform::Status::kNotFound);
}

TEST_F(MediaRun, AnExistingReceiveTimeoutIsPutBack) {
  const std::string archive = MakeArchive(BlockFiles());
  server_.Serve("/Block1.7zip", archive);
  Run("Set Variable \"X\" \"1\"\n", "", "/s");
  sim_->registry().WriteValue(platform::RegRoot::kCurrentUser, kInternetSettingsKey,
                              kReceiveTimeoutValue, platform::RegView::kNative,
                              platform::RegValue::Dword(123456));
  sim_->SaveRegistry();
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}), "", "/s"), 0);
  platform::RegValue v;
  ASSERT_EQ(sim_->registry().ReadValue(platform::RegRoot::kCurrentUser, kInternetSettingsKey,
                                       kReceiveTimeoutValue, platform::RegView::kNative, &v),
            platform::Status::kOk);
  EXPECT_EQ(v.AsNumber(), 123456u);
}

TEST_F(MediaRun, ACancelEndsTheDownloadWithoutAskingAgain) {
  Machine("url_download = false\n");
  Route stall;
  stall.body = std::make_shared<const std::string>("never");
  stall.stall_ms = 30000;
  server_.Serve("/Block1.7zip", stall);
  // The user has cancelled (ABORT written by the script stands for a confirmed Cancel).
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")},
                          "Set Variable \"ABORTONERROR\" \"FALSE\"\n"
                          "Set Variable \"ABORT\" \"TRUE\"\n"),
                "OK\n"),
            0);
  EXPECT_FALSE(Has("zelProxy"));
  EXPECT_TRUE(Has("Unable to download installation data from the web"));
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
}

TEST_F(MediaRun, TheRetryQuestionsDecideOnTheirOwnAfterSixtySeconds) {
  // A damaged archive beside the setup: its extraction fails, "Retry Extraction?" waits 60 s
  // and takes its default, a fresh copy; the download (the system's downloader, which reports
  // a cut body as success) breaks once, "Retry Download?" waits and resumes.
  Machine("url_download = lenient\n");
  const std::string archive = MakeArchive(BlockFiles(), "-mx0");
  std::string damaged = archive;
  damaged[damaged.size() / 2] ^= 0x55;
  Route cut;
  cut.body = std::make_shared<const std::string>(archive);
  cut.cut_at = static_cast<int64_t>(archive.size() / 3);
  cut.cut_count = 1;
  server_.Serve("/Block1.7zip", cut);
  ASSERT_EQ(Run(WebScript({server_.Url("/Block1.7zip")}),
                "dialog zelExtract\nwait 60000\ndialog zelProxyEx\nwait 60000\n", "",
                {{"Block1.7zip", damaged}}),
            0);
  EXPECT_TRUE(Has("dialog zelExtract 1 (key zelExtract.dfm) shown: \"Retry Extraction?\" at"));
  EXPECT_TRUE(Has("dialog zelProxyEx 1 (key zelProxyEx.dfm) shown: \"Retry Download?\" at"));
  EXPECT_EQ(Count("(no answer in 60000 ms: the dialog decides)"), 2);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"GET /Block1.7zip ", "GET /Block1.7zip "}));
  EXPECT_EQ(FileOnMachine(Cache() + "Block1\\data\\big.dat"), Noise(600000, 9));
  EXPECT_EQ(FileOnMachine("C:\\Setup\\Block1.7zip"), damaged);  // refused, never deleted
}

// --- Extract 7Zip Archive

TEST_F(MediaRun, Extract7ZipArchiveKeepsOrDropsFolders) {
  const std::string archive =
      MakeArchive({{"top/a.txt", "A"}, {"top/sub/b.txt", "B"}, {"c.txt", "C"}});
  ASSERT_EQ(Run("Extract 7Zip Archive \"C:\\Setup\\data.7z\" \"C:\\Out\\Kept\" \"R1\" \"\" "
                "\"TRUE\" \"TRUE\"\n"
                "Extract 7Zip Archive \"C:\\Setup\\data.7z\" \"C:\\Out\\Flat\" \"R2\" \"\" "
                "\"TRUE\" \"FALSE\"\n"
                "Extract 7Zip Archive \"C:\\Setup\\none.7z\" \"C:\\Out\\None\" \"R3\" \"\" "
                "\"TRUE\" \"TRUE\"\n",
                "", "/s", {{"data.7z", archive}}),
            0);
  EXPECT_EQ(Var("R1"), "SUCCESS");
  EXPECT_EQ(FileOnMachine("C:\\Out\\Kept\\top\\sub\\b.txt"), "B");
  EXPECT_EQ(FileOnMachine("C:\\Out\\Kept\\c.txt"), "C");
  EXPECT_EQ(Var("R2"), "SUCCESS");
  EXPECT_EQ(FileOnMachine("C:\\Out\\Flat\\b.txt"), "B");
  EXPECT_EQ(FileOnMachine("C:\\Out\\Flat\\a.txt"), "A");
  EXPECT_FALSE(ExistsOnMachine("C:\\Out\\Flat\\top"));
  EXPECT_EQ(Var("R3"), "The archive file was not found");
}

TEST_F(MediaRun, Extract7ZipArchiveWithAWrongPasswordGivesTheLibrarysText) {
  const std::string archive = MakeArchive({{"a.txt", "secret data"}}, "-pright");
  const std::string hidden = MakeArchive({{"a.txt", "secret data"}}, "-pright -mhe=on");
  ASSERT_EQ(Run("Extract 7Zip Archive \"C:\\Setup\\d.7z\" \"C:\\Out\" \"R1\" \"wrong\" \"TRUE\" "
                "\"TRUE\"\n"
                "Extract 7Zip Archive \"C:\\Setup\\h.7z\" \"C:\\Out\" \"R2\" \"wrong\" \"TRUE\" "
                "\"TRUE\"\n"
                "Extract 7Zip Archive \"C:\\Setup\\d.7z\" \"C:\\Out\" \"R3\" \"right\" \"TRUE\" "
                "\"TRUE\"\n",
                "", "/s", {{"d.7z", archive}, {"h.7z", hidden}}),
            0);
  EXPECT_EQ(Var("R1").substr(0, 1), "#");  // the data cannot be decrypted: the library's number
  EXPECT_EQ(Var("R2"), "The archive cannot be opened: unsupported archive or incorrect password");
  EXPECT_EQ(Var("R3"), "SUCCESS");
  EXPECT_EQ(FileOnMachine("C:\\Out\\a.txt"), "secret data");
}

TEST_F(MediaRun, Extract7ZipArchiveCancelledGoesOnWithAbortOnErrorFalse) {
  // Many entries: the job looks at the cancel as each one starts.
  std::map<std::string, std::string> files;
  for (int i = 0; i < 400; ++i) files["f" + std::to_string(i) + ".bin"] = Noise(50000, i);
  const std::string archive = MakeArchive(files, "-mx0");
  ASSERT_EQ(
      Run("Set Variable \"ABORTONERROR\" \"FALSE\"\n"
          "Set Variable \"ABORT\" \"TRUE\"\n"
          "Extract 7Zip Archive \"C:\\Setup\\d.7z\" \"C:\\Out\" \"R1\" \"\" \"TRUE\" \"TRUE\"\n"
          "Extract 7Zip Archive \"C:\\Setup\\d.7z\" \"C:\\Out2\" \"R2\" \"\" \"TRUE\" \"TRUE\"\n"
          "Set Variable \"AFTER\" \"reached\"\n",
          "OK\n", "", {{"d.7z", archive}}),
      0);
  EXPECT_EQ(Count("\"Setup cancelled\""), 1);  // once, though both were cancelled
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
  // The job stopped at the cancel (the library's number), or, where it did not show life soon
  // enough, the watchdog gave it up: never "SUCCESS".
  EXPECT_TRUE(Var("R1").substr(0, 1) == "#" ||
              Var("R1") == "The extraction was stopped after the cancel")
      << Var("R1");
  EXPECT_FALSE(ExistsOnMachine("C:\\Out\\f399.bin"));
  EXPECT_EQ(Var("AFTER"), "reached");
}

// --- removable media

TEST_F(MediaRun, ASetupWhoseMediumWasTakenOutEndsAtOnceAfterSavingItsState) {
  // A stand-in program that runs 30 s of virtual time: the medium of D: goes after 20 s.
  const std::string script =
      "Set Variable \"KEPT$VORT$VORT$TRUE\" \"kept\"\n"
      "Run Program \"C:\\Tools\\slow.exe\" \"FALSE\" \"\" \"TRUE\"\n"
      "Set Variable \"AFTER\" \"reached\"\n";
  Machine("drive.D = removable\ndrive.D.eject_after_ms = 20000\n");
  setup_folder_ = "D:\\Media";
  Run("Set Variable \"X\" \"1\"\n", "", "/s");
  sim_->files().CreateDirectories("C:\\Tools");
  sim_->files().WriteFile("C:\\Tools\\slow.exe", "[program]\nexit = 0\nrun = 30000\n");
  // (not silent: the wait lets the virtual time of the program pass at once)
  ASSERT_EQ(Run(script), 0);
  EXPECT_EQ(Var("AFTER"), "reached");
  std::vector<std::string> trace = Trace();
  ASSERT_GE(trace.size(), 8u);
  EXPECT_EQ(
      std::vector<std::string>(trace.end() - 8, trace.end()),
      (std::vector<std::string>{"  </RunScript>", "  <Free>", "  </Free>", "  <CachedSupportDir>",
                                "  </CachedSupportDir>", "  <RemovableMediaPrematureEject>",
                                "  </RemovableMediaPrematureEject>", "</Corvane>"}));
  // The run's state was saved into the engine cache (which hides its folder) before the end.
  EXPECT_TRUE(Has("file attributes " + Cache().substr(0, Cache().size() - 1) + " 0x12"));

  // The same from a fixed disk, or from a removable one that stays: an ordinary end.
  Machine("drive.D = removable\n");
  ASSERT_EQ(Run(script), 0);
  trace = Trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.back(), "</Corvane>");
  EXPECT_FALSE(Traced("RemovableMediaPrematureEject"));
}

}  // namespace
}  // namespace corvane::install
