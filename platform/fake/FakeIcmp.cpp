#include "platform/fake/FakeIcmp.h"

#include <arpa/inet.h>

#include "platform/Error.h"

namespace platform {
namespace {

constexpr std::int32_t kIpReqTimedOut = 11010;

std::uint32_t Parse(const std::string& dotted) {
  in_addr address{};
  if (inet_pton(AF_INET, dotted.c_str(), &address) != 1)
    throw Error("Not a dotted IPv4 address: " + dotted);
  return address.s_addr;
}

}  // namespace

void FakeIcmp::AddHost(const std::string& name, const std::string& dottedAddress) {
  m_hosts[name] = Parse(dottedAddress);
}

void FakeIcmp::SetEchoStatus(const std::string& dottedAddress, std::int32_t status) {
  m_status[Parse(dottedAddress)] = status;
}

bool FakeIcmp::Resolve(const std::string& host, std::uint32_t* address) {
  m_lookups.push_back(host);
  m_lookupsWhileStarted.push_back(m_open > 0);
  auto it = m_hosts.find(host);
  if (it == m_hosts.end()) return false;
  *address = it->second;
  return true;
}

EchoResult FakeIcmp::Echo(std::uint32_t address, const std::string& payload, int timeoutMs) {
  m_sent.push_back({address, payload, timeoutMs});
  EchoResult result;
  auto it = m_status.find(address);
  result.status = it == m_status.end() ? kIpReqTimedOut : it->second;
  if (result.status == 0) {
    result.replyAddress = address;
    result.data = payload;
  }
  return result;
}

int FakeIcmp::StartSockets() {
  ++m_starts;
  if (m_startResult == 0) ++m_open;
  return m_startResult;
}

int FakeIcmp::StopSockets() {
  ++m_stops;
  if (m_open > 0) --m_open;
  return m_stopResult;
}

}  // namespace platform
