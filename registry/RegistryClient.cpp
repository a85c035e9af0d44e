#include "registry/RegistryClient.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "idl/RegistryDatagram.h"
#include "registry/RegistryPort.h"

namespace registry {
namespace {

// Largest answer the registry sends is a stored reference (a request field),
// so a request-sized buffer with room to spare is enough.
constexpr size_t kAnswerBuffer = 4096;

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool Resolve(const RegistryAddress& address, sockaddr_in* out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(address.host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
  std::memcpy(out, list->ai_addr, sizeof(sockaddr_in));
  freeaddrinfo(list);
  out->sin_port = htons(address.port);
  return true;
}

// Waits up to `timeoutMs` for one datagram on `fd`; *fromPort (when given)
// is set to the port it came from.
bool Receive(int fd, int timeoutMs, std::string* answer, std::uint16_t* fromPort) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    std::vector<char> buf(kAnswerBuffer);
    sockaddr_in from{};
    socklen_t fromSize = sizeof(from);
    ssize_t n = recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      // An ICMP "port unreachable" from an earlier send surfaces here; keep
      // waiting for the rest of the time-out as if nothing had come.
      if (errno == ECONNREFUSED) continue;
      return false;
    }
    const char* end = static_cast<const char*>(std::memchr(buf.data(), '\0', static_cast<size_t>(n)));
    size_t len = end ? static_cast<size_t>(end - buf.data()) : static_cast<size_t>(n);
    answer->assign(buf.data(), len);
    if (fromPort != nullptr) *fromPort = ntohs(from.sin_port);
    return true;
  }
}

}  // namespace

platform::StatusOr<RegistryAddress> RegistryAddressFromEnvironment() {
  RegistryAddress address;
  if (const char* host = std::getenv("LEDGO_HOST"); host != nullptr && *host != '\0') address.host = host;
  platform::StatusOr<std::uint16_t> port = RegistryPortFromEnvironment();
  if (!port) return port.status();
  address.port = *port;
  return address;
}

std::string Describe(const RegistryAddress& address) {
  return address.host + ":" + std::to_string(address.port) + " (UDP)";
}

RegistryClient::RegistryClient(RegistryAddress address, int timeoutMs, int attempts)
    : address_(std::move(address)), timeoutMs_(timeoutMs), attempts_(attempts < 1 ? 1 : attempts) {}

bool RegistryClient::Ask(std::string_view request, std::string* answer) const {
  std::string datagram(request);
  datagram.push_back('\0');
  for (int i = 0; i < attempts_; ++i) {
    if (SendRaw(datagram, answer, timeoutMs_)) return true;
  }
  return false;
}

bool RegistryClient::Ping(std::uint16_t* answerPort) const {
  // References are IOR texts; no registration holds this one.
  std::string datagram = farm::FormatBadServiceRequest("-");
  datagram.push_back('\0');
  std::string answer;
  return Exchange(datagram, &answer, timeoutMs_, answerPort);
}

bool RegistryClient::SendRaw(std::string_view datagram, std::string* answer, int timeoutMs) const {
  return Exchange(datagram, answer, timeoutMs, nullptr);
}

bool RegistryClient::Exchange(std::string_view datagram, std::string* answer, int timeoutMs,
                              std::uint16_t* answerPort) const {
  sockaddr_in to{};
  if (!Resolve(address_, &to)) return false;
  Socket sock;
  if (sock.fd() < 0) return false;
  ssize_t sent =
      sendto(sock.fd(), datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  if (sent != static_cast<ssize_t>(datagram.size())) return false;
  return Receive(sock.fd(), timeoutMs, answer, answerPort);
}

}  // namespace registry
