#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace registry {

// The first IIOP profile of a stringified object reference.
//
// Plain data; the functions here touch only their arguments, so any thread.
struct IiopEndpoint {
  std::string host;
  unsigned port = 0;
  std::string objectKey;  // raw octets
};

// Decodes "IOR:<hex>" far enough to find its first IIOP profile. The port is
// the profile's, or for a server that listens only on SSL (profile port 0)
// the one in its SSL component. Returns nothing for text that is not a
// well-formed reference or has no such profile.
std::optional<IiopEndpoint> FirstIiopEndpoint(std::string_view ior);

// The key under which a reference is registered with the name registry.
//
// The registry keeps the first registration of a key and ignores later ones,
// so the key must say "this is the same server object": host, port and
// object key of the reference ("host:port/<object key in hex>"). A server
// that restarts on its fixed endpoint with a persistent object therefore
// re-registers idempotently -- the entry already there still reaches it --
// and never leaves two entries holding the same reference. A server on a new
// endpoint gets a new entry; clients clean the stale one out (BADSERVICE).
// References without an IIOP profile fall back to a hash of their text.
std::string RegistrationKey(std::string_view ior);

}  // namespace registry
