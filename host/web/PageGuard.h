#pragma once
// Who may use the page. A server on 127.0.0.1 is reached by every page the
// browser shows, so each request is checked before anything runs:
// - the Host names 127.0.0.1 or localhost with this port (a name of another
//   site that resolves here, DNS rebinding, is refused);
// - a request another site or origin made (its Origin or Sec-Fetch-Site says
//   so) is refused: a page on another port of this machine is the same site,
//   so the cookie alone would not stop it;
// - it carries this start's secret: the cookie the printed address gave, or
//   `Authorization: Bearer TOKEN` from a script.
// The rules read only header values, so they are tested without a server.
#include <optional>
#include <string>

namespace mailhost {

struct GuardedRequest {
  std::string method;
  std::string path;
  std::string host;                      // the Host header
  std::optional<std::string> origin;     // the Origin header, when sent
  std::optional<std::string> fetchSite;  // Sec-Fetch-Site, when sent
  std::string cookie;                    // the Cookie header
  std::string authorization;             // the Authorization header
  std::optional<std::string> token;      // ?token= of the address
  bool hasBody = false;
};

struct GuardVerdict {
  enum class Kind {
    Serve,   // go on to the route
    LogIn,   // the printed address: set the cookie, send to the bare address
    Refuse,  // answer `status` with `message`, do nothing
  };
  Kind kind = Kind::Refuse;
  int status = 403;
  std::string message;
};

class PageGuard {
 public:
  PageGuard(std::string token, int port);

  GuardVerdict Check(const GuardedRequest& request) const;

  // The address mailhost prints: http://127.0.0.1:PORT/?token=TOKEN.
  std::string Address() const;
  // http://127.0.0.1:PORT/, where a login lands.
  std::string BareAddress() const;
  // Cookies do not tell ports apart: the name does.
  std::string CookieName() const;
  // The Set-Cookie value a login sends.
  std::string LoginCookie() const;
  const std::string& Token() const { return m_token; }

 private:
  bool HostAllowed(const std::string& host) const;
  bool CarriesSecret(const GuardedRequest& request) const;

  std::string m_token;
  int m_port;
};

}  // namespace mailhost
