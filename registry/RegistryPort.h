#pragma once
#include <cstdint>

namespace registry {

// The one place the registry's default port is written.
inline constexpr std::uint16_t kDefaultRegistryPort = 20002;

// The name registry's UDP port: $LEDGO_PORT when it holds a number in
// 1..65535, else kDefaultRegistryPort. The service and its clients read the same variable.
std::uint16_t RegistryPortFromEnvironment();

}  // namespace registry
