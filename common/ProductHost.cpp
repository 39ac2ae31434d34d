#include "common/ProductHost.h"

#include <cstdlib>

namespace sonvera {

std::string ProductHost() {
  const char* value = std::getenv(kProductHostVariable);
  return value && *value ? value : kDefaultProductHost;
}

std::string ProductHostName() {
  std::string host = ProductHost();
  // "[::1]:80" keeps its brackets' content; "name:port" loses the port.
  if (!host.empty() && host.front() == '[') {
    auto close = host.find(']');
    return close == std::string::npos ? host : host.substr(1, close - 1);
  }
  auto colon = host.find(':');
  return colon == std::string::npos ? host : host.substr(0, colon);
}

}  // namespace sonvera
