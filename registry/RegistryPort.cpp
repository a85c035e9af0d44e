#include "registry/RegistryPort.h"

#include <cstdlib>

namespace registry {

std::uint16_t RegistryPortFromEnvironment() {
  const char* port = std::getenv("LEDGO_PORT");
  if (port == nullptr || *port == '\0') return kDefaultRegistryPort;
  char* end = nullptr;
  long value = std::strtol(port, &end, 10);
  if (end == nullptr || *end != '\0' || value < 1 || value > 65535) return kDefaultRegistryPort;
  return static_cast<std::uint16_t>(value);
}

}  // namespace registry
