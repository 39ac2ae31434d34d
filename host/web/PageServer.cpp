#include "host/web/PageServer.h"

#include <algorithm>

#include "host/web/PageSecret.h"

namespace mailhost {

extern const char* const kPageText;
extern const char* const kPageScript;
extern const char* const kPlayerScript;
extern const char* const kPageStyle;
extern const char* const kPageWorklet;

namespace {

constexpr const char* kLoopback = "127.0.0.1";
// A stream says it is alive this often; a closed one is found at the next write.
constexpr auto kKeepAlive = std::chrono::seconds(2);
constexpr const char* kText = "text/plain; charset=utf-8";
// Scripts, styles, pictures and connections from the page's own origin only,
// nothing inline, and no other page may frame it.
constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; media-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors "
    "'none'";
constexpr const char* kTooManyStreams =
    "mailhost follows at most %d pages at once: close a tab of the page and reload this one.";
constexpr const char* kStarting = "mailhost is starting.";
constexpr const char* kUnread = "The request's body could not be read.";

std::string WithNumber(const char* text, int number) {
  std::string out = text;
  const auto at = out.find("%d");
  return out.replace(at, 2, std::to_string(number));
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_header("Connection", "close");  // what is left of its body is not read
  res.set_content(message, kText);
}

// Fits `ranges` (as cpp-httplib parsed them) to a body of `size` bytes as
// HTTP asks: ends past it cut to its end, a suffix made absolute, those
// starting at or past it dropped. False when none is left.
bool FitRanges(httplib::Ranges& ranges, std::size_t size) {
  const auto end = static_cast<ssize_t>(size);
  httplib::Ranges fitted;
  for (auto [first, last] : ranges) {
    if (first < 0) {  // the last `last` bytes
      if (last <= 0 || end == 0) continue;
      first = std::max<ssize_t>(0, end - last);
      last = end - 1;
    } else {
      if (first >= end || (last >= 0 && last < first)) continue;
      if (last < 0 || last >= end) last = end - 1;
    }
    fitted.emplace_back(first, last);
  }
  const bool asked = !ranges.empty();
  ranges = std::move(fitted);
  return !asked || !ranges.empty();
}

}  // namespace

PageServer::PageServer(const PageLimits& limits) : m_token(NewPageToken()), m_limits(limits) {
  const auto workers = static_cast<std::size_t>(m_limits.streams + m_limits.workers);
  m_http.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  // A body past this is read and thrown away by cpp-httplib itself, and the
  // route hears of a 413.
  m_http.set_payload_max_length(std::max(m_limits.uploadBytes, m_limits.commandBytes));
  // An answer goes out as headers, then body: without this the second part
  // waits for the client's delayed acknowledgement, 40 ms on Linux.
  m_http.set_tcp_nodelay(true);
  // Nothing of the mail stays in the browser's cache: a route that serves
  // what may be kept says so itself.
  m_http.set_default_headers({{"Content-Security-Policy", kPolicy},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"Cache-Control", "no-store"}});
  m_http.set_pre_routing_handler(
      [this](const httplib::Request& req, httplib::Response& res) { return Guard(req, res); });
  ServeAssets();
}

PageServer::~PageServer() {
  if (!m_tokenFile.empty()) RemoveTokenFile(m_tokenFile, m_token);
}

int PageServer::Bind(int port) {
  const int bound = port == 0 ? m_http.bind_to_any_port(kLoopback)
                              : (m_http.bind_to_port(kLoopback, port) ? port : -1);
  if (bound > 0) m_guard.emplace(m_token, bound);
  return bound;
}

void PageServer::KeepTokenIn(const std::string& path, std::ostream& errors) {
  try {
    WriteTokenFile(path, m_token);
    m_tokenFile = path;
  } catch (const std::exception& e) {
    errors << "mailhost: " << e.what() << std::endl;
  }
}

httplib::Server::HandlerResponse PageServer::Guard(const httplib::Request& req,
                                                   httplib::Response& res) {
  GuardedRequest request;
  request.method = req.method;
  request.path = req.path;
  request.host = req.get_header_value("Host");
  if (req.has_header("Origin")) request.origin = req.get_header_value("Origin");
  if (req.has_header("Sec-Fetch-Site")) request.fetchSite = req.get_header_value("Sec-Fetch-Site");
  request.cookie = req.get_header_value("Cookie");
  request.authorization = req.get_header_value("Authorization");
  if (req.has_param("token")) request.token = req.get_param_value("token");
  request.hasBody = req.has_header("Transfer-Encoding") || ContentLength(req).value_or(0) > 0;

  const auto verdict =
      m_guard ? m_guard->Check(request) : GuardVerdict{GuardVerdict::Kind::Refuse, 503, kStarting};
  switch (verdict.kind) {
    case GuardVerdict::Kind::Serve:
      return httplib::Server::HandlerResponse::Unhandled;
    case GuardVerdict::Kind::LogIn:
      res.status = 303;
      res.set_header("Set-Cookie", m_guard->LoginCookie());
      res.set_header("Location", "/");  // the same host name: the cookie is that name's
      return httplib::Server::HandlerResponse::Handled;
    case GuardVerdict::Kind::Refuse:
      break;
  }
  Refuse(res, verdict.status, verdict.message);
  return httplib::Server::HandlerResponse::Handled;
}

