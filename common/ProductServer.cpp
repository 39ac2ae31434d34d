#include "common/ProductServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>

namespace sonvera {
namespace {

constexpr const char* kSchemeSeparator = "://";

// "name:port" loses the port, "[::1]:80" its brackets and port; a bare IPv6
// address (more than one colon) is all host.
std::string HostNameOf(const std::string& hostAndPort) {
  if (!hostAndPort.empty() && hostAndPort.front() == '[') {
    const auto close = hostAndPort.find(']');
    return close == std::string::npos ? hostAndPort : hostAndPort.substr(1, close - 1);
  }
  const auto colon = hostAndPort.find(':');
  if (colon == std::string::npos || hostAndPort.find(':', colon + 1) != std::string::npos)
    return hostAndPort;
  return hostAndPort.substr(0, colon);
}

}  // namespace

std::string ProductServer::Url(const std::string& path) const {
  return scheme + kSchemeSeparator + hostAndPort + path;
}

bool IsLoopbackHost(const std::string& hostName) {
  if (strcasecmp(hostName.c_str(), "localhost") == 0) return true;
  in_addr v4{};
  if (inet_pton(AF_INET, hostName.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, hostName.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

ProductServer ParseProductServer(const std::string& value, std::string* refusal) {
  ProductServer server;
  if (value.empty()) return server;
  std::string scheme = "https";
  std::string host = value;
  if (const auto at = value.find(kSchemeSeparator); at != std::string::npos) {
    scheme = value.substr(0, at);
    host = value.substr(at + 3);
  }
  server.hostName = HostNameOf(host);
  server.hostAndPort =
      host == server.hostName && host.find(':') != std::string::npos ? "[" + host + "]" : host;
  const bool plainLoopback =
      strcasecmp(scheme.c_str(), "http") == 0 && IsLoopbackHost(server.hostName);
  server.scheme = plainLoopback ? "http" : "https";
  if (!plainLoopback && strcasecmp(scheme.c_str(), "https") != 0 && refusal) {
    *refusal = std::string(kProductHostVariable) + ": \"" + value +
               "\" refused: only a loopback server is reached without https; using " +
               server.Url("") + " instead.";
  }
  return server;
}

ProductServer ResolveProductServer() {
  const char* value = std::getenv(kProductHostVariable);
  std::string refusal;
  ProductServer server = ParseProductServer(value ? value : "", &refusal);
  if (!refusal.empty()) std::fprintf(stderr, "%s\n", refusal.c_str());
  return server;
}

}  // namespace sonvera
