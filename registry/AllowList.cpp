#include "registry/AllowList.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdlib>
#include <string>

namespace registry {
namespace {

bool ParseNetwork(std::string_view entry, std::uint32_t* address, std::uint32_t* mask) {
  const size_t slash = entry.find('/');
  unsigned bits = 32;
  if (slash != std::string_view::npos) {
    const std::string_view bitsText = entry.substr(slash + 1);
    const auto [end, ec] = std::from_chars(bitsText.data(), bitsText.data() + bitsText.size(), bits);
    if (ec != std::errc() || end != bitsText.data() + bitsText.size() || bitsText.empty() || bits > 32) return false;
    entry = entry.substr(0, slash);
  }
  in_addr parsed{};
  if (inet_pton(AF_INET, std::string(entry).c_str(), &parsed) != 1) return false;
  *mask = bits == 0 ? 0u : ~0u << (32 - bits);
  *address = ntohl(parsed.s_addr) & *mask;
  return true;
}

}  // namespace

platform::StatusOr<AllowList> AllowList::Parse(std::string_view text) {
  AllowList list;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view entry = text.substr(0, comma);
    Network network{};
    if (!ParseNetwork(entry, &network.address, &network.mask)) {
      return platform::Status::Error(
          "LEDGO_ALLOW: \"" + std::string(entry) +
          "\" is not an IPv4 network; give ADDRESS/BITS[,...], e.g. 10.0.0.0/24,127.0.0.1/32");
    }
    list.networks_.push_back(network);
    if (comma == std::string_view::npos) break;
    text = text.substr(comma + 1);
  }
  return list;
}

bool AllowList::Allows(std::uint32_t address) const {
  for (const Network& network : networks_) {
    if ((address & network.mask) == network.address) return true;
  }
  return false;
}

platform::StatusOr<std::optional<AllowList>> AllowListFromEnvironment() {
  const char* text = std::getenv("LEDGO_ALLOW");
  if (text == nullptr || *text == '\0') return std::optional<AllowList>();
  platform::StatusOr<AllowList> list = AllowList::Parse(text);
  if (!list) return list.status();
  return std::optional<AllowList>(*list);
}

}  // namespace registry
