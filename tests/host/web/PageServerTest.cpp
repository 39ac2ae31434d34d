// The page's server: its guard (which requests are served, which refused,
// the token that logs in), its limits, and the policy on every answer.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "host/web/PageGuard.h"
#include "host/web/PageSecret.h"
#include "host/web/PageServer.h"
#include "host/web/PageSession.h"
#include "platform/Error.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

using namespace std::chrono_literals;

// A server as mailhost runs it, with a stream and a state route, and small
// limits so that they are reached.
class PageServerTest : public ::testing::Test {
 protected:
  static PageLimits Small() {
    PageLimits limits;
    limits.streams = 2;
    limits.workers = 2;
    return limits;
  }

  void SetUp() override {
    server.Events(
        "/events",
        [this](std::uint64_t& seen, std::chrono::milliseconds wait) {
          return published.Next(seen, wait);
        },
        [this] { return published.Stopping(); });
    server.Http().Get("/state", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("{}", "application/json");
    });
    port = server.Bind(0);
    ASSERT_GT(port, 0);
    token = server.Address().substr(server.Address().find("token=") + 6);
    serving = std::thread([this] { server.Listen(); });
  }
  void TearDown() override {
    published.Stop();
    server.Stop();
    if (serving.joinable()) serving.join();
    for (auto& stream : streams) stream.join();
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10s);
    return client;
  }
  httplib::Headers Bearer() { return {{"Authorization", "Bearer " + token}}; }
  // An event stream held open until the server ends it.
  void OpenStream() {
    auto open = std::make_shared<std::atomic<bool>>(false);
    streams.emplace_back([this, open] {
      auto client = Client();
      client.set_read_timeout(60s);
      client.Get("/events", Bearer(), [open](const char*, std::size_t) {
        *open = true;
        return true;
      });
    });
    while (!*open) std::this_thread::sleep_for(10ms);  // the first event: it is served
  }

  Published published;
  PageServer server{Small()};
  int port = 0;
  std::string token;
  std::thread serving;
  std::vector<std::thread> streams;
};

TEST_F(PageServerTest, OpenPagesNeverTakeTheWorkersOfEverythingElse) {
  published.Set(R"({"folders":[]})");
  OpenStream();
  OpenStream();
  auto client = Client();
  const auto refused = client.Get("/events", Bearer());
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(
      refused->body,
      "mailhost follows at most 2 pages at once: close a tab of the page and reload this one.");
  for (int i = 0; i < 5; ++i) {
    const auto state = Client().Get("/state", Bearer());
    ASSERT_TRUE(state) << "the state is served while the streams are open";
    EXPECT_EQ(state->status, 200);
  }
}

