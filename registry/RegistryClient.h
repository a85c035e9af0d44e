#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "registry/RegistryPort.h"

namespace registry {

// Where the name registry listens: host and UDP port.
//
// Plain data: copy it freely, from any thread.
struct RegistryAddress {
  std::string host = "127.0.0.1";
  std::uint16_t port = kDefaultRegistryPort;
};

// $LEDGO_HOST (default 127.0.0.1) and $LEDGO_PORT (default
// kDefaultRegistryPort). A port
// that is not a number in 1..65535 is refused (RegistryPortFromEnvironment).
platform::StatusOr<RegistryAddress> RegistryAddressFromEnvironment();

// "HOST:PORT (UDP)", for messages that say where the registry was looked for.
std::string Describe(const RegistryAddress& address);

// Talks to the name registry over UDP. The registry answers from a socket
// other than the one it listens on, so every exchange uses a fresh unbound
// socket and takes the first datagram that reaches it.
//
// Any thread, several at once: every exchange has a socket of its own and the
// client itself does not change after construction.
class RegistryClient {
 public:
  static constexpr int kDefaultTimeoutMs = 500;
  static constexpr int kDefaultAttempts = 3;

  explicit RegistryClient(RegistryAddress address, int timeoutMs = kDefaultTimeoutMs, int attempts = kDefaultAttempts);

  // Sends `request` with its terminating NUL and waits for an answer, sending
  // again up to `attempts` times in all when none arrives within the time-out
  // (datagrams may be lost). Returns true and sets *answer to the answer text
  // (up to its first NUL) when one arrived.
  bool Ask(std::string_view request, std::string* answer) const;

  // Sends `datagram` exactly as given, once, and waits up to `timeoutMs` for
  // an answer. For callers that need to send malformed requests.
  bool SendRaw(std::string_view datagram, std::string* answer, int timeoutMs) const;

  // Sends one request that changes nothing (the removal of a reference no
  // registration can hold) and waits up to the time-out for its answer.
  // True when the registry answered, with *answerPort set to the port the
  // answer came from. The registry answers from a port the system picks when
  // its service starts, so a new port means a registry that restarted.
  bool Ping(std::uint16_t* answerPort) const;

  const RegistryAddress& address() const { return address_; }

 private:
  bool Exchange(std::string_view datagram, std::string* answer, int timeoutMs, std::uint16_t* answerPort) const;

  RegistryAddress address_;
  int timeoutMs_;
  int attempts_;
};

}  // namespace registry
