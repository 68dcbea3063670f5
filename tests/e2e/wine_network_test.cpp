// Our HTTP client over the Windows sockets: the x86_64 http-fetch.exe under Wine against the
// loopback server of this process. Each case asserts on what the server was asked and on the
// file the client wrote.
#include <unistd.h>

#include "tests/e2e/e2e_support.h"
#include "tests/support/loopback_server.h"

namespace {

using namespace corvane::e2e;
using corvane::testing::LoopbackServer;
using corvane::testing::Route;
namespace fs = std::filesystem;

std::string Payload(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 5;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

class WineNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    fetch_ = kWin64 / "tests" / "http-fetch.exe";
    if (!fs::exists(fetch_))
      GTEST_SKIP() << "the x86_64 Windows build is needed (" << fetch_ << ")";
    dir_ = kScratch / ("corvane-net-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Runs http-fetch.exe under Wine; its one line of output ("result=... status=... size=...").
  std::string Fetch(const std::string& url, const std::string& options = "") {
    const fs::path out = dir_ / "out.txt";
    fs::remove(out);
    Shell(WineEnvironment() + " " + (kSource / "scripts" / "wine-run").string() + " " +
          fetch_.string() + " " + url + " " + ShellQuote(WinePath(target())) + " " + options +
          " > " + out.string() + " 2>/dev/null");
    std::string line = ReadFile(out);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }
  fs::path target() const { return dir_ / "target.7zip"; }
  // The target holds exactly the body (reported by size and first difference, not as text).
  void ExpectBody(const std::string& body) {
    const std::string got = ReadFile(target());
    size_t at = 0;
    while (at < got.size() && at < body.size() && got[at] == body[at]) ++at;
    EXPECT_TRUE(got == body) << "the file has " << got.size() << " bytes, the body " << body.size()
                             << "; they differ from byte " << at;
  }
  std::string Field(const std::string& line, const std::string& name) {
    size_t at = line.find(name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 1;
    // Field values are single words, but the result may be two ("timed out").
    size_t end = line.find(" status=", at);
    if (name != "result") end = line.find(' ', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
  }
  std::vector<std::string> Requests() {
    std::vector<std::string> out;
    for (const auto& r : server_.Log()) {
      out.push_back(r.method + " " + r.target + " " + r.Header("Range"));
    }
    return out;
  }

  LoopbackServer server_;
  fs::path fetch_, dir_;
};

TEST_F(WineNetwork, AWholeDownloadThenAResumeThenAServerThatIgnoresRanges) {
  const std::string body = Payload(3 << 20);
  server_.Serve("/a.7zip", body);
  std::string line = Fetch(server_.Url("/a.7zip"));
  EXPECT_EQ(Field(line, "result"), "complete") << line;
  EXPECT_EQ(Requests(), (std::vector<std::string>{"HEAD /a.7zip ", "GET /a.7zip "}));
  ExpectBody(body);

  // A partial file resumes 2048 bytes before its end: byte for byte the body again.
  WriteFile(target(), body.substr(0, 1003000));
  server_.ClearLog();
  line = Fetch(server_.Url("/a.7zip"), "--resume");
  EXPECT_EQ(Field(line, "result"), "complete") << line;
  ASSERT_EQ(Requests().size(), 2u);
  EXPECT_EQ(Requests()[1], "GET /a.7zip bytes=" + std::to_string(1003000 - 2048) + "-");
  ExpectBody(body);

  // A server that answers 200 to a range: the file is written again from byte 0.
  Route whole;
  whole.body = std::make_shared<const std::string>(body);
  whole.honour_range = false;
  server_.Serve("/b.7zip", whole);
  WriteFile(target(), std::string(500000, 'y'));
  line = Fetch(server_.Url("/b.7zip"), "--resume");
  EXPECT_EQ(Field(line, "result"), "complete") << line;
  ExpectBody(body);
}

TEST_F(WineNetwork, CutBodiesErrorPagesAndRedirects) {
  const std::string body = Payload(1 << 20);
  Route cut;
  cut.body = std::make_shared<const std::string>(body);
  cut.cut_at = 400000;
  server_.Serve("/cut.7zip", cut);
  std::string line = Fetch(server_.Url("/cut.7zip"));
  EXPECT_EQ(Field(line, "result"), "incomplete") << line;
  EXPECT_EQ(Field(line, "size"), "400000");

  Route missing;
  missing.status = 404;
  missing.body = std::make_shared<const std::string>("not here");
  server_.Serve("/missing.7zip", missing);
  line = Fetch(server_.Url("/missing.7zip"));
  EXPECT_EQ(Field(line, "result"), "HTTP error") << line;
  EXPECT_EQ(Field(line, "status"), "404");

  Route moved;
  moved.status = 302;
  moved.location = server_.Url("/real.7zip");
  server_.Serve("/moved.7zip", moved);
  server_.Serve("/real.7zip", body);
  line = Fetch(server_.Url("/moved.7zip"));
  EXPECT_EQ(Field(line, "result"), "complete") << line;
  ExpectBody(body);
}

TEST_F(WineNetwork, AProxyWithBasicAuthentication) {
  const std::string body = Payload(200000);
  server_.Serve("/p.7zip", body);
  server_.RequireProxyAuthorization("proxyuser", "proxypass");
  const std::string port = std::to_string(server_.port());
  std::string line =
      Fetch("http://media.example/p.7zip", "--proxy 127.0.0.1 " + port + " proxyuser proxypass");
  EXPECT_EQ(Field(line, "result"), "complete") << line;
  ExpectBody(body);
  const auto log = server_.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().target, "http://media.example/p.7zip");
  line = Fetch("http://media.example/p.7zip", "--proxy 127.0.0.1 " + port + " proxyuser wrong");
  EXPECT_EQ(Field(line, "result"), "HTTP error") << line;
  EXPECT_EQ(Field(line, "status"), "407");
}

TEST_F(WineNetwork, AStalledServerTimesOutAndACancelEndsAtOnce) {
  Route stall;
  stall.body = std::make_shared<const std::string>("late");
  stall.stall_ms = 20000;
  server_.Serve("/stall.7zip", stall);
  std::string line = Fetch(server_.Url("/stall.7zip"), "--idle-ms 1500");
  EXPECT_EQ(Field(line, "result"), "timed out") << line;
  const long ms = std::stol("0" + Field(line, "ms"));
  std::printf("under Wine a stalled server timed out after %ld ms (idle time-out 1500 ms)\n", ms);
  EXPECT_GE(ms, 1400);
  EXPECT_LT(ms, 5000);
  line = Fetch(server_.Url("/stall.7zip"), "--stop-after-ms 300");
  EXPECT_EQ(Field(line, "result"), "cancelled") << line;
  const long cancel_ms = std::stol("0" + Field(line, "ms"));
  std::printf("under Wine a cancel after 300 ms ended the download at %ld ms\n", cancel_ms);
  EXPECT_LT(cancel_ms, 300 + 1000);
}

}  // namespace
