#pragma once
// The reachability ping that precedes the update check: one ICMP echo with a
// short time-out, so that an unreachable server costs half a second, not the
// HTTP request's thirty.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sonvera {

constexpr int kEchoTimeoutMs = 500;
// The desktop system's reply record: a 28-byte header and 250 bytes of room
// for the echoed data.
constexpr std::size_t kReplyBufferSize = 278;
constexpr std::size_t kReplyHeaderSize = 28;
constexpr std::size_t kReplyDataRoom = kReplyBufferSize - kReplyHeaderSize;
constexpr const char* kEchoPayloadPrefix = "Found ";

// Status codes this module produces itself besides the IP helper's.
constexpr std::int32_t kBadAddress = -1;
constexpr std::int32_t kIpSuccess = 0;
constexpr std::int32_t kIpBufTooSmall = 11001;
constexpr std::int32_t kIpReqTimedOut = 11010;

constexpr const char* kSocketsStartFailed =
    "Windows Sockets for 32 bit Windows environments is not successfully responding.";
constexpr const char* kSocketsStopFailed = "Windows Sockets error occurred in Cleanup.";

struct EchoReply {
  std::uint32_t address = 0;  // replying address, network order
  std::int32_t status = 0;
  std::uint32_t roundTripTime = 0;  // milliseconds
  std::uint16_t dataSize = 0;
  std::uint16_t reserved = 0;
  std::string data;  // at most kReplyDataRoom bytes
};

// 0 when the host answered; -1 when the sockets did not start or the name
// gave no address; otherwise the echo's status.
std::int32_t PingHost(const std::string& host);
// One echo to the dotted IPv4 `address`; fills `reply`.
std::int32_t SendEcho(const std::string& address, const std::string& data, EchoReply& reply);
// The first IPv4 address of `host` as dotted text, or "".
std::string ResolveHost(const std::string& host);
std::string AddressText(const std::array<std::uint8_t, 4>& bytes);
bool StartSockets();
void StopSockets();
// "11010   [ ip req timed out ]".
std::string EchoStatusText(std::int32_t code);

}  // namespace sonvera
