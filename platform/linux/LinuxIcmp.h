#pragma once
// ICMP echo over a datagram ICMP socket where the system allows unprivileged
// pings, else a raw socket (root or cap_net_raw), else not available.
#include "platform/Icmp.h"

namespace platform {

class LinuxIcmp : public Icmp {
 public:
  bool Resolve(const std::string& host, std::uint32_t* address) override;
  bool Available() override;
  EchoResult Echo(std::uint32_t address, const std::string& payload, int timeoutMs) override;
  int StartSockets() override { return 0; }
  int StopSockets() override { return 0; }
};

}  // namespace platform
