#include "tests/support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kRequestReadTimeoutMs = 5000;
constexpr int kTrickleEveryMs = 1000;

// Clients read the status code; the reason phrase is for people.
std::string Reason(int status) {
  return status == 200 ? "OK" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Status";
}

}  // namespace

// One accepted socket, plain or TLS.
class LoopbackHttpServer::Connection {
 public:
  Connection(int fd, SSL_CTX* tls) : m_fd(fd) {
    if (!tls) return;
    // A client that never speaks must not hold the server.
    timeval limit{kRequestReadTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    m_ssl = SSL_new(tls);
    SSL_set_fd(m_ssl, fd);
    // A client that refuses our certificate ends here.
    if (SSL_accept(m_ssl) != 1) m_broken = true;
  }
  ~Connection() {
    if (m_ssl) {
      if (!m_broken) SSL_shutdown(m_ssl);
      SSL_free(m_ssl);
    }
    shutdown(m_fd, SHUT_RDWR);
    close(m_fd);
  }

  // The request line's path, or "" when the client sent no complete head in time.
  std::string ReadRequestPath() {
    std::string head;
    char buffer[1024];
    while (!m_broken && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd waiting{m_fd, POLLIN, 0};
      const bool buffered = m_ssl && SSL_pending(m_ssl) > 0;
      if (!buffered && poll(&waiting, 1, kRequestReadTimeoutMs) <= 0) return "";
      const long n =
          m_ssl ? SSL_read(m_ssl, buffer, sizeof buffer) : recv(m_fd, buffer, sizeof buffer, 0);
      if (n <= 0) return "";
      head.append(buffer, static_cast<std::size_t>(n));
    }
    const auto firstSpace = head.find(' ');
    const auto secondSpace = head.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos) return "";
    return head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  }

  // False once the client has gone away.
  bool SendAll(const std::string& data) {
    std::size_t sent = 0;
    while (!m_broken && sent < data.size()) {
      const long n =
          m_ssl ? SSL_write(m_ssl, data.data() + sent, static_cast<int>(data.size() - sent))
                : send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0)
        m_broken = true;
      else
        sent += static_cast<std::size_t>(n);
    }
    return !m_broken;
  }

  bool Broken() const { return m_broken; }

 private:
  int m_fd;
  SSL* m_ssl = nullptr;
  bool m_broken = false;
};

LoopbackHttpServer::LoopbackHttpServer(std::optional<TlsIdentity> tls) {
  if (tls) {
    // A client that leaves mid-write would otherwise kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context ||
        SSL_CTX_use_certificate_chain_file(context, tls->certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, tls->keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      SSL_CTX_free(context);
      throw std::runtime_error("the test HTTPS server could not load " + tls->certificateFile);
    }
    m_tls = context;
  }
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(m_listener, 16) != 0 ||
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      pipe2(m_wake, O_CLOEXEC) != 0) {
    if (m_listener >= 0) close(m_listener);
    SSL_CTX_free(static_cast<SSL_CTX*>(m_tls));
    throw std::runtime_error("the test HTTP server could not listen on 127.0.0.1");
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Loop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  const char stop = 1;
  (void)!write(m_wake[1], &stop, 1);
  m_thread.join();
  m_held.clear();
  close(m_listener);
  close(m_wake[0]);
  close(m_wake[1]);
  SSL_CTX_free(static_cast<SSL_CTX*>(m_tls));
}

std::string LoopbackHttpServer::HostAndPort() const {
  return "127.0.0.1:" + std::to_string(m_port);
}

std::string LoopbackHttpServer::Origin() const {
  return (m_tls ? "https://" : "http://") + HostAndPort();
}

void LoopbackHttpServer::Serve(const std::string& path, int status, const std::string& body,
                               const std::string& contentType) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{status, body, contentType, "", Route::Pace::Whole};
}

void LoopbackHttpServer::ServeChunked(const std::string& path, const std::string& body) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{200, body, "text/plain", "", Route::Pace::Chunked};
}

void LoopbackHttpServer::Redirect(const std::string& path, const std::string& location,
                                  const std::string& body) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{302, body, "text/plain", location};
}

void LoopbackHttpServer::Hang(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{0, "", "", "", Route::Pace::Hang};
}

void LoopbackHttpServer::Trickle(const std::string& path, const std::string& body) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{200, body, "text/plain", "", Route::Pace::Trickle};
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

void LoopbackHttpServer::Loop() {
  for (;;) {
    pollfd waiting[2] = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
    if (poll(waiting, 2, -1) < 0) continue;
    if (waiting[0].revents) return;
    if (waiting[1].revents & POLLIN) {
      const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) Answer(std::make_unique<Connection>(fd, static_cast<SSL_CTX*>(m_tls)));
    }
  }
}

void LoopbackHttpServer::Answer(std::unique_ptr<Connection> connection) {
  if (connection->Broken()) return;
  const std::string path = connection->ReadRequestPath();
  Route route{404, "", "text/plain", "", Route::Pace::Whole};
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(path);
    if (auto it = m_routes.find(path); it != m_routes.end()) route = it->second;
    if (route.pace == Route::Pace::Hang) {
      m_held.push_back(std::move(connection));
      return;
    }
  }
  std::string head = "HTTP/1.1 " + std::to_string(route.status) + " " + Reason(route.status) +
                     "\r\nContent-Type: " + route.contentType + "\r\nConnection: close\r\n";
  if (!route.location.empty()) head += "Location: " + route.location + "\r\n";
  switch (route.pace) {
    case Route::Pace::Whole:
      connection->SendAll(head + "Content-Length: " + std::to_string(route.body.size()) +
                          "\r\n\r\n" + route.body);
      break;
    case Route::Pace::Chunked: {
      connection->SendAll(head + "Transfer-Encoding: chunked\r\n\r\n");
      constexpr std::size_t kChunk = 1000;
      for (std::size_t at = 0; at < route.body.size(); at += kChunk) {
        const std::string part = route.body.substr(at, kChunk);
        char size[16];
        snprintf(size, sizeof size, "%zx\r\n", part.size());
        connection->SendAll(size + part + "\r\n");
      }
      connection->SendAll("0\r\n\r\n");
      break;
    }
    case Route::Pace::Trickle: {
      connection->SendAll(head + "Content-Length: " + std::to_string(route.body.size()) +
                          "\r\n\r\n");
      for (std::size_t at = 0; at < route.body.size() && !connection->Broken(); ++at) {
        pollfd waiting{m_wake[0], POLLIN, 0};
        if (poll(&waiting, 1, kTrickleEveryMs) > 0) break;  // the server is stopping
        connection->SendAll(route.body.substr(at, 1));
      }
      break;
    }
    case Route::Pace::Hang:
      break;
  }
}

TestCertificate::TestCertificate() {
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout " +
      m_folder.File("key.pem") + " -out " + CertificateFile() + " 2>" +
      m_folder.File("openssl.log");
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("openssl could not make a test certificate: " +
                             ScratchFolder::Read(m_folder.File("openssl.log")));
  }
}

}  // namespace testsupport
