// The page's server: its guard (which requests are served, which refused,
// the token that logs in), its limits, the policy on every answer, the state
// it serves and the files it takes in.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/store/MemoryMailStore.h"
#include "host/web/PageGuard.h"
#include "host/web/PageSecret.h"
#include "host/web/PageServer.h"
#include "host/web/PageSession.h"
#include "host/web/PageState.h"
#include "host/web/PageUpload.h"
#include "platform/Error.h"
#include "tests/support/FakePlatform.h"
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
TEST_F(PageServerTest, EveryAnswerCarriesThePolicyAndIsKeptInNoCache) {
  const auto page = Client().Get("/", Bearer());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  const auto refused = Client().Get("/");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(refused->get_header_value("Connection"), "close");
  const auto state = Client().Get("/state", Bearer());  // a route that says nothing of it
  ASSERT_TRUE(state);
  for (const auto* answer : {&page, &refused, &state}) {
    const auto& res = **answer;
    EXPECT_NE(res.get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos);
    EXPECT_EQ(res.get_header_value("Content-Security-Policy").find("unsafe-inline"),
              std::string::npos);
    EXPECT_EQ(res.get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(res.get_header_value("Referrer-Policy"), "no-referrer");
    EXPECT_EQ(res.get_header_value("Cache-Control"), "no-store") << "mail kept in a cache";
    EXPECT_EQ(res.get_header_value_count("Cache-Control"), 1u);
  }
}

// What a player asks of a sound: the parts a seek wants, never bytes past
// its end, and a clear refusal where nothing asked lies within it.
TEST_F(PageServerTest, RangesAreFittedToTheBodyOrRefused) {
  static const std::string kTen = "0123456789";
  std::atomic<int> pastTheEnd{0};
  server.Http().Get("/sized", [&](const httplib::Request& req, httplib::Response& res) {
    PageServer::ServeSized(req, res, kTen.size(), "audio/mpeg",
                           [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                             if (offset + length > kTen.size()) ++pastTheEnd;
                             const auto part = kTen.substr(std::min(offset, kTen.size()), length);
                             return !part.empty() && sink.write(part.data(), part.size());
                           });
  });
  struct Case {
    const char* range;
    int status;
    const char* body;
    const char* contentRange;
  };
  const Case cases[] = {
      {"", 200, "0123456789", ""},
      {"bytes=2-4", 206, "234", "bytes 2-4/10"},
      {"bytes=7-", 206, "789", "bytes 7-9/10"},
      {"bytes=5-60000", 206, "56789", "bytes 5-9/10"},
      {"bytes=-3", 206, "789", "bytes 7-9/10"},
      {"bytes=-30", 206, "0123456789", "bytes 0-9/10"},
      {"bytes=20-30,2-3", 206, "23", "bytes 2-3/10"},
      {"bytes=0-0,8-100", 200, "0123456789", ""},  // several parts: the whole
      {"bytes=10-", 416, "", "bytes */10"},
      {"bytes=11-60000", 416, "", "bytes */10"},
  };
  for (const Case& c : cases) {
    auto headers = Bearer();
    if (*c.range) headers.emplace("Range", c.range);
    const auto res = Client().Get("/sized", headers);
    ASSERT_TRUE(res) << c.range << ": no answer";
    EXPECT_EQ(res->status, c.status) << c.range;
    EXPECT_EQ(res->body, c.body) << c.range;
    EXPECT_EQ(res->get_header_value("Content-Range"), c.contentRange) << c.range;
  }
  EXPECT_EQ(pastTheEnd, 0) << "a part past the end was read";
}

// A body handed over in pieces, as the server reads it; `stopped` tells
// whether the receiver asked to read no further.
struct Body {
  std::vector<std::string> pieces;
  bool stopped = false;
  bool cutOff = false;  // the connection ends before the last piece

  bool Deliver(const Uploads::Receiver& receive) {
    for (const auto& piece : pieces) {
      if (!receive(piece.data(), piece.size())) {
        stopped = true;
        return false;
      }
    }
    return !cutOff;
  }
  Uploads::Reader Reader() {
    return [this](const Uploads::Receiver& receive) { return Deliver(receive); };
  }
};

// A command's body in two pieces, of a known length unless `chunked`.
struct Posted {
  Posted(const std::string& text, bool chunked)
      : body{{text.substr(0, text.size() / 2), text.substr(text.size() / 2)}} {
    if (chunked) {
      req.headers.emplace("Transfer-Encoding", "chunked");
    } else {
      req.headers.emplace("Content-Length", std::to_string(text.size()));
    }
  }
  SmallBody Read(std::size_t limit) {
    httplib::ContentReader reader(
        [this](httplib::ContentReceiver receive) { return body.Deliver(receive); }, nullptr);
    return PageServer::ReadBody(req, res, reader, limit, "A command is at most 8 bytes.");
  }

  httplib::Request req;
  httplib::Response res;
  Body body;
};

TEST(PageServerBodyTest, ACommandAboveTheLimitIsRefusedWithoutKeepingIt) {
  Posted fits("new w1", false);
  EXPECT_EQ(fits.Read(8), "new w1");

  for (bool chunked : {false, true}) {
    Posted tooLong("new w1 and more", chunked);
    EXPECT_EQ(tooLong.Read(8), std::nullopt);
    EXPECT_EQ(tooLong.res.status, 413);
    EXPECT_EQ(tooLong.res.body, "A command is at most 8 bytes.");
    EXPECT_EQ(tooLong.body.stopped, chunked) << "only a body of unknown length is left unread";
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

class PageStateTest : public ::testing::Test {
 protected:
  nlohmann::json State() { return PageStateJson(host, fake.windows, extras, pictures); }

  testsupport::FakePlatform fake;
  testsupport::ScratchFolder scratch;
  MemoryMailStore store;
  MailHost host{store};
  PageExtras extras;
  PictureIndex pictures;
};

TEST_F(PageStateTest, ALongTextIsCutWhereACharacterStartsAndAttachmentsGoWithoutBytes) {
  StoredItem mail;
  mail.id = "m1";
  // Two bytes a character, and an odd number of bytes before them: the cut
  // would fall inside one.
  mail.body = "x" + std::string(kBodyShown, '\0');
  for (std::size_t i = 1; i < mail.body.size(); i += 2) mail.body.replace(i, 2, "\xC3\xA9");
  mail.attachments.push_back({"voice.mp3", std::vector<std::uint8_t>(3000, 1)});
  store.Add("Inbox", mail);
  host.Select({"m1"});

  const auto reading = State()["reading"];
  const std::string shown = reading["body"];
  EXPECT_TRUE(reading["bodyCut"]);
  EXPECT_EQ(reading["bodySize"], mail.body.size());
  EXPECT_LE(shown.size(), kBodyShown);
  EXPECT_EQ(shown, mail.body.substr(0, shown.size()));
  EXPECT_EQ(shown.size() % 2, 1u) << "ends after a whole character";
  EXPECT_NO_THROW(reading.dump()) << "valid UTF-8";
  EXPECT_EQ(reading["attachments"], nlohmann::json::parse(R"([{"name":"voice.mp3","size":3000}])"));

  auto item = host.FindMail("m1");
  item->SetBody("short");
  const auto whole = State()["reading"];
  EXPECT_EQ(whole["body"], "short");
  EXPECT_FALSE(whole["bodyCut"]);
}

// A deleted mail struck through, an attached mail that opens, and the page
// drawn again for each change the add-in and the person make are tests/web's.

namespace fs = std::filesystem;

class PageUploadTest : public ::testing::Test {
 protected:
  std::vector<std::string> Left() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
      names.push_back(entry.path().filename().string());
    return names;
  }

  testsupport::ScratchFolder scratch;
  const std::string folder = scratch.File("uploads");
  Uploads uploads{folder, 10};
};

TEST_F(PageUploadTest, AFileIsStreamedUnderItsBaseNameAndGoesWithItsHolder) {
  Body body{{"hello", " you"}};
  auto result = uploads.Receive("C:\\Users\\kim/../notes.txt", 9, body.Reader());
  ASSERT_TRUE(result.file) << result.error;
  EXPECT_EQ(fs::path(result.file->Path()).filename(), "notes.txt");
  EXPECT_EQ(testsupport::ScratchFolder::Read(result.file->Path()), "hello you");
  EXPECT_EQ(fs::status(result.file->Path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  result.file.reset();
  EXPECT_EQ(Left(), std::vector<std::string>{}) << "attached, the file and its folder go";
}

TEST_F(PageUploadTest, AboveTheCapOrCutOffNothingIsAttachedAndNothingStays) {
  // One of known length above the cap is tests/web's.
  Body chunked{{"012345", "6789a", "more"}};
  auto result = uploads.Receive("big.bin", std::nullopt, chunked.Reader());
  EXPECT_FALSE(result.file);
  EXPECT_EQ(result.status, 413);
  EXPECT_TRUE(chunked.stopped) << "a body of unknown length is not read past the cap";
  EXPECT_EQ(Left(), std::vector<std::string>{});

  Body cut{{"01234"}, false, true};
  result = uploads.Receive("half.bin", 8, cut.Reader());
  EXPECT_EQ(result.status, 400);
  EXPECT_EQ(Left(), std::vector<std::string>{});

  Body nameless{{"x"}};
  for (const char* name : {"", "..", "dir/", "a\nb"}) {
    result = uploads.Receive(name, 1, nameless.Reader());
    EXPECT_EQ(result.status, 400) << name;
  }
}

TEST_F(PageUploadTest, TheSweepRemovesOnlyWhatAKilledRunLeftLongAgo) {
  fs::create_directories(folder + "/old");
  scratch.Write("uploads/old/voice.mp3", "x");
  fs::last_write_time(folder + "/old", fs::file_time_type::clock::now() - std::chrono::hours(2));
  fs::create_directories(folder + "/new");
  uploads.Sweep();
  EXPECT_EQ(Left(), std::vector<std::string>{"new"});
}

}  // namespace
}  // namespace mailhost
