#pragma once
#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace registry {

// The one place the registry's default port is written.
inline constexpr std::uint16_t kDefaultRegistryPort = 20002;

// The name registry's UDP port from $LEDGO_PORT: kDefaultRegistryPort when it is unset or
// empty, the port when it holds a number in 1..65535. Any other value is
// refused, with a reason that names the value and says what to give
// instead. The service and its clients read the same variable.
platform::StatusOr<std::uint16_t> RegistryPortFromEnvironment();

// The same rule for one value (nullptr: unset).
platform::StatusOr<std::uint16_t> ParseRegistryPort(const char* text);

// The line ledgo prints after its box when `port` cannot be bound: which
// port, and what the operator can do about it.
std::string PortTakenAdvice(std::uint16_t port);

}  // namespace registry
