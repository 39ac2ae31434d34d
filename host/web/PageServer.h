#pragma once
// The page's HTTP server around cpp-httplib: every request passes the guard
// (host/web/PageGuard.h) before a route sees it, every answer carries the
// page's security headers, bodies are bounded, and the event streams that
// follow mailhost live have workers of their own, so that open pages never
// starve the requests that answer them.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "host/web/PageGuard.h"
#include "host/web/PageLimits.h"

namespace mailhost {

// A body read whole, or the reason it was not (the response is then set).
using SmallBody = std::optional<std::string>;

class PageServer {
 public:
  // Makes this start's token (host/web/PageSecret.h).
  explicit PageServer(const PageLimits& limits);
  // Removes the token file, if this start wrote one.
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  httplib::Server& Http() { return m_http; }
  const PageLimits& Limits() const { return m_limits; }

  // Listens on 127.0.0.1 only; port 0 picks a free one. The port, or -1.
  int Bind(int port);
  void Listen() { m_http.listen_after_bind(); }
  void Stop() { m_http.stop(); }
  // After Bind: the address to print, with the token.
  std::string Address() const { return m_guard->Address(); }
  // Writes the token to `path`, readable by the user alone, for scripts; a
  // failure is said on `errors` and the run goes on (the address has it).
  void KeepTokenIn(const std::string& path, std::ostream& errors);

  // A text/event-stream at `path`: `next` gives the next event's data once
  // there is one newer than `seen` (or "" when `wait` passed, and a comment
  // keeps the stream alive); `ended` says when to close it. `follows`, when
  // set, hears of each stream that opens and closes, by the page name the
  // page gives as ?page=.
  using NextEvent = std::function<std::string(std::uint64_t& seen, std::chrono::milliseconds wait)>;
  using Follows = std::function<void(const std::string& page, bool open)>;
  void Events(const std::string& path, NextEvent next, std::function<bool()> ended,
              Follows follows = nullptr);

  // The body of a POST of at most `limit` bytes; past it, a 413 with
  // `tooLong` is set and nothing beyond the limit is kept in memory.
  static SmallBody ReadBody(const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader, std::size_t limit,
                            const std::string& tooLong);
  // The Content-Length of a request (0 when none is said); nullopt for a
  // chunked body.
  static std::optional<std::size_t> ContentLength(const httplib::Request& req);
  // Answers with `size` bytes that `provider` reads, or the one range of
  // them the request asks for; a 416 when nothing asked lies within them.
  static void ServeSized(const httplib::Request& req, httplib::Response& res, std::size_t size,
                         const char* type, httplib::ContentProvider provider);

 private:
  httplib::Server::HandlerResponse Guard(const httplib::Request& req, httplib::Response& res);
  void ServeAssets();

  const std::string m_token;
  std::optional<PageGuard> m_guard;  // made by Bind, which knows the port
  std::string m_tokenFile;
  PageLimits m_limits;
  httplib::Server m_http;
  std::atomic<int> m_openStreams{0};
};

}  // namespace mailhost
