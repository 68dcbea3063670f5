// Web installs by whole setups from a loopback server that the test starts as its own process:
// the block is downloaded through the system's downloader and, where that is taken away, through
// our own HTTP client; then the installer runs ("COMPLETE"). Under Wine with the x86_64
// corvane.exe, natively with corvane-sim.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/e2e/e2e_support.h"

namespace {

using namespace corvane::e2e;
namespace fs = std::filesystem;

// corvane-loopback-server in a process of its own, ended by closing its standard input.
class ServerProcess {
 public:
  ServerProcess(const fs::path& work, const std::vector<std::string>& routes) : work_(work) {
    port_file_ = work / "port.txt";
    log_file_ = work / "requests.txt";
    fs::remove(port_file_);
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    std::vector<std::string> args = {(kNative / "install" / "corvane-loopback-server").string(),
                                     "--port-file",
                                     port_file_.string(),
                                     "--log",
                                     log_file_.string(),
                                     "--stdin",
                                     "--seconds",
                                     "600"};
    args.insert(args.end(), routes.begin(), routes.end());
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[0], 0);
      close(pipe_fds[1]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(pipe_fds[0]);
    input_ = pipe_fds[1];
    // The port file appears once the server listens (bounded wait).
    for (int i = 0; i < 200 && !fs::exists(port_file_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::string text = ReadFile(port_file_);
    port_ = text.empty() ? 0 : std::stoi(text);
  }
  ~ServerProcess() { Stop(); }

  // Ends the server; its request log is written then.
  std::vector<std::string> Stop() {
    if (pid_ > 0) {
      close(input_);
      int status = 0;
      for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = 0;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
      }
      if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = 0;
      }
    }
    std::vector<std::string> lines;
    std::string text = ReadFile(log_file_), line;
    for (char c : text) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return lines;
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }

 private:
  fs::path work_, port_file_, log_file_;
  pid_t pid_ = -1;
  int input_ = -1;
  int port_ = 0;
};

const char* kWebInstall =
    ".product-code \"{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}\"\n"
    ".title \"Hello World\"\n"
    ".publisher \"Example Ltd\"\n"
    ".version \"1.0.0\"\n"
    ".build-mode 2\n"
    ".revision-code \"{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A002}\"\n"
    ".media-password \"Block1\" \"block secret\"\n"
    "Define Component \"Main\" \"TRUE\" \"\"\n"
    "Set Variable \"RESULT\" \"\"\n"
    "Web Media Block \"Block1\" \"$MIRRORS$\"\n"
    "[header 0A000001 media \"Block1\\\"] Install Files \"src\" \"*\" \"$TARGETDIR$\"\n"
    "Set Variable \"CACHEWAS\" \"$ENGINECACHE$\"\n"
    "Apply Changes \"Progress\" \"RESULT\" \"TRUE\" \"FALSE\"\n"
    "If \"RESULT\" \"0\" \"COMPLETE\" \"FALSE\"\n"
    "  Terminate with Exit Code \"40\"\n"
    "End\n"
    "Terminate with Exit Code \"41\"\n";

class WebInstall : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    if (IsSkipped()) return;
    dialogs_ = "Progress\n";
    revision_from_package_ = true;
    // The block: an encrypted 7-Zip archive with a top folder named like it.
    const fs::path src = dir_ / "block-src";
    WriteFile(src / "Block1" / "readme.txt", "the block's readme\r\n");
    std::string big(3 << 20, '\0');
    uint32_t x = 1;
    for (char& c : big) {
      x = x * 1664525u + 1013904223u;
      c = static_cast<char>(x >> 24);
    }
    WriteFile(src / "Block1" / "data" / "big.bin", big);
    big_ = big;
    block_ = dir_ / "Block1.7zip";
    ASSERT_EQ(Shell("cd " + src.string() + " && 7zz a -t7z -bd -bso0 '-pblock secret' " +
                    block_.string() + " . >/dev/null"),
              0);
  }
  void TearDown() override {
    if (!system_urlmon_.empty()) {
      // The prefix's own library back in its place, for every later run.
      std::error_code ec;
      fs::copy_file(dir_ / "urlmon.dll.system", system_urlmon_,
                    fs::copy_options::overwrite_existing, ec);
      static_cast<WineRunner*>(runner_.get())->environment.clear();
    }
    if (!cache_engine_.empty()) {
      fs::path log;
      runner_->RunOnMachine(cache_engine_, "/s REMOVE=TRUE MODIFY=FALSE", dir_, &log);
    }
    EndToEnd::TearDown();
  }
  fs::path HostOf(std::string machine_path) {
    std::string rest = machine_path.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return runner_->DriveC() / rest;
  }
  // Runs the web install with its mirrors (the setup is made at the first run); the exit code
  // (40: COMPLETE).
  int Install(const std::vector<std::string>& mirrors, fs::path* log) {
    if (setup_.empty()) {
      std::string list;
      for (const std::string& m : mirrors) list += (list.empty() ? "" : "$NEWLINE$") + m;
      std::string script = kWebInstall;
      script.replace(script.find("$MIRRORS$"), 9, list);
      setup_ = MakeSetup("web", script);
    }
    return runner_->Run(setup_, "/s", log);
  }
  // What the trace says of the web media and the messages of the run.
  std::string Story(const fs::path& log) {
    std::string out;
    for (const std::string& l : TraceLines(log)) {
      if (l.find("WebMedia") != std::string::npos || l.find("<Message>") != std::string::npos) {
        out += l + "\n";
      }
    }
    return out + LastLine(log);
  }
  // The engine cache folder the run used, from the trace of its downloads.
  std::string CacheOfRun(const fs::path& log) {
    for (const std::string& l : TraceLines(log)) {
      size_t at = l.find("<WebMediaCache ");
      if (at != std::string::npos) return l.substr(at + 15, l.size() - at - 16);
    }
    return "";
  }

  fs::path block_, setup_, system_urlmon_;
  std::string big_;
  std::string cache_engine_;
};