void PageServer::ServeSized(const httplib::Request& req, httplib::Response& res, std::size_t size,
                            const char* type, httplib::ContentProvider provider) {
  // cpp-httplib 0.11 serves the ranges as asked: an end past the body is
  // read past it, and a start at its end never finishes. The request behind
  // the route's const reference is the server's own, so they are fitted in
  // place, before it reads them to answer.
  auto& ranges = const_cast<httplib::Ranges&>(req.ranges);
  if (!FitRanges(ranges, size)) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    return;
  }
  // Several parts: the whole body, as HTTP allows. This cpp-httplib gives
  // their parts a length of 0, and no player asks for more than one.
  if (ranges.size() > 1) ranges.clear();
  res.set_content_provider(size, type, std::move(provider));
}

void PageServer::ServeAssets() {
  struct Asset {
    const char* path;
    const char* const* text;
    const char* type;
  };
  static const Asset kAssets[] = {
      {"/", &kPageText, "text/html; charset=utf-8"},
      {"/page.js", &kPageScript, "text/javascript; charset=utf-8"},
      {"/player.js", &kPlayerScript, "text/javascript; charset=utf-8"},
      {"/page.css", &kPageStyle, "text/css; charset=utf-8"},
      {"/pcm-worklet.js", &kPageWorklet, "text/javascript; charset=utf-8"}};
  for (const auto& asset : kAssets) {
    m_http.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& res) {
      res.set_content(*asset.text, asset.type);
    });
  }
}

void PageServer::Events(const std::string& path, NextEvent next, std::function<bool()> ended,
                        Follows follows) {
  m_http.Get(
      path, [this, next, ended, follows](const httplib::Request& req, httplib::Response& res) {
        if (m_openStreams.fetch_add(1) >= m_limits.streams) {
          m_openStreams.fetch_sub(1);
          Refuse(res, 503, WithNumber(kTooManyStreams, m_limits.streams));
          return;
        }
        auto seen = std::make_shared<std::uint64_t>(0);
        const std::string page = req.get_param_value("page");
        const bool followed = follows && !page.empty();
        if (followed) follows(page, true);
        res.set_chunked_content_provider(
            "text/event-stream",
            [next, ended, seen](std::size_t, httplib::DataSink& sink) {
              if (ended()) return false;
              const std::string data = next(*seen, kKeepAlive);
              const std::string event = data.empty() ? ": alive\n\n" : "data: " + data + "\n\n";
              return sink.write(event.data(), event.size());
            },
            [this, follows, followed, page](bool) {
              if (followed) follows(page, false);
              m_openStreams.fetch_sub(1);
            });
      });
}

std::optional<std::size_t> PageServer::ContentLength(const httplib::Request& req) {
  if (req.has_header("Transfer-Encoding")) return std::nullopt;
  const std::string text = req.get_header_value("Content-Length");
  if (text.empty()) return 0;
  if (text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return static_cast<std::size_t>(std::stoull(text));
}

SmallBody PageServer::ReadBody(const httplib::Request& req, httplib::Response& res,
                               const httplib::ContentReader& reader, std::size_t limit,
                               const std::string& tooLong) {
  const auto length = ContentLength(req);
  bool over = length && *length > limit;
  std::string body;
  const bool read = reader([&](const char* data, std::size_t n) {
    // A body of known length is read to its end and dropped, so that the
    // answer reaches the browser; one of unknown length is not read further.
    if (over) return length.has_value();
    if (body.size() + n > limit) {
      over = true;
      std::string().swap(body);
      return length.has_value();
    }
    body.append(data, n);
    return true;
  });
  if (over || res.status == 413) {
    res.status = 413;
    if (!length) res.set_header("Connection", "close");
    res.set_content(tooLong, kText);
    return std::nullopt;
  }
  if (!read) {
    Refuse(res, 400, kUnread);
    return std::nullopt;
  }
  return body;
}

}  // namespace mailhost
