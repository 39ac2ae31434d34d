#include "update/Ping.h"

#include <arpa/inet.h>

#include <cstring>

#include "platform/Platform.h"

namespace sonvera {
namespace {

struct StatusText {
  std::int32_t code;
  const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {-1, "inet_addr: bad IP format"},
    {0, "ip success"},
    {500, "ping timeout"},
    {11001, "ip buf too_small"},
    {11002, "ip dest net unreachable"},
    {11003, "ip dest host unreachable"},
    {11004, "ip dest prot unreachable"},
    {11005, "ip dest port unreachable"},
    {11006, "ip no resources"},
    {11007, "ip bad option"},
    {11008, "ip hw_error"},
    {11009, "ip packet too_big"},
    {11010, "ip req timed out"},
    {11011, "ip bad req"},
    {11012, "ip bad route"},
    {11013, "ip ttl expired transit"},
    {11014, "ip ttl expired reassem"},
    {11015, "ip param_problem"},
    {11016, "ip source quench"},
    {11017, "ip option too_big"},
    {11018, "ip bad destination"},
    {11019, "ip addr deleted"},
    {11020, "ip spec mtu change"},
    {11021, "ip mtu_change"},
    {11022, "ip unload"},
    {11023, "ip addr added"},
    {11050, "ip general failure"},
    {11255, "ip pending"},
};
constexpr const char* kUnknownStatus = "unknown  msg returned";

// The reply record must hold the echoed request and an ICMP error's 8 bytes.
constexpr std::size_t kErrorQuoteSize = 8;

}  // namespace

std::int32_t PingHost(const std::string& host) {
  // The socket library first: a lookup before it is started fails on the
  // original system, which made every ping there fail.
  if (!StartSockets()) {
    platform::BoxRequest box;
    box.text = kSocketsStartFailed;
    platform::GetBoxes().Show(box);
    return kBadAddress;
  }
  const std::string ip = ResolveHost(host);
  EchoReply reply;
  const std::int32_t status = SendEcho(ip, kEchoPayloadPrefix + host, reply);
  StopSockets();
  return status;
}

std::int32_t SendEcho(const std::string& address, const std::string& data, EchoReply& reply) {
  const in_addr_t target = inet_addr(address.c_str());
  if (address.find('\0') != std::string::npos || target == INADDR_NONE) return kBadAddress;
  auto& icmp = platform::GetIcmp();
  // Without an ICMP handle the original reported success and the check went on.
  if (!icmp.Available()) return kIpSuccess;
  if (data.size() + kErrorQuoteSize > kReplyDataRoom) {
    reply.status = kIpBufTooSmall;
    return reply.status;
  }
  const platform::EchoResult result = icmp.Echo(target, data, kEchoTimeoutMs);
  reply.address = result.replyAddress;
  reply.status = result.status;
  reply.roundTripTime = result.roundTripMs;
  reply.data = result.data.substr(0, kReplyDataRoom);
  reply.dataSize = static_cast<std::uint16_t>(reply.data.size());
  return reply.status;
}

std::string ResolveHost(const std::string& host) {
  std::uint32_t address = 0;
  if (!platform::GetIcmp().Resolve(host, &address)) return "";
  std::array<std::uint8_t, 4> bytes;
  std::memcpy(bytes.data(), &address, bytes.size());  // network order is storage order
  return AddressText(bytes);
}

std::string AddressText(const std::array<std::uint8_t, 4>& bytes) {
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
         std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

bool StartSockets() {
  return platform::GetIcmp().StartSockets() == 0;
}

void StopSockets() {
  if (platform::GetIcmp().StopSockets() != 0) {
    platform::BoxRequest box;
    box.text = kSocketsStopFailed;
    box.icon = platform::Icon::Exclamation;
    platform::GetBoxes().Show(box);
  }
}

std::string EchoStatusText(std::int32_t code) {
  const char* text = kUnknownStatus;
  for (const auto& entry : kStatusTexts) {
    if (entry.code == code) text = entry.text;
  }
  return std::to_string(code) + "   [ " + text + " ]";
}

}  // namespace sonvera
