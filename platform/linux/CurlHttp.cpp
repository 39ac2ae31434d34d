#include "platform/linux/CurlHttp.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/Error.h"
#include "platform/common/DurableFile.h"

namespace platform {
namespace {

struct Sink {
  CURL* handle;
  const HttpRequest* request;
  std::vector<std::uint8_t>* body;
  std::size_t received = 0;
  bool refusedStatus = false;
  bool overflowed = false;
  int writeError = 0;
};

// Returning less than given makes curl end the transfer with a write error.
std::size_t Write(char* data, std::size_t size, std::size_t count, void* userData) {
  auto* sink = static_cast<Sink*>(userData);
  const std::size_t bytes = size * count;
  // The head is complete before the first byte of the body: an error page or
  // a redirect is refused before anything of it is kept.
  long status = 0;
  curl_easy_getinfo(sink->handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) {
    sink->refusedStatus = true;
    return 0;
  }
  if (bytes > sink->request->maxBytes - sink->received) {
    sink->overflowed = true;
    return 0;
  }
  if (sink->request->bodyFd >= 0) {
    if (!WriteAll(sink->request->bodyFd, data, bytes)) {
      sink->writeError = errno ? errno : EIO;
      return 0;
    }
  } else {
    sink->body->insert(sink->body->end(), data, data + bytes);
  }
  sink->received += bytes;
  return bytes;
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

std::string Seconds(long seconds) {
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

CurlHttp::CurlHttp() {
  // Not thread-safe in older libcurl releases, hence once per process.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttp::Get(const HttpRequest& request) {
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) throw Error("The HTTP transfer could not be set up.");
  CURL* handle = easy.get();
  const std::string& url = request.url;

  HttpResponse response;
  Sink sink{handle, &request, &response.body};
  char errorText[CURL_ERROR_SIZE] = {};
  const long timeoutMs = request.timeoutSeconds > 0 ? request.timeoutSeconds * 1000L : 0L;

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
  // Refuses an announced length at once; the write callback caps the rest.
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes));
  if (!m_caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, m_caFile.c_str());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Write);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode rc = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
  // A head that arrived decides, even when its body did not.
  if (sink.refusedStatus || (response.status != 0 && !IsSuccessStatus(response.status)))
    throw HttpStatusError(url, response.status);
  if (sink.overflowed || rc == CURLE_FILESIZE_EXCEEDED)
    throw BodyTooLargeError(BodyTooLargeText(url, request.maxBytes));
  if (sink.writeError != 0) {
    throw Error("Could not write the reply from " + url + ": " + std::strerror(sink.writeError));
  }
  if (rc == CURLE_OPERATION_TIMEDOUT) {
    curl_off_t elapsedUs = 0;
    curl_easy_getinfo(handle, CURLINFO_TOTAL_TIME_T, &elapsedUs);
    // Both limits end with this code; one that fired before the time-out was
    // the speed floor.
    if (timeoutMs == 0 || elapsedUs / 1000 < timeoutMs) {
      throw Error("The server sent less than " + std::to_string(kLowSpeedBytes) +
                  " bytes a second for " + Seconds(kLowSpeedSeconds) + ": " + url);
    }
    throw Error("The server did not answer within " + Seconds(request.timeoutSeconds) + ": " + url);
  }
  if (rc != CURLE_OK) {
    const std::string reason = errorText[0] ? errorText : curl_easy_strerror(rc);
    throw Error("Could not get " + url + ": " + reason);
  }
  return response;
}

}  // namespace platform
