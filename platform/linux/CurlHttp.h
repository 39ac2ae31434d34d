#pragma once
// HTTP GET through libcurl: plain http and https only, no redirects followed,
// the body capped while it arrives so that a server cannot fill memory or
// disk. https uses libcurl's defaults: the system's certificate store and
// full verification of the peer and its name.
#include <string>

#include "platform/Http.h"

namespace platform {

class CurlHttp : public Http {
 public:
  CurlHttp();
  HttpResponse Get(const HttpRequest& request) override;

  // Trusts the certificates in this PEM file instead of the system's store
  // ("" for the store again): how a test trusts its own loopback server.
  void SetCaFile(std::string path) { m_caFile = std::move(path); }

 private:
  std::string m_caFile;
};

}  // namespace platform
