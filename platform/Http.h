#pragma once
// Synchronous HTTP GET with a time-out. Whatever the status, the body comes
// back; only a failure to get a response at all is an error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// A reply whose body is over the caller's limit: the server answered, but with
// something this fetch refuses, unlike a connection failure or a time-out.
class BodyTooLargeError : public Error {
 public:
  using Error::Error;
};

struct HttpResponse {
  long status = 0;
  std::vector<std::uint8_t> body;
  std::string Text() const { return std::string(body.begin(), body.end()); }
};

class Http {
 public:
  virtual ~Http() = default;
  // Throws platform::Error on connection failure or time-out, and
  // BodyTooLargeError for a body larger than maxBytes.
  virtual HttpResponse Get(const std::string& url, int timeoutSeconds, std::size_t maxBytes) = 0;
};

}  // namespace platform
