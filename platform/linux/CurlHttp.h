#pragma once
// HTTP GET through libcurl: plain http and https only, no redirects followed,
// the body capped while it arrives so that a server cannot fill memory.
#include "platform/Http.h"

namespace platform {

class CurlHttp : public Http {
 public:
  CurlHttp();
  HttpResponse Get(const std::string& url, int timeoutSeconds, std::size_t maxBytes) override;
};

}  // namespace platform
