// Addresses, proxy fields and response heads as the HTTP client reads them.
#include <gtest/gtest.h>

#include "install/http_response.h"
#include "install/http_url.h"

namespace corvane::install {
namespace {

TEST(HttpUrl, AddressesAndTheirParts) {
  HttpUrl u;
  ASSERT_TRUE(ParseHttpUrl("HTTP://Files.Example.com:8080/a/b.7zip?x=1#frag", &u));
  EXPECT_EQ(u.host, "Files.Example.com");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.path, "/a/b.7zip?x=1");
  EXPECT_FALSE(u.has_credentials);
  EXPECT_EQ(HostHeader(u), "Files.Example.com:8080");
  EXPECT_EQ(AbsoluteForm(u), "http://Files.Example.com:8080/a/b.7zip?x=1");

  ASSERT_TRUE(ParseHttpUrl("http://ann:p:w@host", &u));
  EXPECT_TRUE(u.has_credentials);
  EXPECT_EQ(u.user, "ann");
  EXPECT_EQ(u.password, "p:w");
  EXPECT_EQ(u.path, "/");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(HostHeader(u), "host");

  ASSERT_TRUE(ParseHttpUrl("http://[::1]:81/x", &u));
  EXPECT_EQ(u.host, "::1");
  EXPECT_EQ(HostHeader(u), "[::1]:81");
  ASSERT_TRUE(ParseHttpUrl("http://h?q", &u));
  EXPECT_EQ(u.path, "/?q");

  for (const char* bad : {"https://h/x", "ftp://h/", "http://", "http:///x", "http://h:0/",
                          "http://h:65536/", "http://h:8a/", "http://h/a b", "http://h/\r\nX: y",
                          "http://h\x7f/", "http://[::1/x", "http://a^b/", "h/x", ""}) {
    EXPECT_FALSE(ParseHttpUrl(bad, &u)) << bad;
  }
}

TEST(HttpUrl, RedirectTargets) {
  HttpUrl base, u;
  ASSERT_TRUE(ParseHttpUrl("http://ann:pw@h:81/a/b/c.7zip?q", &base));
  ASSERT_TRUE(ResolveLocation(base, "/x/y", &u));
  EXPECT_EQ(AbsoluteForm(u), "http://h:81/x/y");
  EXPECT_TRUE(u.has_credentials);  // the same server keeps the credentials
  ASSERT_TRUE(ResolveLocation(base, "d.7zip#f", &u));
  EXPECT_EQ(AbsoluteForm(u), "http://h:81/a/b/d.7zip");
  ASSERT_TRUE(ResolveLocation(base, "http://other/z", &u));
  EXPECT_EQ(AbsoluteForm(u), "http://other/z");
  EXPECT_FALSE(u.has_credentials);  // another server does not get them
  ASSERT_TRUE(ResolveLocation(base, "//mirror:82/m", &u));
  EXPECT_EQ(AbsoluteForm(u), "http://mirror:82/m");
  EXPECT_FALSE(ResolveLocation(base, "https://h/x", &u));
  EXPECT_FALSE(ResolveLocation(base, "mailto:x", &u));
  EXPECT_FALSE(ResolveLocation(base, "", &u));
  EXPECT_FALSE(ResolveLocation(base, "/a\r\nb", &u));
}

TEST(HttpUrl, ProxyFields) {
  ProxyAddress p;
  ASSERT_TRUE(ParseProxy("proxy.local", "3128", &p));
  EXPECT_EQ(p.host, "proxy.local");
  EXPECT_EQ(p.port, 3128);
  ASSERT_TRUE(ParseProxy(" http://proxy.local:8080/ ", "", &p));
  EXPECT_EQ(p.port, 8080);
  ASSERT_TRUE(ParseProxy("proxy.local:8080", " 9090 ", &p));  // the port field wins
  EXPECT_EQ(p.port, 9090);
  ASSERT_TRUE(ParseProxy("10.0.0.1", "", &p));
  EXPECT_EQ(p.port, 80);
  for (auto [server, port] : std::vector<std::pair<const char*, const char*>>{
           {"", "80"}, {"   ", ""}, {"p", "0"}, {"p", "70000"}, {"p", "-1"}, {"p:x", ""},
           {"p q", ""}, {"user@p", ""}}) {
    EXPECT_FALSE(ParseProxy(server, port, &p)) << server << " " << port;
  }
}

TEST(HttpResponse, HeadsInOneOrManyPieces) {
  const std::string response =
      "HTTP/1.1 206 Partial Content\r\nContent-Length: 100\r\ncontent-range: bytes 900-999/1000\r\n"
      "X-Empty:\r\n\r\nBODY";
  for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, response.size()}) {
    ResponseHeadParser parser;
    std::string body;
    ResponseHeadParser::State state = ResponseHeadParser::State::kNeedMore;
    for (size_t at = 0; at < response.size(); at += piece) {
      const std::string_view chunk = std::string_view(response).substr(at, piece);
      if (state == ResponseHeadParser::State::kDone) {
        body += chunk;
        continue;
      }
      size_t body_start = 0;
      state = parser.Feed(chunk, &body_start);
      if (state == ResponseHeadParser::State::kDone) body += chunk.substr(body_start);
    }
    ASSERT_EQ(state, ResponseHeadParser::State::kDone) << piece;
    EXPECT_EQ(body, "BODY") << piece;
    const HttpResponseHead& h = parser.head();
    EXPECT_EQ(h.status, 206);
    int64_t length = 0, first = 0, last = 0, total = 0;
    ASSERT_TRUE(h.ContentLength(&length));
    EXPECT_EQ(length, 100);
    ASSERT_TRUE(h.ContentRange(&first, &last, &total));
    EXPECT_EQ(first, 900);
    EXPECT_EQ(last, 999);
    EXPECT_EQ(total, 1000);
    std::string value = "x";
    EXPECT_TRUE(h.Find("x-empty", &value));
    EXPECT_EQ(value, "");
  }
  // Bare line feeds and a status line without a reason.
  HttpResponseHead h;
  size_t at = 0;
  ASSERT_TRUE(ParseResponseHead("HTTP/1.0 200\nContent-Length: 3\n\nabc", &h, &at));
  EXPECT_EQ(h.status, 200);
  EXPECT_EQ(at, 32u);
}

