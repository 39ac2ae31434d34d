// The real ICMP service. Echoes go to loopback only; the cases that need
// loopback to stay silent or be down run in a network namespace of their own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/LinuxIcmp.h"
#include "tests/support/NetworkNamespace.h"

namespace {

constexpr std::int32_t kIpSuccess = 0;
constexpr std::int32_t kIpDestNetUnreachable = 11002;
constexpr std::int32_t kIpReqTimedOut = 11010;

std::uint32_t Address(const char* dotted) {
  return inet_addr(dotted);
}

#define SKIP_WITHOUT_ICMP(icmp)                                                       \
  if (!(icmp).Available())                                                            \
  GTEST_SKIP() << "this process may open neither a datagram nor a raw ICMP socket "   \
                  "(needs net.ipv4.ping_group_range to include our group, or root / " \
                  "cap_net_raw)"

TEST(LinuxIcmp, ResolvesFirstIPv4AddressOrNothing) {
  platform::LinuxIcmp icmp;
  std::uint32_t address = 0;
  ASSERT_TRUE(icmp.Resolve("localhost", &address));
  EXPECT_EQ(address, Address("127.0.0.1"));
  ASSERT_TRUE(icmp.Resolve("127.0.0.9", &address));
  EXPECT_EQ(address, Address("127.0.0.9"));

  address = 12345;
  EXPECT_FALSE(icmp.Resolve("", &address));
  EXPECT_FALSE(icmp.Resolve("nosuch.invalid", &address));
  EXPECT_FALSE(icmp.Resolve("NoSuch.Invalid.", &address));
  EXPECT_FALSE(icmp.Resolve(std::string("localhost\0.invalid", 18), &address));
  EXPECT_EQ(address, 12345u) << "a failed lookup must leave the address alone";
}

TEST(LinuxIcmp, LoopbackEchoesThePayload) {
  platform::LinuxIcmp icmp;
  SKIP_WITHOUT_ICMP(icmp);
  for (const char* target : {"127.0.0.1", "127.0.0.2"}) {
    const std::string payload = std::string("Found ") + target;
    const platform::EchoResult result = icmp.Echo(Address(target), payload, 500);
    EXPECT_EQ(result.status, kIpSuccess) << target;
    EXPECT_EQ(result.replyAddress, Address(target)) << target;
    EXPECT_EQ(result.data, payload) << target;
  }
  // Back to back, the second echo must not take the first one's reply.
  const platform::EchoResult second = icmp.Echo(Address("127.0.0.1"), "second", 500);
  EXPECT_EQ(second.status, kIpSuccess);
  EXPECT_EQ(second.data, "second");
}

TEST(LinuxIcmpNamespace, IgnoredEchoTimesOut) {
  RUN_INSIDE_NETWORK_NAMESPACE("ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_all=1");
  platform::LinuxIcmp icmp;
  SKIP_WITHOUT_ICMP(icmp);
  const platform::EchoResult result = icmp.Echo(Address("127.0.0.1"), "Found 127.0.0.1", 500);
  EXPECT_EQ(result.status, kIpReqTimedOut);
  EXPECT_TRUE(result.data.empty());
}

// Where the system lets our group ping, the unprivileged datagram socket is
// the one used; its replies and time-outs must read the same.
TEST(LinuxIcmpNamespace, DatagramSocketEchoesAndTimesOut) {
  RUN_INSIDE_NETWORK_NAMESPACE(
      "ip link set lo up && sysctl -qw net.ipv4.ping_group_range='0 2147483647'");
  const int probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
  if (probe < 0) GTEST_SKIP() << "datagram ICMP sockets stay refused with the ping group widened";
  close(probe);
  platform::LinuxIcmp icmp;
  const platform::EchoResult answered = icmp.Echo(Address("127.0.0.1"), "Found dgram", 500);
  EXPECT_EQ(answered.status, kIpSuccess);
  EXPECT_EQ(answered.data, "Found dgram");
  EXPECT_EQ(answered.replyAddress, Address("127.0.0.1"));
  ASSERT_EQ(system("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"), 0);
  EXPECT_EQ(icmp.Echo(Address("127.0.0.1"), "Found dgram", 500).status, kIpReqTimedOut);
}

TEST(LinuxIcmpNamespace, LoopbackDownIsNetUnreachable) {
  RUN_INSIDE_NETWORK_NAMESPACE("true");
  platform::LinuxIcmp icmp;
  SKIP_WITHOUT_ICMP(icmp);
  EXPECT_EQ(icmp.Echo(Address("127.0.0.1"), "Found 127.0.0.1", 500).status, kIpDestNetUnreachable);
}

}  // namespace
