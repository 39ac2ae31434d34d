// The ping module over the fake ICMP service: what is asked of the platform,
// in which order. The real echo's answers and time-outs are IcmpContract's,
// and the update end-to-end runs ping a real loopback server.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/support/FakePlatform.h"
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

TEST_F(PingTest, OneEchoPerResolvedNameItsStatusBackAndSocketsStoppedEachTime) {
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  ASSERT_EQ(icmp.Echoes().size(), 1u);
  EXPECT_EQ(icmp.Echoes().front().address, inet_addr("10.1.2.3"));
  EXPECT_EQ(icmp.LookupsWhileStarted(), std::vector<bool>{true})
      << "the name must be looked up after the socket library started";
  icmp.AddHost("silent.test", "10.9.9.9");  // unscripted: times out
  EXPECT_EQ(PingHost("silent.test"), kIpReqTimedOut);
  EXPECT_EQ(PingHost("nosuch.test"), kBadAddress);
  EXPECT_EQ(icmp.Echoes().size(), 2u) << "a name without an address sent an echo";
  EXPECT_EQ(icmp.Stops(), 3);
  icmp.SetAvailable(false);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess) << "without an ICMP handle it counts as answered";
  EXPECT_TRUE(fake.boxes.Shown().empty());
}

TEST_F(PingTest, SocketLibraryFailuresAreReported) {
  icmp.SetSocketResults(10091, 0);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kBadAddress);
  EXPECT_TRUE(icmp.Lookups().empty()) << "looked up without a socket library";
  ASSERT_EQ(fake.boxes.Shown().size(), 1u);
  const auto& box = fake.boxes.Shown().front().request;
  EXPECT_EQ(box.text,
            "Windows Sockets for 32 bit Windows environments is not successfully responding.");
  EXPECT_FALSE(box.title.has_value());
  EXPECT_EQ(box.icon, platform::Icon::None);

  // One that does not stop is reported, but the echo's status stands.
  icmp.SetSocketResults(0, 10093);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  EXPECT_EQ(fake.LastBoxText(), "Windows Sockets error occurred in Cleanup.");
  EXPECT_EQ(fake.boxes.Shown().back().request.icon, platform::Icon::Exclamation);
}

TEST_F(PingTest, SendEchoRefusesWhatIsNoAddressOrDoesNotFitTheReplyRecord) {
  EchoReply reply;
  for (const std::string& address : std::vector<std::string>{
           "", "300.1.1.1", "10.1.2.3.4", "x", "255.255.255.255", std::string("10.1.2.3\0", 9)}) {
    EXPECT_EQ(SendEcho(address, "Found x", reply), kBadAddress) << "[" << address << "]";
  }
  // 250 bytes of room hold the echoed data and an error's 8 quoted bytes.
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(242, 'p'), reply), kIpSuccess);
  EXPECT_EQ(reply.dataSize, 242);
  EXPECT_EQ(reply.address, inet_addr("10.1.2.3"));
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(243, 'p'), reply), kIpBufTooSmall);
  EXPECT_EQ(icmp.Echoes().size(), 1u);
}

}  // namespace
}  // namespace sonvera
