#include "registry/RegistryPort.h"

#include <cerrno>
#include <cstdlib>

namespace registry {

platform::StatusOr<std::uint16_t> ParseRegistryPort(const char* text) {
  if (text == nullptr || *text == '\0') return kDefaultRegistryPort;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || value < 1 || value > 65535) {
    return platform::Status::Error(std::string("LEDGO_PORT=") + text +
                                   " is not a UDP port number; give a number from 1 to 65535, or leave LEDGO_PORT "
                                   "unset for the default " +
                                   std::to_string(kDefaultRegistryPort));
  }
  return static_cast<std::uint16_t>(value);
}

platform::StatusOr<std::uint16_t> RegistryPortFromEnvironment() { return ParseRegistryPort(std::getenv("LEDGO_PORT")); }

std::string PortTakenAdvice(std::uint16_t port) {
  return "UDP port " + std::to_string(port) +
         " is taken (another ledgo runs on it?); end that program, or start this one with LEDGO_PORT set to a free "
         "port and give every farm program the same LEDGO_PORT";
}

}  // namespace registry
