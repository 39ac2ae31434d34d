// How SONVERA_PRODUCT_HOST becomes the product server: https unless the
// server is on loopback, so that nothing but a test can ask in the clear.
#include <gtest/gtest.h>

#include "common/ProductServer.h"

namespace sonvera {
namespace {

struct Expected {
  const char* value;
  const char* origin;    // Url("")
  const char* hostName;  // what the ping resolves
  bool refused;
};

TEST(ProductServerTest, PlainHttpOnlyForLoopbackEverythingElseOverHttps) {
  const Expected cases[] = {
      {"", "https://updates.example", "updates.example", false},
      {"127.0.0.1:8123", "https://127.0.0.1:8123", "127.0.0.1", false},
      {"https://mirror.test", "https://mirror.test", "mirror.test", false},
      {"http://127.0.0.1:8123", "http://127.0.0.1:8123", "127.0.0.1", false},
      {"http://127.200.1.9", "http://127.200.1.9", "127.200.1.9", false},
      {"HTTP://LocalHost:80", "http://LocalHost:80", "LocalHost", false},
      {"http://[::1]:8080", "http://[::1]:8080", "::1", false},
      {"::1", "https://[::1]", "::1", false},
      // Look-alikes of loopback are not loopback.
      {"http://128.0.0.1", "https://128.0.0.1", "128.0.0.1", true},
      {"http://localhost.mirror.test", "https://localhost.mirror.test", "localhost.mirror.test",
       true},
      {"http://127.1", "https://127.1", "127.1", true},
      {"http://mirror.test:8080", "https://mirror.test:8080", "mirror.test", true},
      {"ftp://mirror.test", "https://mirror.test", "mirror.test", true},
  };
  for (const Expected& c : cases) {
    std::string refusal;
    const ProductServer server = ParseProductServer(c.value, &refusal);
    EXPECT_EQ(server.Url(""), c.origin) << c.value;
    EXPECT_EQ(server.hostName, c.hostName) << c.value;
    EXPECT_EQ(!refusal.empty(), c.refused) << c.value << ": " << refusal;
  }
  // A refusal says what is used instead.
  std::string refusal;
  ParseProductServer("http://mirror.test", &refusal);
  EXPECT_EQ(refusal,
            "SONVERA_PRODUCT_HOST: \"http://mirror.test\" refused: only a loopback server is "
            "reached without https; using https://mirror.test instead.");
}

}  // namespace
}  // namespace sonvera
