#pragma once
// The product web server: the update check, the ping, the tutorial address
// and the mail footer all use this one value. It is resolved once at
// start-up and handed down, never read again from the environment.
//
// SONVERA_PRODUCT_HOST replaces the compiled default (tests, a private
// mirror): "name", "name:port" or "https://name[:port]" are reached over
// https with the system's certificate store. "http://" is accepted only for
// a loopback server (127.0.0.0/8, ::1, localhost), so that tests keep their
// plain loopback server and nothing else can turn the update check into
// clear text. For any other host a plain http:// value, or any other scheme,
// is refused with a line on standard error and the same host is reached over
// https instead: the user still gets the server they named, only encrypted.
#include <string>

namespace sonvera {

// Compiled default, under a reserved domain so that an unconfigured build
// never reaches anyone.
constexpr const char* kDefaultProductHost = "updates.example";
constexpr const char* kProductHostVariable = "SONVERA_PRODUCT_HOST";

struct ProductServer {
  std::string scheme = "https";                   // "http" only for a loopback server
  std::string hostAndPort = kDefaultProductHost;  // "127.0.0.1:8123", "[::1]:8443"
  std::string hostName = kDefaultProductHost;     // no port, no brackets: what the ping resolves

  // scheme "://" hostAndPort path.
  std::string Url(const std::string& path) const;
};

// `value` as SONVERA_PRODUCT_HOST gives it ("" for the default). A refused
// scheme leaves its reason in `refusal`.
ProductServer ParseProductServer(const std::string& value, std::string* refusal);
// SONVERA_PRODUCT_HOST when set and not empty, else the default; a refusal
// goes to standard error.
ProductServer ResolveProductServer();
// 127.0.0.0/8, ::1 or localhost.
bool IsLoopbackHost(const std::string& hostName);

}  // namespace sonvera
