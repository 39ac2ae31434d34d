// The ping module over the fake ICMP service (what is asked of the platform,
// in which order), then over the real one on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "platform/linux/LinuxIcmp.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/NetworkNamespace.h"
#include "update/Ping.h"

namespace sonvera {
namespace {

using platform::Answer;

class PingTest : public ::testing::Test {
 protected:
  PingTest() {
    icmp.AddHost("updates.test", "10.1.2.3");
    icmp.SetEchoStatus("10.1.2.3", kIpSuccess);
  }
  testsupport::FakePlatform fake;
  platform::FakeIcmp& icmp = fake.icmp;
};

TEST_F(PingTest, OneEchoToTheResolvedAddressWhileSocketsAreStarted) {
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  ASSERT_EQ(icmp.Echoes().size(), 1u);
  const auto& echo = icmp.Echoes().front();
  EXPECT_EQ(echo.address, inet_addr("10.1.2.3"));
  EXPECT_EQ(echo.payload, "Found updates.test");
  EXPECT_EQ(echo.timeoutMs, 500);
  EXPECT_EQ(icmp.LookupsWhileStarted(), std::vector<bool>{true})
      << "the name must be looked up after the socket library started";
  EXPECT_EQ(icmp.Starts(), 1);
  EXPECT_EQ(icmp.Stops(), 1);
  EXPECT_TRUE(fake.boxes.Shown().empty());
}

TEST_F(PingTest, EchoFailuresComeBackAsTheirStatus) {
  icmp.AddHost("silent.test", "10.9.9.9");  // unscripted: times out
  EXPECT_EQ(PingHost("silent.test"), kIpReqTimedOut);
  icmp.AddHost("far.test", "10.9.9.8");
  icmp.SetEchoStatus("10.9.9.8", 11003);
  EXPECT_EQ(PingHost("far.test"), 11003);
  EXPECT_EQ(icmp.Stops(), 2) << "sockets are stopped after every echo";
}

TEST_F(PingTest, NameWithoutAddressSendsNothing) {
  EXPECT_EQ(PingHost("nosuch.test"), kBadAddress);
  EXPECT_TRUE(icmp.Echoes().empty());
  EXPECT_EQ(icmp.Stops(), 1);
  EXPECT_TRUE(fake.boxes.Shown().empty());
}

TEST_F(PingTest, SocketsThatDoNotStartAreReportedAndNothingIsSent) {
  icmp.SetSocketResults(10091, 0);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kBadAddress);
  EXPECT_TRUE(icmp.Echoes().empty());
  EXPECT_TRUE(icmp.Lookups().empty());
  ASSERT_EQ(fake.boxes.Shown().size(), 1u);
  const auto& box = fake.boxes.Shown().front().request;
  EXPECT_EQ(box.text,
            "Windows Sockets for 32 bit Windows environments is not successfully responding.");
  EXPECT_FALSE(box.title.has_value());
  EXPECT_EQ(box.buttons, platform::Buttons::Ok);
  EXPECT_EQ(box.icon, platform::Icon::None);
}

TEST_F(PingTest, SocketsThatDoNotStopAreReportedButTheStatusStands) {
  icmp.SetSocketResults(0, 10093);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  ASSERT_EQ(fake.boxes.Shown().size(), 1u);
  EXPECT_EQ(fake.LastBoxText(), "Windows Sockets error occurred in Cleanup.");
  EXPECT_EQ(fake.boxes.Shown().front().request.icon, platform::Icon::Exclamation);
}

TEST_F(PingTest, WithoutAnIcmpHandleTheEchoCountsAsAnswered) {
  icmp.SetAvailable(false);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  EXPECT_TRUE(icmp.Echoes().empty());
}

TEST_F(PingTest, SendEchoRefusesWhatIsNoAddress) {
  EchoReply reply;
  for (const std::string& address : std::vector<std::string>{
           "", "300.1.1.1", "10.1.2.3.4", "x", "255.255.255.255", std::string("10.1.2.3\0", 9)}) {
    EXPECT_EQ(SendEcho(address, "Found x", reply), kBadAddress) << "[" << address << "]";
  }
  EXPECT_TRUE(icmp.Echoes().empty());
}

TEST_F(PingTest, PayloadThatDoesNotFitTheReplyRecordIsNotSent) {
  EchoReply reply;
  // 250 bytes of room hold the echoed data and an error's 8 quoted bytes.
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(242, 'p'), reply), kIpSuccess);
  EXPECT_EQ(reply.data.size(), 242u);
  EXPECT_EQ(reply.dataSize, 242);
  EXPECT_EQ(reply.address, inet_addr("10.1.2.3"));
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(243, 'p'), reply), kIpBufTooSmall);
  EXPECT_EQ(icmp.Echoes().size(), 1u);
}

TEST(PingTextTest, AddressTextIsDottedDecimalInStorageOrder) {
  EXPECT_EQ(AddressText({10, 0, 0, 255}), "10.0.0.255");
  EXPECT_EQ(AddressText({0, 0, 0, 0}), "0.0.0.0");
  EXPECT_EQ(AddressText({255, 254, 1, 100}), "255.254.1.100");
}

TEST(PingTextTest, EchoStatusTextKnownAndUnknownCodes) {
  EXPECT_EQ(EchoStatusText(11010), "11010   [ ip req timed out ]");
  EXPECT_EQ(EchoStatusText(-1), "-1   [ inet_addr: bad IP format ]");
  EXPECT_EQ(EchoStatusText(0), "0   [ ip success ]");
  EXPECT_EQ(EchoStatusText(500), "500   [ ping timeout ]");
  EXPECT_EQ(EchoStatusText(11001), "11001   [ ip buf too_small ]");
  EXPECT_EQ(EchoStatusText(11023), "11023   [ ip addr added ]");
  EXPECT_EQ(EchoStatusText(11050), "11050   [ ip general failure ]");
  EXPECT_EQ(EchoStatusText(11255), "11255   [ ip pending ]");
  // Gaps in the table and neighbours of its ends are unknown.
  for (int code : {7, 1, -2, 11000, 11024, 11049, 11051, 11254, 11256}) {
    EXPECT_EQ(EchoStatusText(code), std::to_string(code) + "   [ unknown  msg returned ]");
  }
}

// The real service: loopback answers; the rest needs a namespace of its own.
class RealPingTest : public ::testing::Test {
 protected:
  RealPingTest() {
    fake.GetServices().icmp = &icmp;
    fake.Reinstall();
  }
  testsupport::FakePlatform fake;
  platform::LinuxIcmp icmp;
};

TEST_F(RealPingTest, LoopbackAnswers) {
  if (!icmp.Available())
    GTEST_SKIP() << "no ICMP socket may be opened here (not root, no ping group)";
  EXPECT_EQ(PingHost("127.0.0.1"), kIpSuccess);
  EXPECT_EQ(PingHost("localhost"), kIpSuccess);
}

TEST_F(RealPingTest, ReservedInvalidNameGivesMinusOneWithoutAnyTraffic) {
  EXPECT_EQ(PingHost("nosuch.invalid"), kBadAddress);
}

TEST_F(RealPingTest, SilentLoopbackTimesOutInsideANamespace) {
  RUN_INSIDE_NETWORK_NAMESPACE("ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_all=1");
  if (!icmp.Available()) GTEST_SKIP() << "no ICMP socket may be opened here";
  EXPECT_EQ(PingHost("127.0.0.1"), kIpReqTimedOut);
  // With no name server reachable the lookup fails at once and nothing is sent.
  EXPECT_EQ(PingHost("updates.example"), kBadAddress);
}

}  // namespace
}  // namespace sonvera
