#pragma once
// Synchronous HTTP GET with a time-out. Only what the request asked for comes
// back: a 2xx reply's body, no larger than the caller allows.
//
// Contract for every backend:
// - A reply whose status is not 2xx is HttpStatusError, whatever its body;
//   redirects are not followed, so a 3xx is one too. Nothing of such a body
//   is returned or written to the request's file.
// - A body over maxBytes is BodyTooLargeError, whether or not the reply
//   announced its length.
// - With bodyFd set, the body is written to that descriptor as it arrives and
//   never held whole in memory; the response's body stays empty. After a
//   failure the descriptor may hold part of it: the caller discards it.
// - No reply at all (no server, a refused certificate, the time-out, a
//   transfer slower than kLowSpeedBytes a second for kLowSpeedSeconds) is
//   platform::Error naming the URL.
// - https is verified against the system's certificate store.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// A transfer this slow for this long is given up, so a trickling server
// cannot hold the caller for the whole time-out.
constexpr long kLowSpeedBytes = 1024;
constexpr long kLowSpeedSeconds = 5;

// The server answered, but with something the fetch refuses: unlike a
// connection failure or a time-out, this is a wrong reply, not a missing one.
class RefusedReplyError : public Error {
 public:
  using Error::Error;
};

class BodyTooLargeError : public RefusedReplyError {
 public:
  using RefusedReplyError::RefusedReplyError;
};

class HttpStatusError : public RefusedReplyError {
 public:
  HttpStatusError(const std::string& url, long status)
      : RefusedReplyError("The server answered " + url + " with status " + std::to_string(status) +
                          " instead of the file."),
        m_status(status) {}
  long Status() const { return m_status; }

 private:
  long m_status;
};

struct HttpRequest {
  std::string url;
  int timeoutSeconds = 0;  // the whole transfer; 0 for none
  std::size_t maxBytes = 0;
  int bodyFd = -1;  // when set, the body goes here instead of into the response
};

struct HttpResponse {
  long status = 0;
  std::vector<std::uint8_t> body;
  std::string Text() const { return std::string(body.begin(), body.end()); }
};

class Http {
 public:
  virtual ~Http() = default;
  virtual HttpResponse Get(const HttpRequest& request) = 0;
};

inline bool IsSuccessStatus(long status) {
  return status >= 200 && status <= 299;
}

// The message of a body over the limit, the same from every backend.
inline std::string BodyTooLargeText(const std::string& url, std::size_t maxBytes) {
  return "The reply from " + url + " is larger than " + std::to_string(maxBytes) + " bytes.";
}

}  // namespace platform