TEST_P(WebInstall, ThroughTheSystemDownloader) {
  ServerProcess server(dir_, {"/Block1.7zip=" + block_.string()});
  ASSERT_NE(server.port(), 0);
  fs::path log;
  const int code = Install({server.Url("/Block1.7zip")}, &log);
  const std::vector<std::string> requests = server.Stop();
  ASSERT_EQ(code, 40) << Story(log);
  // The system's downloader asks with a GET only (no HEAD, no range).
  EXPECT_EQ(requests, std::vector<std::string>{"GET /Block1.7zip range="});
  bool judged = false;
  for (const std::string& l : TraceLines(log)) {
    judged = judged || l.find("/Block1.7zip: system downloader: complete") != std::string::npos;
  }
  EXPECT_TRUE(judged);
  const std::string cache = CacheOfRun(log);
  ASSERT_FALSE(cache.empty());
  cache_engine_ = cache + "setup.exe";
  EXPECT_EQ(ReadFile(HostOf(cache + "Block1\\data\\big.bin")), big_);
  EXPECT_FALSE(fs::exists(HostOf(cache + "Block1.7zip")));
}

TEST_P(WebInstall, ThroughOurOwnClientWhenTheSystemHasNoDownloader) {
  if (GetParam() == "wine") {
    // The system's URL moniker library without its download entries (the installer library
    // needs the library itself): the engine falls back to its own client.
    const fs::path stub = kWin64 / "tests" / "urlmon-stub" / "urlmon.dll";
    ASSERT_TRUE(fs::exists(stub)) << stub;
    system_urlmon_ = kPrefix / "drive_c" / "windows" / "system32" / "urlmon.dll";
    fs::copy_file(system_urlmon_, dir_ / "urlmon.dll.system", fs::copy_options::overwrite_existing);
    fs::copy_file(stub, system_urlmon_, fs::copy_options::overwrite_existing);
    static_cast<WineRunner*>(runner_.get())->environment = "WINEDLLOVERRIDES=urlmon=n";
  } else {
    WriteFile(dir_ / "machine" / "machine.txt", "url_download = false\n");
  }
  ServerProcess server(dir_, {"/Block1.7zip=" + block_.string() +
                                  ",cut=" + std::to_string(fs::file_size(block_) / 2) + ",cuts=1",
                              "/gone/Block1.7zip=,status=404"});
  ASSERT_NE(server.port(), 0);
  fs::path log;
  // The first mirror answers 404; the second cuts its first answer at half.
  int code = Install({server.Url("/gone/Block1.7zip"), server.Url("/Block1.7zip")}, &log);
  EXPECT_NE(code, 40);  // silent: the broken download is not retried in this run
  code = Install({server.Url("/gone/Block1.7zip"), server.Url("/Block1.7zip")}, &log);
  const std::vector<std::string> requests = server.Stop();
  if (code != 40) {
    for (const std::string& l : TraceLines(log)) std::printf("%s\n", l.c_str());
  }
  ASSERT_EQ(code, 40) << Story(log);
  const size_t half = fs::file_size(block_) / 2;
  EXPECT_EQ(
      requests,
      (std::vector<std::string>{
          "HEAD /gone/Block1.7zip range=", "HEAD /Block1.7zip range=", "GET /Block1.7zip range=",
          "HEAD /gone/Block1.7zip range=", "HEAD /Block1.7zip range=",
          "GET /Block1.7zip range=bytes=" + std::to_string(half - 2048) + "-"}));
  const std::string cache = CacheOfRun(log);
  ASSERT_FALSE(cache.empty());
  cache_engine_ = cache + "setup.exe";
  EXPECT_EQ(ReadFile(HostOf(cache + "Block1\\data\\big.bin")), big_);
}

INSTANTIATE_TEST_SUITE_P(Runners, WebInstall, ::testing::Values("sim", "wine"),
                         [](const auto& info) { return info.param; });

}  // namespace
