#include "platform/linux/CurlHttp.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/Error.h"

namespace platform {
namespace {

struct Sink {
  std::vector<std::uint8_t>* body;
  std::size_t maxBytes;
  bool overflowed = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* userData) {
  auto* sink = static_cast<Sink*>(userData);
  const std::size_t bytes = size * count;
  if (bytes > sink->maxBytes - sink->body->size()) {
    sink->overflowed = true;
    return 0;  // curl then ends the transfer with a write error
  }
  sink->body->insert(sink->body->end(), data, data + bytes);
  return bytes;
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

CurlHttp::CurlHttp() {
  // Not thread-safe in older libcurl releases, hence once per process.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttp::Get(const std::string& url, int timeoutSeconds, std::size_t maxBytes) {
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) throw Error("The HTTP transfer could not be set up.");
  CURL* handle = easy.get();

  HttpResponse response;
  Sink sink{&response.body, maxBytes};
  char errorText[CURL_ERROR_SIZE] = {};
  const long timeoutMs = timeoutSeconds > 0 ? timeoutSeconds * 1000L : 0L;

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Write);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode rc = curl_easy_perform(handle);
  if (sink.overflowed) {
    throw BodyTooLargeError("The reply from " + url + " is larger than " +
                            std::to_string(maxBytes) + " bytes.");
  }
  if (rc == CURLE_OPERATION_TIMEDOUT) {
    throw Error("The server did not answer within " + std::to_string(timeoutSeconds) +
                (timeoutSeconds == 1 ? " second: " : " seconds: ") + url);
  }
  if (rc != CURLE_OK) {
    const std::string reason = errorText[0] ? errorText : curl_easy_strerror(rc);
    throw Error("Could not get " + url + ": " + reason);
  }
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace platform
