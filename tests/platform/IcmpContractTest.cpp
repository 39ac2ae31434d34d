// The ICMP echo's contract, on loopback and against the fake. Echoes go to
// loopback only; where loopback must stay silent or be down, the test runs in
// a network namespace of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/fake/FakeIcmp.h"
#include "platform/linux/LinuxIcmp.h"
#include "tests/support/ContractTest.h"
#include "tests/support/NetworkNamespace.h"

namespace {

constexpr std::int32_t kIpSuccess = 0;
constexpr std::int32_t kIpDestNetUnreachable = 11002;
constexpr std::int32_t kIpReqTimedOut = 11010;
constexpr const char* kNoIcmp =
    "this process may open neither a datagram nor a raw ICMP socket (needs "
    "net.ipv4.ping_group_range to include our group, or root / cap_net_raw)";

std::uint32_t Address(const char* dotted) {
  return inet_addr(dotted);
}

struct LinuxEcho {
  static constexpr const char* kName = "Linux";
  // Run inside a namespace of the test's own, loopback answers nothing.
  static constexpr const char* kSilentLoopback =
      "ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_all=1";
  platform::LinuxIcmp icmp;
  void Answer(const char* /*dotted*/) {}  // all of 127.0.0.0/8 answers
};

struct FakeEcho {
  static constexpr const char* kName = "Fake";
  static constexpr const char* kSilentLoopback = nullptr;  // unscripted: silent
  platform::FakeIcmp icmp;
  FakeEcho() { icmp.AddHost("localhost", "127.0.0.1"); }
  void Answer(const char* dotted) { icmp.SetEchoStatus(dotted, kIpSuccess); }
};

template <typename Backend>
class IcmpContract : public ::testing::Test {
 protected:
  Backend backend;
  platform::Icmp& Icmp() { return backend.icmp; }
};
SONVERA_CONTRACT_SUITE(IcmpContract, LinuxEcho, FakeEcho);

TYPED_TEST(IcmpContract, ResolvesAKnownNameAndLeavesTheAddressAloneOtherwise) {
  std::uint32_t address = 0;
  ASSERT_TRUE(this->Icmp().Resolve("localhost", &address));
  EXPECT_EQ(address, Address("127.0.0.1"));
  address = 12345;
  for (const std::string& name :
       {std::string(), std::string("nosuch.invalid"), std::string("NoSuch.Invalid."),
        std::string("localhost\0.invalid", 18)}) {
    EXPECT_FALSE(this->Icmp().Resolve(name, &address)) << name;
    EXPECT_EQ(address, 12345u) << "a failed lookup of '" << name << "' changed the address";
  }
}

TYPED_TEST(IcmpContract, AnsweredEchoBringsBackItsOwnPayload) {
  if (!this->Icmp().Available()) GTEST_SKIP() << kNoIcmp;
  for (const char* target : {"127.0.0.1", "127.0.0.2"}) {
    this->backend.Answer(target);
    const std::string payload = std::string("Found ") + target;
    const platform::EchoResult result = this->Icmp().Echo(Address(target), payload, 500);
    EXPECT_EQ(result.status, kIpSuccess) << target;
    EXPECT_EQ(result.replyAddress, Address(target)) << target;
    EXPECT_EQ(result.data, payload) << target;
  }
  // Back to back, the second echo must not take the first one's reply.
  EXPECT_EQ(this->Icmp().Echo(Address("127.0.0.1"), "second", 500).data, "second");
}

TYPED_TEST(IcmpContract, UnansweredEchoTimesOutWithNoData) {
  if (TypeParam::kSilentLoopback) {
    RUN_INSIDE_NETWORK_NAMESPACE(TypeParam::kSilentLoopback);
  }
  if (!this->Icmp().Available()) GTEST_SKIP() << kNoIcmp;
  const platform::EchoResult result = this->Icmp().Echo(Address("127.0.0.1"), "Found", 500);
  EXPECT_EQ(result.status, kIpReqTimedOut);
  EXPECT_TRUE(result.data.empty());
}

TEST(LinuxIcmpNamespace, LoopbackDownIsNetUnreachable) {
  RUN_INSIDE_NETWORK_NAMESPACE("true");
  platform::LinuxIcmp icmp;
  if (!icmp.Available()) GTEST_SKIP() << kNoIcmp;
  EXPECT_EQ(icmp.Echo(Address("127.0.0.1"), "Found", 500).status, kIpDestNetUnreachable);
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

}  // namespace
