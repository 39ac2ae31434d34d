#pragma once
// The product web server: update check, ping, tutorial address and mail
// footer all use this one value. It may carry a port ("127.0.0.1:8123").
#include <string>

namespace sonvera {

// Compiled default, under a reserved domain so that an unconfigured build
// never reaches anyone.
constexpr const char* kDefaultProductHost = "updates.example";
constexpr const char* kProductHostVariable = "SONVERA_PRODUCT_HOST";

// SONVERA_PRODUCT_HOST when set and not empty, else the default.
std::string ProductHost();
// The host part without a port, for the ping.
std::string ProductHostName();

}  // namespace sonvera
