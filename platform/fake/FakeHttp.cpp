#include "platform/fake/FakeHttp.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/common/DurableFile.h"

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

HttpResponse FakeHttp::Get(const HttpRequest& request) {
  m_requests.push_back(request);
  const std::string& url = request.url;
  auto it = m_scripts.find(url);
  if (it == m_scripts.end()) throw Error("Could not get " + url + ": Connection refused");
  const Script& script = it->second;
  if (!script.failure.empty()) throw Error(script.failure);
  if (!IsSuccessStatus(script.response.status)) throw HttpStatusError(url, script.response.status);
  const auto& body = script.response.body;
  if (body.size() > request.maxBytes)
    throw BodyTooLargeError(BodyTooLargeText(url, request.maxBytes));
  if (request.bodyFd < 0) return script.response;

  if (!WriteAll(request.bodyFd, body.data(), body.size()))
    throw Error("Could not write the reply from " + url + ": " + std::strerror(errno));
  HttpResponse response;
  response.status = script.response.status;
  return response;
}

}  // namespace platform
