#pragma once
// A small HTTP/1.1 server for tests, on 127.0.0.1 with a port the system
// picks. Replies are scripted per path; an unscripted path gets an empty 404.
// It runs on its own thread from construction to destruction, and the
// destructor always stops it, closing connections it was told to hold open.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class LoopbackHttpServer {
 public:
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // "127.0.0.1:PORT", the form the product host takes.
  std::string HostAndPort() const;
  std::string Url(const std::string& path) const;

  void Serve(const std::string& path, int status, const std::string& body,
             const std::string& contentType = "text/plain");
  // The same, sent in chunks without a length up front.
  void ServeChunked(const std::string& path, const std::string& body);
  // Accepts the request and never answers it.
  void Hang(const std::string& path);

  // Paths of the requests received so far, in order.
  std::vector<std::string> Requests() const;

 private:
  struct Route {
    int status = 200;
    std::string body;
    std::string contentType;
    bool chunked = false;
    bool hang = false;
  };
  void Loop();
  void Answer(int fd);

  int m_listener = -1;
  int m_wake[2] = {-1, -1};
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::map<std::string, Route> m_routes;
  std::vector<std::string> m_requests;
  std::vector<int> m_held;
};

}  // namespace testsupport
