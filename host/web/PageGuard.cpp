#include "host/web/PageGuard.h"

#include <algorithm>
#include <cctype>

#include "host/web/PageSecret.h"

namespace mailhost {
namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kOtherSite = "mailhost refuses what another site or page asks of it.";
// Around the address without its token.
constexpr const char* kNoSecretBefore =
    "This needs the address mailhost printed at its start (page ";
constexpr const char* kNoSecretAfter =
    "?token=...). Scripts send the token from the file page-token in mailhost's data folder as "
    "\"Authorization: Bearer TOKEN\".";
constexpr const char* kWrongHost = "mailhost serves its page as ";
constexpr const char* kWrongToken =
    "This is not the token mailhost printed at this start: open the address it printed.";
constexpr const char* kWrongMethod = "The page asks with GET and POST only.";
constexpr const char* kBodyOnGet = "Only a POST carries a body.";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

GuardVerdict Refuse(int status, std::string message) {
  return {GuardVerdict::Kind::Refuse, status, std::move(message)};
}

}  // namespace

PageGuard::PageGuard(std::string token, int port) : m_token(std::move(token)), m_port(port) {}

std::string PageGuard::BareAddress() const {
  return "http://" + std::string(kLoopback) + ":" + std::to_string(m_port) + "/";
}

std::string PageGuard::Address() const {
  return BareAddress() + "?token=" + m_token;
}

std::string PageGuard::CookieName() const {
  return "mailhost-" + std::to_string(m_port);
}

std::string PageGuard::LoginCookie() const {
  return CookieName() + "=" + m_token + "; Path=/; HttpOnly; SameSite=Strict";
}

bool PageGuard::HostAllowed(const std::string& host) const {
  const std::string port = ":" + std::to_string(m_port);
  const std::string name = Lower(host);
  for (const char* loopback : {kLoopback, "localhost"}) {
    if (name == loopback + port || (m_port == 80 && name == loopback)) return true;
  }
  return false;
}

bool PageGuard::CarriesSecret(const GuardedRequest& request) const {
  const std::string bearer = "bearer ";
  const auto& authorization = request.authorization;
  if (authorization.size() > bearer.size() &&
      Lower(authorization.substr(0, bearer.size())) == bearer &&
      SameSecret(Trimmed(authorization.substr(bearer.size())), m_token)) {
    return true;
  }
  const std::string wanted = CookieName() + "=";
  std::size_t from = 0;
  while (from <= request.cookie.size()) {
    auto end = request.cookie.find(';', from);
    if (end == std::string::npos) end = request.cookie.size();
    const std::string pair = Trimmed(request.cookie.substr(from, end - from));
    if (pair.compare(0, wanted.size(), wanted) == 0 &&
        SameSecret(pair.substr(wanted.size()), m_token)) {
      return true;
    }
    from = end + 1;
  }
  return false;
}

GuardVerdict PageGuard::Check(const GuardedRequest& request) const {
  if (!HostAllowed(request.host)) {
    return Refuse(403, kWrongHost + BareAddress() + " only, not as " + request.host + ".");
  }
  if (request.fetchSite && *request.fetchSite != "same-origin" && *request.fetchSite != "none") {
    return Refuse(403, kOtherSite);
  }
  if (request.origin && *request.origin != "http://" + Lower(request.host)) {
    return Refuse(403, kOtherSite);
  }
  const bool post = request.method == "POST";
  if (!post && request.method != "GET" && request.method != "HEAD")
    return Refuse(405, kWrongMethod);
  if (!post && request.hasBody) return Refuse(400, kBodyOnGet);
  if (request.token && request.path == "/" && !post) {
    if (!SameSecret(*request.token, m_token)) return Refuse(403, kWrongToken);
    return {GuardVerdict::Kind::LogIn, 303, {}};
  }
  if (!CarriesSecret(request)) return Refuse(403, kNoSecretBefore + BareAddress() + kNoSecretAfter);
  return {GuardVerdict::Kind::Serve, 200, {}};
}

}  // namespace mailhost
