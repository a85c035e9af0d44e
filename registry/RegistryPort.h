#pragma once
#include <cstdint>

namespace registry {

inline constexpr std::uint16_t kDefaultRegistryPort = 20002;

// The name registry's UDP port: $LEDGO_PORT when it holds a number in
// 1..65535, else 20002. The service and its clients read the same variable.
std::uint16_t RegistryPortFromEnvironment();

}  // namespace registry
