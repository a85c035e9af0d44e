#pragma once
#include <string>
#include <string_view>

namespace farm {

// What a certificate of the farm's authority says its holder is: the
// organisational unit (OU) of its subject, as scripts/farm-ca writes it.
enum class PeerRole {
  kNone,    // no certificate, or one without a farm role
  kServer,  // the workgroup server
  kNode,    // a render node and its engine
  kClient,  // a controller (vornel, a host of liblumora.so, Python)
};

// "server", "node", "client"; kNone for any other text.
PeerRole RoleFromName(std::string_view name);
// The name of a role ("no role" for kNone).
const char* RoleName(PeerRole role);

// Who may make which call, from the operation's GIOP name alone. A process
// knows its own role, so an operation both sides offer (SetData, IsLive, the
// file transfer) still has one meaning: a controller calls it on nodes, a
// node on its controller. The object's own operations (_is_a,
// _non_existent, ...) reveal nothing and are open to every farm role.
//
// Pure functions of their arguments: any thread.

// May a peer of role `caller` call `operation` on the objects of a process
// of role `own`?
bool MayCall(PeerRole own, std::string_view operation, PeerRole caller);

// The role a process of role `own` needs its peer to present when it calls
// `operation` on it; kNone for the object's own operations (any farm role).
PeerRole ExpectedCallee(PeerRole own, std::string_view operation);

}  // namespace farm
