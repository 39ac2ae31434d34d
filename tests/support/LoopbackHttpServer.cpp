#include "tests/support/LoopbackHttpServer.h"

#include <httplib.h>
#include <signal.h>

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

LoopbackHttpServer::LoopbackHttpServer(std::optional<TlsIdentity> tls) : m_tls(tls.has_value()) {
  if (tls) {
    // A client that leaves mid-write would otherwise kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    m_server = std::make_unique<httplib::SSLServer>(tls->certificateFile.c_str(),
                                                    tls->keyFile.c_str());
  } else {
    m_server = std::make_unique<httplib::Server>();
  }
  m_server->set_keep_alive_max_count(1);
  m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Reply reply;
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(request.path);
      if (auto it = m_routes.find(request.path); it != m_routes.end()) reply = it->second;
    }
    response.status = reply ? 200 : 404;
    if (reply) reply(response);
  });
  // Bound and listening before the thread starts: no request can come too early.
  m_port = m_server->is_valid() ? m_server->bind_to_any_port("127.0.0.1") : -1;
  if (m_port <= 0) throw std::runtime_error("the test HTTP server could not listen on 127.0.0.1");
  m_thread = std::thread([this] { m_server->listen_after_bind(); });
  // A stop() before the loop runs is lost, and the destructor would wait forever.
  while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_stopped.notify_all();
  m_server->stop();
  m_thread.join();
}

void LoopbackHttpServer::Route(const std::string& path, Reply reply) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = std::move(reply);
}

bool LoopbackHttpServer::Pause(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  return !m_stopped.wait_for(lock, wait, [this] { return m_stopping; });
}

void LoopbackHttpServer::Serve(const std::string& path, int status, const std::string& body) {
  Route(path, [status, body](httplib::Response& response) {
    response.status = status;
    response.set_content(body, "text/plain");
  });
}

void LoopbackHttpServer::ServeChunked(const std::string& path, const std::string& body) {
  Route(path, [body](httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [body](size_t, httplib::DataSink& sink) {
      for (std::size_t at = 0; at < body.size(); at += 1000)
        if (!sink.write(body.data() + at, std::min<std::size_t>(1000, body.size() - at)))
          return false;
      sink.done();
      return true;
    });
  });
}

void LoopbackHttpServer::Redirect(const std::string& path, const std::string& location,
                                  const std::string& body) {
  Route(path, [location, body](httplib::Response& response) {
    response.status = 302;
    response.set_header("Location", location);
    response.set_content(body, "text/plain");
  });
}

void LoopbackHttpServer::Hang(const std::string& path) {
  Route(path, [this](httplib::Response&) {
    while (Pause(std::chrono::hours(1))) {
    }
  });
}

void LoopbackHttpServer::Trickle(const std::string& path, const std::string& body) {
  Route(path, [this, body](httplib::Response& response) {
    response.set_content_provider(
        body.size(), "text/plain", [this, body](size_t offset, size_t, httplib::DataSink& sink) {
          return Pause(std::chrono::seconds(1)) && sink.write(body.data() + offset, 1);
        });
  });
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
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
