#pragma once
// Deterministic HTTP: replies scripted per URL, every request recorded. An
// URL with nothing scripted fails as a closed port does.
#include <map>
#include <string>
#include <vector>

#include "platform/Http.h"

namespace platform {

class FakeHttp : public Http {
 public:
  void Serve(const std::string& url, long status, const std::string& body);
  // The request fails with this description (a time-out, a refused connection).
  void Fail(const std::string& url, const std::string& description);
  HttpResponse Get(const HttpRequest& request) override;

  const std::vector<HttpRequest>& Requests() const { return m_requests; }

 private:
  struct Script {
    HttpResponse response;
    std::string failure;  // empty: answer with the response
  };
  std::map<std::string, Script> m_scripts;
  std::vector<HttpRequest> m_requests;
};

}  // namespace platform
