// The HTTP client against the loopback server, writing to a simulated machine.
#include "install/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "platform/sim/sim_platform.h"
#include "tests/support/loopback_server.h"

namespace corvane::install {
namespace {

using testing::LoopbackServer;
using testing::Route;

constexpr const char* kTarget = "C:\\Cache\\block.7zip";

std::string Payload(size_t size, uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

Route Body(const std::string& body) {
  Route r;
  r.body = std::make_shared<const std::string>(body);
  return r;
}

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("corvane-http-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    options.save_registry_on_exit = false;
    machine_ = platform::CreateSimPlatform(options);
    machine_->files().CreateDirectory("C:\\Cache");
  }
  void TearDown() override {
    machine_.reset();
    std::filesystem::remove_all(folder_);
  }

  DownloadResult Fetch(const std::string& url, bool resume = true, ProxyFields proxy = {},
                       HttpOptions options = {}) {
    HttpClient client(platform::HostNetwork(), machine_->files(), std::move(options));
    texts_.clear();
    DownloadResult r = client.Download(url, kTarget, proxy, resume, [&](int percent, const std::string& text) {
      percents_.push_back(percent);
      texts_.push_back(text);
      return true;
    });
    status_ = client.last_status();
    return r;
  }
  std::string Target() {
    std::string s;
    machine_->files().ReadFile(kTarget, &s);
    return s;
  }
  std::vector<std::string> Methods() {
    std::vector<std::string> out;
    for (const auto& r : server_.Log()) out.push_back(r.method + " " + r.target + " " + r.Header("Range"));
    return out;
  }

  LoopbackServer server_;
  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> machine_;
  std::vector<std::string> texts_;
  std::vector<int> percents_;
  int status_ = 0;
};

TEST_F(HttpClientTest, DownloadsWithHeadThenGetAndReportsProgress) {
  const std::string body = Payload(1'500'000);
  server_.Serve("/a.7zip", body);
  ASSERT_EQ(Fetch(server_.Url("/a.7zip")), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(Methods(), (std::vector<std::string>{"HEAD /a.7zip ", "GET /a.7zip "}));
  const auto log = server_.Log();
  EXPECT_EQ(log[1].version, "HTTP/1.0");
  EXPECT_EQ(log[1].Header("User-Agent"), "Mozilla/3.0 (compatible)");
  EXPECT_EQ(log[1].Header("Accept"), "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
  EXPECT_EQ(log[1].Header("Host"), server_.HostPort());
  ASSERT_FALSE(texts_.empty());
  EXPECT_EQ(texts_.back(), "1,500,000 bytes received, 100% complete");
  EXPECT_EQ(percents_.back(), 100);
  for (size_t i = 1; i < percents_.size(); ++i) EXPECT_LE(percents_[i - 1], percents_[i]);

  // A file already there without resume is written again from the start, and cut to the new
  // length (an old longer file leaves nothing behind).
  machine_->files().WriteFile(kTarget, std::string(2'000'000, 'x'));
  server_.ClearLog();
  ASSERT_EQ(Fetch(server_.Url("/a.7zip"), false), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(Methods()[1], "GET /a.7zip ");
}

TEST_F(HttpClientTest, ProgressFiguresAndTexts) {
  EXPECT_EQ(DownloadProgressText(0, 0, 1), "0 bytes received");
  EXPECT_EQ(DownloadProgressText(999, 0, 1), "999 bytes received");
  EXPECT_EQ(DownloadProgressText(1000, 4000, 26), "1,000 bytes received, 26% complete");
  EXPECT_EQ(DownloadProgressText(12345678901, 1, 100), "12,345,678,901 bytes received, 100% complete");
  EXPECT_EQ(DownloadPercent(0, 200, 0), 1);
  EXPECT_EQ(DownloadPercent(100, 200, 0), 51);
  EXPECT_EQ(DownloadPercent(200, 200, 0), 100);  // never above 100
  EXPECT_EQ(DownloadPercent(int64_t{1} << 61, (int64_t{1} << 61) + 1, 0), 100);
  EXPECT_EQ(DownloadPercent(5, 0, 41), 42);  // unknown total: one more each time...
  EXPECT_EQ(DownloadPercent(5, 0, 100), 0);  // ...wrapping from 100 to 0
}

TEST_F(HttpClientTest, ResumesACutDownloadFromTheOverlapAndGetsTheSameBytes) {
  const std::string body = Payload(1'000'000);
  Route r = Body(body);
  r.cut_at = 500'000;
  r.cut_count = 1;
  server_.Serve("/a.7zip", r);
  // The first answer is cut: not complete, whatever the status said.
  EXPECT_EQ(Fetch(server_.Url("/a.7zip")), DownloadResult::kIncomplete);
  EXPECT_EQ(status_, 200);
  const std::string partial = Target();
  ASSERT_EQ(partial.size(), 500'000u);
  server_.ClearLog();
  ASSERT_EQ(Fetch(server_.Url("/a.7zip")), DownloadResult::kComplete);
  EXPECT_EQ(Methods(), (std::vector<std::string>{"HEAD /a.7zip ",
                                                 "GET /a.7zip bytes=" + std::to_string(500'000 - 2048) + "-"}));
  EXPECT_EQ(status_, 206);
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(texts_.back(), "1,000,000 bytes received, 100% complete");

  // Without the resume flag the same partial file is fetched whole.
  machine_->files().WriteFile(kTarget, partial);
  server_.ClearLog();
  ASSERT_EQ(Fetch(server_.Url("/a.7zip"), false), DownloadResult::kComplete);
  EXPECT_EQ(Methods()[1], "GET /a.7zip ");
  EXPECT_EQ(Target(), body);

  // A partial file of 2048 bytes or less is fetched whole too.
  for (size_t size : {size_t{2048}, size_t{100}}) {
    machine_->files().WriteFile(kTarget, body.substr(0, size));
    server_.ClearLog();
    ASSERT_EQ(Fetch(server_.Url("/a.7zip")), DownloadResult::kComplete);
    EXPECT_EQ(Methods()[1], "GET /a.7zip ");
    EXPECT_EQ(Target(), body);
  }
}

TEST_F(HttpClientTest, ResumeIsOnlyAcceptedWhereItWasAskedFor) {
  const std::string body = Payload(300'000);
  const std::string partial = body.substr(0, 100'000);
  // A server that ignores Range answers 200: the file restarts from byte 0, nothing is appended.
  Route ignoring = Body(body);
  ignoring.honour_range = false;
  server_.Serve("/ignore", ignoring);
  machine_->files().WriteFile(kTarget, partial);
  ASSERT_EQ(Fetch(server_.Url("/ignore")), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(texts_.back(), "300,000 bytes received, 100% complete");

  // A 206 that starts elsewhere is dropped; the file is fetched whole and comes out right.
  Route skewed = Body(body);
  skewed.range_skew = 1000;
  server_.Serve("/skew", skewed);
  machine_->files().WriteFile(kTarget, partial);
  server_.ClearLog();
  ASSERT_EQ(Fetch(server_.Url("/skew")), DownloadResult::kComplete);
  EXPECT_EQ(Methods(), (std::vector<std::string>{"HEAD /skew ", "GET /skew bytes=97952-", "GET /skew "}));
  EXPECT_EQ(Target(), body);

  // A partial file longer than the resource: the server refuses the range (416) and the file is
  // fetched whole, cut to the resource's length.
  machine_->files().WriteFile(kTarget, body + Payload(10'000, 9));
  server_.ClearLog();
  ASSERT_EQ(Fetch(server_.Url("/skew")), DownloadResult::kComplete);
  EXPECT_EQ(Methods(), (std::vector<std::string>{"HEAD /skew ", "GET /skew bytes=307952-", "GET /skew "}));
  EXPECT_EQ(Target(), body);
}

TEST_F(HttpClientTest, FailuresAreNeverSuccess) {
  const std::string body = Payload(50'000);
  // The error page of a 404 is not the file; only HEAD is sent.
  Route missing = Body("not found");
  missing.status = 404;
  server_.Serve("/missing", missing);
  EXPECT_EQ(Fetch(server_.Url("/missing")), DownloadResult::kHttpError);
  EXPECT_EQ(Methods(), std::vector<std::string>{"HEAD /missing "});
  EXPECT_FALSE(machine_->files().FileExists(kTarget));

  Route broken = Body("oops");
  broken.status = 500;
  server_.Serve("/broken", broken);
  EXPECT_EQ(Fetch(server_.Url("/broken")), DownloadResult::kHttpError);

  // A server that does not know HEAD still serves the file.
  Route no_head = Body(body);
  no_head.head_status = 405;
  server_.Serve("/nohead", no_head);
  EXPECT_EQ(Fetch(server_.Url("/nohead")), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);

  // No announced length: the received bytes cannot be checked.
  Route unannounced = Body(body);
  unannounced.announce_length = false;
  server_.Serve("/nolength", unannounced);
  EXPECT_EQ(Fetch(server_.Url("/nolength"), false), DownloadResult::kIncomplete);

  // A server that closes without answering, a refused port, other schemes.
  Route silent = Body(body);
  silent.close_without_answer = true;
  server_.Serve("/silent", silent);
  EXPECT_EQ(Fetch(server_.Url("/silent")), DownloadResult::kBadResponse);
  EXPECT_EQ(Fetch("http://127.0.0.1:1/x"), DownloadResult::kNoConnection);
  EXPECT_EQ(Fetch("https://127.0.0.1/x"), DownloadResult::kBadAddress);
  EXPECT_EQ(Fetch("ftp://127.0.0.1/x"), DownloadResult::kBadAddress);
}

TEST_F(HttpClientTest, FollowsRedirectsButNotForever) {
  const std::string body = Payload(70'000);
  server_.Serve("/real.7zip", body);
  Route moved;
  moved.status = 302;
  moved.location = "/real.7zip";
  server_.Serve("/moved", moved);
  Route absolute;
  absolute.status = 301;
  absolute.location = server_.Url("/moved");
  server_.Serve("/old/moved", absolute);
  ASSERT_EQ(Fetch(server_.Url("/old/moved")), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);
  EXPECT_EQ(Methods(), (std::vector<std::string>{"HEAD /old/moved ", "HEAD /moved ", "HEAD /real.7zip ",
                                                 "GET /old/moved ", "GET /moved ", "GET /real.7zip "}));

  // A redirect with no place to go is a failure, not an empty success.
  Route nowhere;
  nowhere.status = 302;
  server_.Serve("/nowhere", nowhere);
  EXPECT_EQ(Fetch(server_.Url("/nowhere"), false), DownloadResult::kBadResponse);
  Route loop;
  loop.status = 302;
  loop.location = "loop";
  server_.Serve("/loop", loop);
  server_.ClearLog();
  EXPECT_EQ(Fetch(server_.Url("/loop")), DownloadResult::kBadResponse);
  EXPECT_EQ(server_.Log().size(), 9u);  // the first request and eight redirects
  Route elsewhere;
  elsewhere.status = 302;
  elsewhere.location = "https://example.invalid/x";
  server_.Serve("/secure", elsewhere);
  EXPECT_EQ(Fetch(server_.Url("/secure")), DownloadResult::kBadResponse);
}

TEST_F(HttpClientTest, GoesThroughAProxyWithBasicAuthentication) {
  const std::string body = Payload(40'000);
  server_.Serve("/p.7zip", body);
  server_.RequireProxyAuthorization("ann", "s3cret");
  const std::string url = "http://files.example.invalid:8080/p.7zip";
  const std::string port = std::to_string(server_.port());
  // Without the right credentials the proxy answers 407.
  EXPECT_EQ(Fetch(url, true, {"127.0.0.1", port, "ann", "wrong"}), DownloadResult::kHttpError);
  EXPECT_EQ(status_, 407);
  EXPECT_EQ(Fetch(url, true, {"127.0.0.1", port, "", ""}), DownloadResult::kHttpError);
  server_.ClearLog();
  ASSERT_EQ(Fetch(url, true, {"http://127.0.0.1/", port, "ann", "s3cret"}), DownloadResult::kComplete);
  EXPECT_EQ(Target(), body);
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].target, url);
  EXPECT_EQ(log[1].Header("Host"), "files.example.invalid:8080");
  EXPECT_EQ(log[1].Header("Proxy-Authorization"), "Basic " + testing::Base64("ann:s3cret"));
  // The proxy's port may come with the server field too; a bad port is refused before any request.
  server_.ClearLog();
  EXPECT_EQ(Fetch(url, false, {"127.0.0.1:" + port, "", "ann", "s3cret"}), DownloadResult::kComplete);
  EXPECT_EQ(Fetch(url, false, {"127.0.0.1", "99999", "ann", "s3cret"}), DownloadResult::kBadAddress);
  EXPECT_EQ(Fetch(url, false, {"127.0.0.1", port, "ann\r\nX: y", "s3cret"}), DownloadResult::kBadAddress);
  EXPECT_EQ(server_.Log().size(), 2u);
}

TEST_F(HttpClientTest, CredentialsInTheAddressBecomeAnAuthorizationHeader) {
  server_.Serve("/c", "abc");
  ASSERT_EQ(Fetch("http://bob:pw@" + server_.HostPort() + "/c"), DownloadResult::kComplete);
  EXPECT_EQ(server_.Log()[1].Header("Authorization"), "Basic " + testing::Base64("bob:pw"));
  EXPECT_EQ(server_.Log()[1].Header("Host"), server_.HostPort());
}

TEST_F(HttpClientTest, AStalledServerTimesOutAndACancelEndsAtOnce) {
  Route stalled = Body(Payload(1000));
  stalled.stall_ms = 4000;
  server_.Serve("/stall", stalled);
  HttpOptions quick;
  quick.idle_timeout_ms = 300;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch(server_.Url("/stall"), true, {}, quick), DownloadResult::kTimedOut);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, std::chrono::milliseconds(1500));

  // A cut body that then stalls: the cancel is seen between two waits.
  std::atomic<bool> stop{false};
  HttpOptions cancellable;
  cancellable.should_stop = [&] { return stop.load(); };
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch(server_.Url("/stall"), true, {}, cancellable), DownloadResult::kCancelled);
  took = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_LT(took, std::chrono::milliseconds(1000));

  // The status callback's false ends the transfer too.
  server_.Serve("/big", Payload(3'000'000));
  HttpClient client(platform::HostNetwork(), machine_->files());
  int calls = 0;
  EXPECT_EQ(client.Download(server_.Url("/big"), kTarget, {}, false,
                            [&](int, const std::string&) { return ++calls < 2; }),
            DownloadResult::kCancelled);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace corvane::install
