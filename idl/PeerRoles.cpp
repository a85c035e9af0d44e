#include "idl/PeerRoles.h"

#include <initializer_list>

namespace farm {
namespace {

bool OneOf(std::string_view operation, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (operation == name) return true;
  }
  return false;
}

// _is_a, _non_existent, _interface, _component, _repository_id, ...
bool ObjectOperation(std::string_view operation) {
  return !operation.empty() && operation[0] == '_' && !OneOf(operation, {"_get_ID", "_get_policy", "_set_policy"});
}

// The operations of the workgroup server's objects.
bool WorkgroupOperation(std::string_view operation) {
  return OneOf(operation, {"CreateWorkGroup", "Add_Farmer", "GetValidFarmer", "WaitInLine", "LeaveLine", "_get_policy",
                           "_set_policy", "JobReport", "FarmStatus"});
}

}  // namespace

PeerRole RoleFromName(std::string_view name) {
  if (name == "server") return PeerRole::kServer;
  if (name == "node") return PeerRole::kNode;
  if (name == "client") return PeerRole::kClient;
  return PeerRole::kNone;
}

const char* RoleName(PeerRole role) {
  switch (role) {
    case PeerRole::kServer: return "server";
    case PeerRole::kNode: return "node";
    case PeerRole::kClient: return "client";
    case PeerRole::kNone: break;
  }
  return "no role";
}

bool MayCall(PeerRole own, std::string_view operation, PeerRole caller) {
  if (caller == PeerRole::kNone) return false;
  if (ObjectOperation(operation)) return true;
  switch (own) {
    case PeerRole::kServer:
      // Nodes join and look whether they are still listed; controllers ask
      // for idle nodes.
      if (operation == "Add_Farmer") return caller == PeerRole::kNode;
      if (OneOf(operation, {"CreateWorkGroup", "GetValidFarmer"})) {
        return caller == PeerRole::kNode || caller == PeerRole::kClient;
      }
      return caller == PeerRole::kClient;
    case PeerRole::kNode:
      // The server probes its nodes and asks their state; only a controller
      // hands out bands.
      if (OneOf(operation, {"IsLive", "IsIdle", "_get_ID", "Abilities", "Status"})) {
        return caller == PeerRole::kClient || caller == PeerRole::kServer;
      }
      return caller == PeerRole::kClient;
    case PeerRole::kClient:
      // Rows, end messages and files come from the nodes only.
      return caller == PeerRole::kNode;
    case PeerRole::kNone: break;
  }
  return false;
}

PeerRole ExpectedCallee(PeerRole own, std::string_view operation) {
  if (ObjectOperation(operation)) return PeerRole::kNone;
  if (WorkgroupOperation(operation)) return PeerRole::kServer;
  switch (own) {
    case PeerRole::kServer:
    case PeerRole::kClient: return PeerRole::kNode;
    case PeerRole::kNode: return PeerRole::kClient;
    case PeerRole::kNone: break;
  }
  return PeerRole::kNone;
}

}  // namespace farm
