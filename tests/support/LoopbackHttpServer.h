#pragma once
// An HTTP/1.1 server for tests (cpp-httplib), on 127.0.0.1 with a port the
// system picks, plain or over TLS with a certificate the test names. Replies
// are scripted per path; an unscripted path gets an empty 404. The destructor
// stops it, releasing the replies that hang or trickle.
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace httplib {
class Server;
struct Response;
}

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
  std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }
  // "http://127.0.0.1:PORT" or "https://...", the form the product host takes.
  std::string Origin() const { return (m_tls ? "https://" : "http://") + HostAndPort(); }
  std::string Url(const std::string& path) const { return Origin() + path; }

  void Serve(const std::string& path, int status, const std::string& body);
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
  using Reply = std::function<void(httplib::Response&)>;
  void Route(const std::string& path, Reply reply);
  // False when the server stopped before `wait` passed.
  bool Pause(std::chrono::milliseconds wait);

  bool m_tls;
  std::unique_ptr<httplib::Server> m_server;
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::condition_variable m_stopped;
  bool m_stopping = false;
  std::map<std::string, Reply> m_routes;
  std::vector<std::string> m_requests;
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