TEST(HttpResponse, MalformedHeadsAndNumbers) {
  HttpResponseHead h;
  size_t at = 0;
  for (const char* bad : {"", "HTTP/1.0 200 OK\r\n", "HTTP/2 200 OK\r\n\r\n", "HTTP/1.0 20 OK\r\n\r\n",
                          "HTTP/1.0 099 x\r\n\r\n", "HTTP/1.0 200OK\r\n\r\n", "ICY 200 OK\r\n\r\n",
                          "HTTP/1.0 200 OK\r\nNoColon\r\n\r\n", "HTTP/1.0 200 OK\r\n: x\r\n\r\n",
                          "HTTP/1.0 200 OK\r\nA B: x\r\n\r\n", "HTTP/1.0 200 OK\r\n folded\r\n\r\n",
                          "HTTP/1.0 200 OK\r\nA: \x01\r\n\r\n"}) {
    EXPECT_FALSE(ParseResponseHead(bad, &h, &at)) << bad;
  }
  // A head that never ends stops at the bound.
  ResponseHeadParser parser;
  const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
  ResponseHeadParser::State state = parser.Feed("HTTP/1.0 200 OK\r\n", &at);
  for (int i = 0; i < 100 && state == ResponseHeadParser::State::kNeedMore; ++i) {
    state = parser.Feed(line, &at);
  }
  EXPECT_EQ(state, ResponseHeadParser::State::kMalformed);

  auto length_of = [&](const std::string& headers, int64_t* n) {
    HttpResponseHead head;
    size_t b = 0;
    return ParseResponseHead("HTTP/1.0 200 OK\r\n" + headers + "\r\n", &head, &b) &&
           head.ContentLength(n);
  };
  int64_t n = 0;
  EXPECT_TRUE(length_of("Content-Length: 0\r\n", &n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(length_of("Content-Length: 5\r\nContent-Length: 5\r\n", &n));
  for (const char* bad : {"Content-Length: -1\r\n", "Content-Length: 1e3\r\n", "Content-Length:\r\n",
                          "Content-Length: 99999999999999999999\r\n",
                          "Content-Length: 5\r\nContent-Length: 6\r\n", ""}) {
    EXPECT_FALSE(length_of(bad, &n)) << bad;
  }
  auto range_of = [&](const std::string& value) {
    HttpResponseHead head;
    size_t b = 0;
    int64_t f, l, t;
    return ParseResponseHead("HTTP/1.0 206 P\r\nContent-Range: " + value + "\r\n\r\n", &head, &b) &&
           head.ContentRange(&f, &l, &t);
  };
  EXPECT_TRUE(range_of("bytes 0-0/1"));
  EXPECT_TRUE(range_of("bytes 5-9/*"));
  for (const char* bad : {"bytes 9-5/10", "bytes 0-9/9", "bytes */10", "items 0-1/2", "bytes 0-/5",
                          "bytes -1-2/5", "bytes 0-1"}) {
    EXPECT_FALSE(range_of(bad)) << bad;
  }
}

}  // namespace
}  // namespace corvane::install
