#include "platform/linux/LinuxIcmp.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// <linux/icmp.h> and <linux/errqueue.h> clash with the glibc headers above, so
// the few definitions needed from them are repeated here.
#ifndef ICMP_FILTER
#define ICMP_FILTER 1
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {
namespace {

// Status codes of the desktop system's IP helper.
constexpr std::int32_t kIpSuccess = 0;
constexpr std::int32_t kIpDestNetUnreachable = 11002;
constexpr std::int32_t kIpDestHostUnreachable = 11003;
constexpr std::int32_t kIpDestProtUnreachable = 11004;
constexpr std::int32_t kIpDestPortUnreachable = 11005;
constexpr std::int32_t kIpNoResources = 11006;
constexpr std::int32_t kIpPacketTooBig = 11009;
constexpr std::int32_t kIpReqTimedOut = 11010;
constexpr std::int32_t kIpBadRoute = 11012;
constexpr std::int32_t kIpTtlExpiredTransit = 11013;
constexpr std::int32_t kIpTtlExpiredReassem = 11014;
constexpr std::int32_t kIpParamProblem = 11015;
constexpr std::int32_t kIpSourceQuench = 11016;
constexpr std::int32_t kIpBadDestination = 11018;
constexpr std::int32_t kIpGeneralFailure = 11050;

constexpr std::size_t kIcmpHeaderSize = 8;

struct IcmpFilter {
  std::uint32_t data;
};

// What came back in an extended socket error (struct sock_extended_err).
struct ExtendedError {
  std::uint32_t ee_errno;
  std::uint8_t ee_origin;
  std::uint8_t ee_type;
  std::uint8_t ee_code;
  std::uint8_t ee_pad;
  std::uint32_t ee_info;
  std::uint32_t ee_data;
};
constexpr std::uint8_t kOriginIcmp = 2;

class Socket {
 public:
  explicit Socket(int fd) : m_fd(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (m_fd >= 0) close(m_fd);
  }
  int Fd() const { return m_fd; }

 private:
  int m_fd;
};

// A datagram socket first: it needs no privilege where the system allows it,
// and the kernel then owns the echo id and filters replies for us.
int OpenSocket(bool* raw) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
    *raw = false;
    return fd;
  }
  fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  *raw = fd >= 0;
  return fd;
}

std::uint16_t Checksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += (data[i] << 8) | data[i + 1];
  if (size % 2) sum += data[size - 1] << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::int32_t StatusOfErrno(int error) {
  switch (error) {
    case ENETUNREACH:
    case ENETDOWN:
      return kIpDestNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return kIpDestHostUnreachable;
    case EMSGSIZE:
      return kIpPacketTooBig;
    case ENOBUFS:
    case ENOMEM:
      return kIpNoResources;
    case EACCES:
    case EINVAL:
    case EADDRNOTAVAIL:
      return kIpBadDestination;
    default:
      return kIpGeneralFailure;
  }
}

std::int32_t StatusOfIcmpError(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case ICMP_DEST_UNREACH:
      switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
          return kIpDestNetUnreachable;
        case ICMP_PROT_UNREACH:
          return kIpDestProtUnreachable;
        case ICMP_PORT_UNREACH:
          return kIpDestPortUnreachable;
        case ICMP_FRAG_NEEDED:
          return kIpPacketTooBig;
        case ICMP_SR_FAILED:
          return kIpBadRoute;
        default:
          return kIpDestHostUnreachable;
      }
    case ICMP_TIME_EXCEEDED:
      return code == ICMP_EXC_FRAGTIME ? kIpTtlExpiredReassem : kIpTtlExpiredTransit;
    case ICMP_PARAMETERPROB:
      return kIpParamProblem;
    case ICMP_SOURCE_QUENCH:
      return kIpSourceQuench;
    default:
      return kIpGeneralFailure;
  }
}

bool IsIcmpError(std::uint8_t type) {
  return type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB ||
         type == ICMP_SOURCE_QUENCH;
}

