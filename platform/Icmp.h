#pragma once
// One ICMP echo with a time-out. Status codes are those of the desktop
// system's IP helper (0 success, 11010 request timed out, ...).
#include <cstdint>
#include <string>

namespace platform {

struct EchoResult {
  std::int32_t status = 0;
  std::uint32_t replyAddress = 0;  // network order
  std::uint32_t roundTripMs = 0;
  std::string data;  // echoed payload
};

class Icmp {
 public:
  virtual ~Icmp() = default;
  // First IPv4 address of a host name (network order); false when it does not resolve.
  virtual bool Resolve(const std::string& host, std::uint32_t* address) = 0;
  // False when this process may not send echoes (no handle); the ping then
  // behaves as the original system without an ICMP handle.
  virtual bool Available() = 0;
  virtual EchoResult Echo(std::uint32_t address, const std::string& payload, int timeoutMs) = 0;
  // Socket library start and stop; both succeed on this system.
  virtual int StartSockets() = 0;
  virtual int StopSockets() = 0;
};

}  // namespace platform
