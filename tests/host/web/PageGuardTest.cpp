#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "host/web/PageGuard.h"
#include "host/web/PageSecret.h"
#include "platform/Error.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

using Kind = GuardVerdict::Kind;

const std::string kToken(64, 'a');
const std::string kOtherToken(64, 'b');

class PageGuardTest : public ::testing::Test {
 protected:
  // What the page itself sends once logged in.
  GuardedRequest FromThePage(const std::string& method = "GET",
                             const std::string& path = "/state") {
    GuardedRequest request;
    request.method = method;
    request.path = path;
    request.host = "127.0.0.1:8480";
    request.cookie = "mailhost-8480=" + kToken;
    request.fetchSite = "same-origin";
    if (method == "POST") request.origin = "http://127.0.0.1:8480";
    return request;
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

  GuardedRequest script;
  script.method = "POST";
  script.path = "/command";
  script.host = "localhost:8480";
  script.authorization = "bearer " + kToken;
  script.hasBody = true;
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
  GuardedRequest opened;
  opened.method = "GET";
  opened.path = "/";
  opened.host = "127.0.0.1:8480";
  opened.fetchSite = "none";  // typed, or opened from the terminal
  opened.token = kToken;
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
    request.cookie = "mailhost-8480=" + kToken;
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
