#pragma once
// A small HTTP/1.1 server for tests, on 127.0.0.1 with a port the system
// picks, plain or over TLS with a certificate the test names. Replies are
// scripted per path; an unscripted path gets an empty 404. It runs on its own
// thread from construction to destruction, one connection at a time, and the
// destructor always stops it, closing connections it was told to hold open.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace testsupport {

struct TlsIdentity {
  std::string certificateFile;  // PEM
  std::string keyFile;          // PEM
};

class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(std::optional<TlsIdentity> tls = std::nullopt);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // "127.0.0.1:PORT".
  std::string HostAndPort() const;
  // "http://127.0.0.1:PORT" or "https://...", the form the product host takes.
  std::string Origin() const;
  std::string Url(const std::string& path) const { return Origin() + path; }

  void Serve(const std::string& path, int status, const std::string& body,
             const std::string& contentType = "text/plain");
  // The same, sent in chunks without a length up front.
  void ServeChunked(const std::string& path, const std::string& body);
  // A 302 to `location`, with `body`.
  void Redirect(const std::string& path, const std::string& location, const std::string& body);
  // Accepts the request and never answers it.
  void Hang(const std::string& path);
  // A 200 whose body comes one byte a second.
  void Trickle(const std::string& path, const std::string& body);

  // Paths of the requests received so far, in order.
  std::vector<std::string> Requests() const;

 private:
  class Connection;
  struct Route {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    std::string location;
    enum class Pace { Whole, Chunked, Hang, Trickle } pace = Pace::Whole;
  };
  void Loop();
  void Answer(std::unique_ptr<Connection> connection);

  void* m_tls = nullptr;  // SSL_CTX*, null for plain HTTP
  int m_listener = -1;
  int m_wake[2] = {-1, -1};
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::map<std::string, Route> m_routes;
  std::vector<std::string> m_requests;
  std::vector<std::unique_ptr<Connection>> m_held;
};

// A self-signed certificate for 127.0.0.1 and localhost, made with the
// openssl command in a folder of its own and removed with it.
class TestCertificate {
 public:
  TestCertificate();

  TlsIdentity Identity() const { return {CertificateFile(), m_folder.File("key.pem")}; }
  // Trusting this file trusts the server.
  std::string CertificateFile() const { return m_folder.File("cert.pem"); }

 private:
  ScratchFolder m_folder;
};

}  // namespace testsupport
