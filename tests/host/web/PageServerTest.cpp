#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/web/PageServer.h"
#include "host/web/PageSession.h"

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

}  // namespace
}  // namespace mailhost
