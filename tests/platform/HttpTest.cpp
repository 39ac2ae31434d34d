// The HTTP service's contract, against libcurl with a loopback server and
// against the fake; then what only the real transfer can show.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/Error.h"
#include "platform/fake/FakeHttp.h"
#include "platform/linux/CurlHttp.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/ContractTest.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::BodyTooLargeError;
using platform::Error;
using platform::HttpResponse;
using platform::HttpStatusError;
using testsupport::LoopbackHttpServer;

// A real service behind a loopback server.
struct CurlBackend {
  static constexpr const char* kName = "Curl";
  LoopbackHttpServer server;
  platform::CurlHttp http;
  std::string Url(const std::string& path) { return server.Url(path); }
  void Serve(const std::string& path, int status, const std::string& body) {
    server.Serve(path, status, body);
  }
  // A path nobody answers on: the fake's unscripted URL, a closed port here.
  std::string DeadUrl() {
    return "http://127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort()) + "/x";
  }
};

struct FakeBackend {
  static constexpr const char* kName = "Fake";
  platform::FakeHttp http;
  std::string Url(const std::string& path) { return "http://fake.invalid" + path; }
  void Serve(const std::string& path, int status, const std::string& body) {
    http.Serve(Url(path), status, body);
  }
  std::string DeadUrl() { return Url("/nothing-scripted"); }
};

// An anonymous file to stream a body into.
class BodyFile {
 public:
  BodyFile() : m_file(std::tmpfile()) {}
  ~BodyFile() { std::fclose(m_file); }
  int Fd() const { return fileno(m_file); }
  std::string Content() const {
    return testsupport::ScratchFolder::Read("/proc/self/fd/" + std::to_string(Fd()));
  }

 private:
  std::FILE* m_file;
};

// What a failed request says, and whether it was taken for a refused reply.
std::string FailureOf(platform::Http& http, const std::string& url, int timeoutSeconds) {
  try {
    http.Get({url, timeoutSeconds, 4096});
  } catch (const BodyTooLargeError&) {
    return "(body over the limit)";
  } catch (const HttpStatusError& e) {
    return "(status " + std::to_string(e.Status()) + ")";
  } catch (const Error& e) {
    return e.Description();
  }
  return "(no failure)";
}

template <typename Backend>
class HttpContract : public ::testing::Test {
 protected:
  Backend backend;
};
SONVERA_CONTRACT_SUITE(HttpContract, CurlBackend, FakeBackend);

TYPED_TEST(HttpContract, OnlyASuccessfulReplyIsABody) {
  this->backend.Serve("/v.txt", 200, "1.0.28");
  EXPECT_EQ(this->backend.http.Get({this->backend.Url("/v.txt"), 5, 4096}).Text(), "1.0.28");
  // An error page or a redirect whose body looks like the file is still no file.
  for (int status : {404, 500, 302}) {
    this->backend.Serve("/v.txt", status, "1.0.99");
    const std::string url = this->backend.Url("/v.txt");
    BodyFile file;
    try {
      this->backend.http.Get({url, 5, 4096, file.Fd()});
      ADD_FAILURE() << "status " << status << " was taken for the file";
    } catch (const HttpStatusError& e) {
      EXPECT_EQ(e.Status(), status);
      EXPECT_EQ(e.Description(), "The server answered " + url + " with status " +
                                     std::to_string(status) + " instead of the file.");
    }
    EXPECT_EQ(file.Content(), "") << "status " << status << " wrote its body";
  }
}

TYPED_TEST(HttpContract, BodyGoesToTheFileExactlyAndTheLimitIsInclusive) {
  std::string bytes = std::string("\0\r\n\0", 4);
  for (int i = 0; bytes.size() < 4096; ++i) bytes += static_cast<char>(i);
  this->backend.Serve("/exact", 200, bytes);
  this->backend.Serve("/over", 200, bytes + "x");
  auto& http = this->backend.http;
  EXPECT_EQ(http.Get({this->backend.Url("/exact"), 5, 4096}).Text(), bytes);
  EXPECT_THROW(http.Get({this->backend.Url("/over"), 5, 4096}), BodyTooLargeError);
  BodyFile exact, over;
  const HttpResponse response = http.Get({this->backend.Url("/exact"), 5, 4096, exact.Fd()});
  EXPECT_EQ(response.status, 200);
  EXPECT_TRUE(response.body.empty()) << "a body streamed to a file was kept in memory too";
  EXPECT_EQ(exact.Content(), bytes);
  EXPECT_THROW(http.Get({this->backend.Url("/over"), 5, 4096, over.Fd()}), BodyTooLargeError);
}

TYPED_TEST(HttpContract, NoServerIsAnErrorNamingTheAddress) {
  const std::string url = this->backend.DeadUrl();
  const std::string failure = FailureOf(this->backend.http, url, 5);
  EXPECT_NE(failure.find(url), std::string::npos) << failure;
}

class CurlHttpTest : public ::testing::Test {
 protected:
  LoopbackHttpServer server;
  platform::CurlHttp http;
};

TEST_F(CurlHttpTest, ChunkedReplyIsCappedToo) {
  // A chunked reply announces no length, so the cap must hold while it arrives.
  server.ServeChunked("/chunked", std::string(10000, 'c'));
  EXPECT_EQ(http.Get({server.Url("/chunked"), 5, 10000}).body.size(), 10000u);
  EXPECT_THROW(http.Get({server.Url("/chunked"), 5, 9999}), BodyTooLargeError);
  BodyFile file;
  EXPECT_THROW(http.Get({server.Url("/chunked"), 5, 9999, file.Fd()}), BodyTooLargeError);
  EXPECT_LE(file.Content().size(), 9999u);
}

TEST_F(CurlHttpTest, OnlyTheHttpUrlAskedForIsFetched) {
  server.Serve("/elsewhere", 200, "1.0.99");
  server.Redirect("/moved", "/elsewhere", "");
  EXPECT_EQ(FailureOf(http, server.Url("/moved"), 5), "(status 302)");
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/moved"}) << "the redirect was followed";
  // A product host taken from the environment must not turn into a file read.
  EXPECT_THROW(http.Get({"file:///etc/hostname", 5, 4096}), Error);
  EXPECT_THROW(http.Get({"not a url", 5, 4096}), Error);
}

TEST_F(CurlHttpTest, ASilentOrTricklingServerIsGivenUpSayingWhich) {
  server.Hang("/silent");
  EXPECT_EQ(FailureOf(http, server.Url("/silent"), 1),
            "The server did not answer within 1 second: " + server.Url("/silent"));
  // One byte a second would take the whole 30 seconds.
  server.Trickle("/slow", std::string(100, 't'));
  EXPECT_EQ(FailureOf(http, server.Url("/slow"), 30),
            "The server sent less than 1024 bytes a second for 5 seconds: " + server.Url("/slow"));
}

// An untrusted certificate refused, and trusted through SONVERA_CA_FILE, is
// UpdateEndToEndTest's https case.

}  // namespace
