#pragma once
// Deterministic ICMP: a table of names, a scripted status per address, and a
// record of every echo that would have gone out.
#include <map>
#include <string>
#include <vector>

#include "platform/Icmp.h"

namespace platform {

class FakeIcmp : public Icmp {
 public:
  struct Sent {
    std::uint32_t address = 0;  // network order
    std::string payload;
    int timeoutMs = 0;
  };

  // "a.b.c.d" in dotted text, for readable tests.
  void AddHost(const std::string& name, const std::string& dottedAddress);
  // Status of echoes to the address; unscripted addresses time out (11010).
  void SetEchoStatus(const std::string& dottedAddress, std::int32_t status);
  void SetAvailable(bool available) { m_available = available; }
  void SetSocketResults(int start, int stop) {
    m_startResult = start;
    m_stopResult = stop;
  }

  bool Resolve(const std::string& host, std::uint32_t* address) override;
  bool Available() override { return m_available; }
  EchoResult Echo(std::uint32_t address, const std::string& payload, int timeoutMs) override;
  int StartSockets() override;
  int StopSockets() override;

  const std::vector<Sent>& Echoes() const { return m_sent; }
  const std::vector<std::string>& Lookups() const { return m_lookups; }
  int Starts() const { return m_starts; }
  int Stops() const { return m_stops; }
  // Whether sockets were started when each lookup happened.
  const std::vector<bool>& LookupsWhileStarted() const { return m_lookupsWhileStarted; }

 private:
  std::map<std::string, std::uint32_t> m_hosts;
  std::map<std::uint32_t, std::int32_t> m_status;
  std::vector<Sent> m_sent;
  std::vector<std::string> m_lookups;
  std::vector<bool> m_lookupsWhileStarted;
  bool m_available = true;
  int m_startResult = 0;
  int m_stopResult = 0;
  int m_starts = 0;
  int m_stops = 0;
  int m_open = 0;
};

}  // namespace platform
