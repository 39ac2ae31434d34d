#include "tests/support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kRequestReadTimeoutMs = 5000;
void SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away; nothing to tell anyone
    sent += static_cast<std::size_t>(n);
  }
}

// Clients read the status code; the reason phrase is for people.
std::string Reason(int status) {
  return status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
}

// The request line's path, or "" when the client sent no complete head in time.
std::string ReadRequestPath(int fd) {
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, kRequestReadTimeoutMs) <= 0) return "";
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const auto firstSpace = head.find(' ');
  const auto secondSpace = head.find(' ', firstSpace + 1);
  if (firstSpace == std::string::npos || secondSpace == std::string::npos) return "";
  return head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
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
    throw std::runtime_error("the test HTTP server could not listen on 127.0.0.1");
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Loop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  const char stop = 1;
  (void)!write(m_wake[1], &stop, 1);
  m_thread.join();
  for (int fd : m_held) close(fd);
  close(m_listener);
  close(m_wake[0]);
  close(m_wake[1]);
}

std::string LoopbackHttpServer::HostAndPort() const {
  return "127.0.0.1:" + std::to_string(m_port);
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://" + HostAndPort() + path;
}

void LoopbackHttpServer::Serve(const std::string& path, int status, const std::string& body,
                               const std::string& contentType) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{status, body, contentType, false, false};
}

void LoopbackHttpServer::ServeChunked(const std::string& path, const std::string& body) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{200, body, "text/plain", true, false};
}

void LoopbackHttpServer::Hang(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = Route{0, "", "", false, true};
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
      if (fd >= 0) Answer(fd);
    }
  }
}

void LoopbackHttpServer::Answer(int fd) {
  const std::string path = ReadRequestPath(fd);
  Route route{404, "", "text/plain", false, false};
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(path);
    if (auto it = m_routes.find(path); it != m_routes.end()) route = it->second;
    if (route.hang) {
      m_held.push_back(fd);
      return;
    }
  }
  std::string head = "HTTP/1.1 " + std::to_string(route.status) + " " + Reason(route.status) +
                     "\r\nContent-Type: " + route.contentType + "\r\nConnection: close\r\n";
  if (!route.chunked) {
    SendAll(fd, head + "Content-Length: " + std::to_string(route.body.size()) + "\r\n\r\n" +
                    route.body);
  } else {
    SendAll(fd, head + "Transfer-Encoding: chunked\r\n\r\n");
    constexpr std::size_t kChunk = 1000;
    for (std::size_t at = 0; at < route.body.size(); at += kChunk) {
      const std::string part = route.body.substr(at, kChunk);
      char size[16];
      snprintf(size, sizeof size, "%zx\r\n", part.size());
      SendAll(fd, size + part + "\r\n");
    }
    SendAll(fd, "0\r\n\r\n");
  }
  shutdown(fd, SHUT_WR);
  close(fd);
}

}  // namespace testsupport