std::uint16_t NextSequence() {
  static std::atomic<std::uint16_t> sequence{0};
  return ++sequence;
}

// RFC 6761: names under "invalid." never resolve, and asking a name server
// about them would only send traffic for nothing.
bool IsInvalidName(std::string name) {
  if (!name.empty() && name.back() == '.') name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string suffix = ".invalid";
  return name == "invalid" ||
         (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
}

using Clock = std::chrono::steady_clock;

// The one request in flight: what an answer must match.
struct Request {
  std::uint32_t address;
  std::uint16_t id;
  std::uint16_t sequence;
  const std::string& payload;
  bool raw;
  Clock::time_point sent;
};

EchoResult WithStatus(std::int32_t status) {
  EchoResult result;
  result.status = status;
  return result;
}

std::uint16_t Word(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

// Only what can answer a request reaches us.
void ListenForAnswers(int fd, bool raw) {
  if (raw) {
    // Without the filter our own request comes back first on loopback, and
    // every other ICMP packet of the machine would wake us.
    IcmpFilter filter{~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) |
                        (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB) |
                        (1u << ICMP_SOURCE_QUENCH))};
    setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  } else {
    int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  }
}

std::vector<std::uint8_t> EchoPacket(std::uint16_t id, std::uint16_t sequence,
                                     const std::string& payload) {
  std::vector<std::uint8_t> packet(kIcmpHeaderSize + payload.size());
  packet[0] = ICMP_ECHO;
  packet[1] = 0;
  packet[4] = id >> 8;
  packet[5] = id & 0xFF;
  packet[6] = sequence >> 8;
  packet[7] = sequence & 0xFF;
  std::memcpy(packet.data() + kIcmpHeaderSize, payload.data(), payload.size());
  const std::uint16_t checksum = Checksum(packet.data(), packet.size());
  packet[2] = checksum >> 8;
  packet[3] = checksum & 0xFF;
  return packet;
}

bool SendTo(int fd, const std::vector<std::uint8_t>& packet, std::uint32_t address) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = address;
  return sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&target),
                sizeof target) >= 0;
}

// The kernel reports ICMP errors of a datagram socket on its error queue.
std::optional<EchoResult> ReadQueuedError(int fd, std::vector<std::uint8_t>& buffer) {
  char control[512];
  sockaddr_in offender{};
  iovec io{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_name = &offender;
  message.msg_namelen = sizeof offender;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (recvmsg(fd, &message, MSG_ERRQUEUE) < 0) return std::nullopt;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
    ExtendedError error;
    std::memcpy(&error, CMSG_DATA(c), sizeof error);
    EchoResult result = WithStatus(error.ee_origin == kOriginIcmp
                                       ? StatusOfIcmpError(error.ee_type, error.ee_code)
                                       : StatusOfErrno(static_cast<int>(error.ee_errno)));
    // The reporting router's address follows the error record.
    const auto* from = reinterpret_cast<const sockaddr_in*>(CMSG_DATA(c) + sizeof error);
    if (c->cmsg_len >= CMSG_LEN(sizeof error + sizeof(sockaddr_in)))
      result.replyAddress = from->sin_addr.s_addr;
    return result;
  }
  return std::nullopt;
}

// An echo reply to our request, with the time it took.
std::optional<EchoResult> MatchReply(const std::uint8_t* icmp, std::size_t icmpSize,
                                     std::uint32_t source, const Request& request) {
  // A datagram socket's kernel rewrote our id and delivers only our replies.
  if (source != request.address || Word(icmp + 6) != request.sequence ||
      (request.raw && Word(icmp + 4) != request.id))
    return std::nullopt;
  std::string echoed(reinterpret_cast<const char*>(icmp) + kIcmpHeaderSize,
                     icmpSize - kIcmpHeaderSize);
  if (echoed != request.payload) return std::nullopt;
  EchoResult result = WithStatus(kIpSuccess);
  result.replyAddress = source;
  result.roundTripMs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - request.sent).count());
  result.data = std::move(echoed);
  return result;
}