// Logging in at the printed address, and a page that keeps to its own policy,
// are tests/web's.
TEST_F(PageServerTest, EveryAnswerCarriesThePolicy) {
  const auto page = Client().Get("/", Bearer());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  const auto refused = Client().Get("/");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(refused->get_header_value("Connection"), "close");
  for (const auto* answer : {&page, &refused}) {
    const auto& res = **answer;
    EXPECT_NE(res.get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos);
    EXPECT_EQ(res.get_header_value("Content-Security-Policy").find("unsafe-inline"),
              std::string::npos);
    EXPECT_EQ(res.get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(res.get_header_value("Referrer-Policy"), "no-referrer");
  }
}

// A command's body as the server reads it.
struct Posted {
  httplib::Request req;
  httplib::Response res;
  bool stopped = false;

  Posted(const std::string& body, bool chunked) {
    if (chunked) {
      req.headers.emplace("Transfer-Encoding", "chunked");
    } else {
      req.headers.emplace("Content-Length", std::to_string(body.size()));
    }
    pieces = {body.substr(0, body.size() / 2), body.substr(body.size() / 2)};
  }
  SmallBody Read(std::size_t limit) {
    httplib::ContentReader reader(
        [this](httplib::ContentReceiver receive) {
          for (const auto& piece : pieces) {
            if (!receive(piece.data(), piece.size())) {
              stopped = true;
              return false;
            }
          }
          return true;
        },
        nullptr);
    return PageServer::ReadBody(req, res, reader, limit, "A command is at most 8 bytes.");
  }
  std::vector<std::string> pieces;
};

TEST(PageServerBodyTest, ACommandAboveTheLimitIsRefusedWithoutKeepingIt) {
  Posted fits("new w1", false);
  EXPECT_EQ(fits.Read(8), "new w1");

  for (bool chunked : {false, true}) {
    Posted tooLong("new w1 and more", chunked);
    EXPECT_EQ(tooLong.Read(8), std::nullopt);
    EXPECT_EQ(tooLong.res.status, 413);
    EXPECT_EQ(tooLong.res.body, "A command is at most 8 bytes.");
    EXPECT_EQ(tooLong.stopped, chunked) << "only a body of unknown length is left unread";
  }
}

using Kind = GuardVerdict::Kind;

const std::string kToken(64, 'a');
const std::string kOtherToken(64, 'b');

class PageGuardTest : public ::testing::Test {
 protected:
  // What the page itself sends once logged in.
  GuardedRequest FromThePage(const std::string& method = "GET",
                             const std::string& path = "/state") {
    return {.method = method,
            .path = path,
            .host = "127.0.0.1:8480",
            .origin = method == "POST" ? std::optional<std::string>("http://127.0.0.1:8480")
                                       : std::nullopt,
            .fetchSite = "same-origin",
            .cookie = "mailhost-8480=" + kToken};
  }
  Kind KindOf(const GuardedRequest& request) { return guard.Check(request).kind; }

  PageGuard guard{kToken, 8480};
};

TEST_F(PageGuardTest, ServesThePageItselfAndScriptsWithTheToken) {
  EXPECT_EQ(KindOf(FromThePage()), Kind::Serve);
  EXPECT_EQ(KindOf(FromThePage("POST", "/command")), Kind::Serve);

  auto other = FromThePage();
  other.cookie = "theme=dark;  mailhost-8480=" + kToken + " ; lang=en";
  EXPECT_EQ(KindOf(other), Kind::Serve) << "the cookie among others";

  const GuardedRequest script{.method = "POST",
                              .path = "/command",
                              .host = "localhost:8480",
                              .authorization = "bearer " + kToken,
                              .hasBody = true};
  EXPECT_EQ(KindOf(script), Kind::Serve) << "a script, as curl sends it";
}

TEST_F(PageGuardTest, WithoutThisStartsSecretNothingIsServed) {
  auto request = FromThePage("POST", "/command");
  request.cookie.clear();
  const auto verdict = guard.Check(request);
  EXPECT_EQ(verdict.kind, Kind::Refuse);
  EXPECT_EQ(verdict.status, 403);
  EXPECT_NE(verdict.message.find("http://127.0.0.1:8480/?token="), std::string::npos)
      << "says where the address is: " << verdict.message;
  EXPECT_EQ(verdict.message.find(kToken), std::string::npos) << "and never the token itself";

  for (const std::string& cookie : {"mailhost-8480=" + kOtherToken,  // a cookie of an earlier start
                                    "mailhost-8481=" + kToken,       // another port's name
                                    "mailhost-8480=" + kToken.substr(1),  // a part of it
                                    "mailhost-8480=" + kToken + "a", "x" + kToken}) {
    request.cookie = cookie;
    EXPECT_EQ(KindOf(request), Kind::Refuse) << cookie;
  }
  request.cookie.clear();
  for (const std::string& authorization : {"Bearer " + kOtherToken, "Basic " + kToken, kToken}) {
    request.authorization = authorization;
    EXPECT_EQ(KindOf(request), Kind::Refuse) << authorization;
  }
}

TEST_F(PageGuardTest, ThePrintedAddressLogsInOnceAndAWrongTokenDoesNot) {
  // Typed, or opened from the terminal.
  GuardedRequest opened{
      .method = "GET", .path = "/", .host = "127.0.0.1:8480", .fetchSite = "none", .token = kToken};
  EXPECT_EQ(KindOf(opened), Kind::LogIn);
  EXPECT_EQ(guard.Address(), "http://127.0.0.1:8480/?token=" + kToken);

  const auto cookie = guard.LoginCookie();
  EXPECT_EQ(cookie.rfind("mailhost-8480=" + kToken + ";", 0), 0u) << cookie;
  for (const char* attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"})
    EXPECT_NE(cookie.find(attribute), std::string::npos) << cookie;

  opened.token = kOtherToken;
  EXPECT_EQ(guard.Check(opened).status, 403);
  opened.token = kToken;
  opened.method = "POST";
  EXPECT_EQ(KindOf(opened), Kind::Refuse) << "a login is a GET of the page";
}

TEST_F(PageGuardTest, RefusesOtherHostNamesOriginsAndSites) {
  for (const char* host : {"localhost:8480", "LocalHost:8480"}) {
    auto request = FromThePage();
    request.host = host;
    EXPECT_EQ(KindOf(request), Kind::Serve) << host;
  }
  // DNS rebinding: another site's name that resolves to 127.0.0.1.
  for (const char* host : {"evil.example:8480", "127.0.0.1:8481", "127.0.0.1", "localhost.:8480",
                           "127.0.0.1:8480.evil.example", ""}) {
    auto request = FromThePage();
    request.host = host;
    EXPECT_EQ(guard.Check(request).status, 403) << host;
  }
  // A page on another port of this machine is the same site: its requests
  // carry the cookie, and its Origin gives it away.
  for (const char* origin : {"http://127.0.0.1:9999", "http://localhost:8480", "null",
                             "https://127.0.0.1:8480", "http://evil.example"}) {
    auto request = FromThePage("POST", "/command");
    request.origin = origin;
    EXPECT_EQ(guard.Check(request).status, 403) << origin;
  }
  for (const char* site : {"same-site", "cross-site", ""}) {
    auto request = FromThePage("POST", "/command");
    request.fetchSite = site;
    EXPECT_EQ(guard.Check(request).status, 403) << site;
  }
  auto request = FromThePage();
  request.fetchSite.reset();
  EXPECT_EQ(KindOf(request), Kind::Serve) << "older clients send no Sec-Fetch-Site";
}

TEST_F(PageGuardTest, OnlyAPostChangesAnythingOrCarriesABody) {
  auto put = FromThePage("PUT", "/command");
  EXPECT_EQ(guard.Check(put).status, 405);
  auto get = FromThePage("GET", "/state");
  get.hasBody = true;
  EXPECT_EQ(guard.Check(get).status, 400);
}

TEST(PageSecretTest, TokensAreLongRandomAndComparedWhole) {
  const auto first = NewPageToken();
  const auto second = NewPageToken();
  EXPECT_EQ(first.size(), 64u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
  EXPECT_NE(first, second);

  EXPECT_TRUE(SameSecret(first, first));
  EXPECT_FALSE(SameSecret(second, first));
  EXPECT_FALSE(SameSecret(first.substr(0, 63), first));
  EXPECT_FALSE(SameSecret("", ""));
}

TEST(PageSecretTest, TheTokenFileIsTheUsersAloneAndOnlyThisStartRemovesIt) {
  testsupport::ScratchFolder scratch;
  const auto path = scratch.File("page-token");
  scratch.Write("page-token", "an older start's\n");
  chmod(path.c_str(), 0644);

  WriteTokenFile(path, kToken);
  EXPECT_EQ(testsupport::ScratchFolder::Read(path), kToken + "\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  RemoveTokenFile(path, kOtherToken);
  EXPECT_TRUE(testsupport::ScratchFolder::Exists(path)) << "another start's token stays";
  RemoveTokenFile(path, kToken);
  EXPECT_FALSE(testsupport::ScratchFolder::Exists(path));

  EXPECT_THROW(WriteTokenFile(scratch.File("missing/page-token"), kToken), platform::Error);
}

}  // namespace
}  // namespace mailhost
