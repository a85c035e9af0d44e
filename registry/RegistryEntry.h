#pragma once
#include <cstdint>
#include <string>

namespace registry {

// One accepted registration of the name registry.
//
// Plain data: copy it freely, from any thread.
struct RegistryEntry {
  std::string key;                  // the registrant's key; unique in the table
  std::string name;                 // service name
  std::string reference;            // stringified object reference handed to clients
  std::int32_t uses = 0;            // look-ups this entry has answered
  std::string reservedText;         // always empty; kept in the store file
  std::int32_t reservedNumber = 0;  // always 0; kept in the store file
  std::string host;                 // registrant's host name; memory only, empty after a reload

  bool operator==(const RegistryEntry&) const = default;
};

}  // namespace registry