// An ICMP error about our request, which it quotes: the offending packet's IP
// header and first 8 bytes.
std::optional<EchoResult> MatchError(const std::uint8_t* icmp, std::size_t icmpSize,
                                     std::uint32_t source, const Request& request) {
  const std::uint8_t* quoted = icmp + kIcmpHeaderSize;
  const std::size_t quotedSize = icmpSize - kIcmpHeaderSize;
  if (quotedSize < sizeof(ip)) return std::nullopt;
  const std::size_t quotedHeader = (quoted[0] & 0x0F) * 4u;
  if (quotedSize < quotedHeader + kIcmpHeaderSize) return std::nullopt;
  ip quotedIp;
  std::memcpy(&quotedIp, quoted, sizeof quotedIp);
  const std::uint8_t* asked = quoted + quotedHeader;
  if (quotedIp.ip_p != IPPROTO_ICMP || quotedIp.ip_dst.s_addr != request.address ||
      asked[0] != ICMP_ECHO || Word(asked + 4) != request.id || Word(asked + 6) != request.sequence)
    return std::nullopt;
  EchoResult result = WithStatus(StatusOfIcmpError(icmp[0], icmp[1]));
  result.replyAddress = source;
  return result;
}

// One packet off the socket: the answer to the request, or nothing to go by.
std::optional<EchoResult> ReadPacket(int fd, std::vector<std::uint8_t>& buffer,
                                     const Request& request) {
  sockaddr_in source{};
  socklen_t sourceSize = sizeof source;
  const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), 0,
                               reinterpret_cast<sockaddr*>(&source), &sourceSize);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN) return std::nullopt;
    return WithStatus(kIpGeneralFailure);
  }
  std::size_t offset = 0;
  if (request.raw) {
    if (got < static_cast<ssize_t>(sizeof(ip))) return std::nullopt;
    offset = (buffer[0] & 0x0F) * 4u;
  }
  if (static_cast<std::size_t>(got) < offset + kIcmpHeaderSize) return std::nullopt;
  const std::uint8_t* icmp = buffer.data() + offset;
  const std::size_t icmpSize = static_cast<std::size_t>(got) - offset;
  if (icmp[0] == ICMP_ECHOREPLY) return MatchReply(icmp, icmpSize, source.sin_addr.s_addr, request);
  if (request.raw && IsIcmpError(icmp[0]))
    return MatchError(icmp, icmpSize, source.sin_addr.s_addr, request);
  return std::nullopt;
}

EchoResult AwaitAnswer(int fd, const Request& request, Clock::time_point deadline) {
  std::vector<std::uint8_t> buffer(65536);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const auto answer = !request.raw && (waiting.revents & POLLERR)
                            ? ReadQueuedError(fd, buffer)
                            : ReadPacket(fd, buffer, request);
    if (answer) return *answer;
  }
  return WithStatus(kIpReqTimedOut);
}

}  // namespace

bool LinuxIcmp::Resolve(const std::string& host, std::uint32_t* address) {
  if (host.empty() || host.find('\0') != std::string::npos || IsInvalidName(host)) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
  *address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(list);
  return true;
}

bool LinuxIcmp::Available() {
  bool raw = false;
  Socket probe(OpenSocket(&raw));
  return probe.Fd() >= 0;
}

EchoResult LinuxIcmp::Echo(std::uint32_t address, const std::string& payload, int timeoutMs) {
  bool raw = false;
  Socket socket(OpenSocket(&raw));
  if (socket.Fd() < 0) return WithStatus(kIpGeneralFailure);
  ListenForAnswers(socket.Fd(), raw);
  Request request{address, static_cast<std::uint16_t>(getpid()), NextSequence(), payload, raw, {}};
  const auto packet = EchoPacket(request.id, request.sequence, payload);
  request.sent = Clock::now();
  if (!SendTo(socket.Fd(), packet, address)) return WithStatus(StatusOfErrno(errno));
  return AwaitAnswer(socket.Fd(), request, request.sent + std::chrono::milliseconds(timeoutMs));
}

}  // namespace platform
