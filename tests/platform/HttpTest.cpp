// The HTTP service's contract, against libcurl with a loopback server and
// against the fake; then what only the real transfer can show.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "platform/Error.h"
#include "platform/fake/FakeHttp.h"
#include "platform/linux/CurlHttp.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {

using platform::BodyTooLargeError;
using platform::Error;
using platform::HttpResponse;
using testsupport::LoopbackHttpServer;

// A real service behind a loopback server.
struct CurlBackend {
  LoopbackHttpServer server;
  platform::CurlHttp http;
  std::string Url(const std::string& path) { return server.Url(path); }
  void Serve(const std::string& path, int status, const std::string& body) {
    server.Serve(path, status, body);
  }
  // A path nobody answers on: the fake's unscripted URL, a closed port here.
  std::string DeadUrl() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);  // bound but never listening, then released: connections are refused
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
  }
};

struct FakeBackend {
  platform::FakeHttp http;
  std::string Url(const std::string& path) { return "http://fake.invalid" + path; }
  void Serve(const std::string& path, int status, const std::string& body) {
    http.Serve(Url(path), status, body);
  }
  std::string DeadUrl() { return Url("/nothing-scripted"); }
};

// What a failed request says, and whether it was mistaken for a body over the limit.
std::string FailureOf(platform::Http& http, const std::string& url, int timeoutSeconds) {
  try {
    http.Get(url, timeoutSeconds, 4096);
  } catch (const BodyTooLargeError&) {
    return "(body over the limit)";
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
using Backends = ::testing::Types<CurlBackend, FakeBackend>;
TYPED_TEST_SUITE(HttpContract, Backends);

TYPED_TEST(HttpContract, ReturnsBodyWhateverTheStatus) {
  this->backend.Serve("/v.txt", 200, "1.0.28");
  this->backend.Serve("/missing", 404, "<html><body>Not Found</body></html>");
  HttpResponse ok = this->backend.http.Get(this->backend.Url("/v.txt"), 5, 4096);
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(ok.Text(), "1.0.28");
  HttpResponse missing = this->backend.http.Get(this->backend.Url("/missing"), 5, 4096);
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.Text(), "<html><body>Not Found</body></html>");
}

TYPED_TEST(HttpContract, BodyLimitIsInclusive) {
  this->backend.Serve("/exact", 200, std::string(4096, 'x'));
  this->backend.Serve("/over", 200, std::string(4097, 'x'));
  EXPECT_EQ(this->backend.http.Get(this->backend.Url("/exact"), 5, 4096).body.size(), 4096u);
  EXPECT_THROW(this->backend.http.Get(this->backend.Url("/over"), 5, 4096), BodyTooLargeError);
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

TEST_F(CurlHttpTest, BinaryBodyArrivesByteForByte) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += std::string("\0\r\n\0", 4);
  server.Serve("/bin", 200, bytes, "application/octet-stream");
  HttpResponse response = http.Get(server.Url("/bin"), 5, 1 << 20);
  EXPECT_EQ(response.Text(), bytes);
}

TEST_F(CurlHttpTest, ChunkedReplyIsCappedToo) {
  // A chunked reply announces no length, so the cap must hold while it arrives.
  server.ServeChunked("/chunked", std::string(10000, 'c'));
  EXPECT_EQ(http.Get(server.Url("/chunked"), 5, 10000).body.size(), 10000u);
  EXPECT_THROW(http.Get(server.Url("/chunked"), 5, 9999), BodyTooLargeError);
}

TEST_F(CurlHttpTest, SilentServerTimesOutWithReadableError) {
  server.Hang("/silent");
  EXPECT_EQ(FailureOf(http, server.Url("/silent"), 1),
            "The server did not answer within 1 second: " + server.Url("/silent"));
}

TEST_F(CurlHttpTest, OnlyHttpIsFetched) {
  // A product host taken from the environment must not turn into a file read.
  EXPECT_THROW(http.Get("file:///etc/hostname", 5, 4096), Error);
  EXPECT_THROW(http.Get("not a url", 5, 4096), Error);
}

}  // namespace
