#include "platform/fake/FakeHttp.h"

namespace platform {

void FakeHttp::Serve(const std::string& url, long status, const std::string& body) {
  Script script;
  script.response.status = status;
  script.response.body.assign(body.begin(), body.end());
  m_scripts[url] = script;
}

void FakeHttp::Fail(const std::string& url, const std::string& description) {
  Script script;
  script.failure = description;
  m_scripts[url] = script;
}

HttpResponse FakeHttp::Get(const std::string& url, int timeoutSeconds, std::size_t maxBytes) {
  m_requests.push_back({url, timeoutSeconds, maxBytes});
  auto it = m_scripts.find(url);
  if (it == m_scripts.end()) throw Error("Could not get " + url + ": Connection refused");
  if (!it->second.failure.empty()) throw Error(it->second.failure);
  if (it->second.response.body.size() > maxBytes) {
    throw BodyTooLargeError("The reply from " + url + " is larger than " +
                            std::to_string(maxBytes) + " bytes.");
  }
  return it->second.response;
}

}  // namespace platform
