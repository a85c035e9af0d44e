#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace registry {

// The IPv4 networks the name registry takes changes (PUT, BADSERVICE, STOP)
// from: LEDGO_ALLOW, e.g. "10.0.0.0/24,127.0.0.1/32". UDP senders can be
// forged; this keeps strangers on other networks out, nothing more.
//
// Immutable once made: any thread.
class AllowList {
 public:
  // Parses comma-separated ADDRESS/BITS networks (a bare ADDRESS is /32).
  // An error names the first entry that is not one, or an empty list.
  static platform::StatusOr<AllowList> Parse(std::string_view text);

  // Whether `address` (host byte order) lies in a listed network.
  bool Allows(std::uint32_t address) const;

 private:
  struct Network {
    std::uint32_t address;
    std::uint32_t mask;
  };
  std::vector<Network> networks_;
};

// LEDGO_ALLOW parsed: nothing when it is unset or empty (every sender may
// change), an error for a malformed list. Any thread.
platform::StatusOr<std::optional<AllowList>> AllowListFromEnvironment();

}  // namespace registry
