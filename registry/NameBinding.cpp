#include "registry/NameBinding.h"

#include <omniORB4/minorCode.h>
#include <omniORB4/omniORB.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "idl/FarmTls.h"
#include "idl/OrbInit.h"
#include "idl/RegistryDatagram.h"
#include "idl/WellKnownNames.h"
#include "registry/RegistrationKey.h"
#include "registry/RegistryClient.h"

namespace registry {
namespace {

// How many look-ups one resolve may make while it clears stale entries.
constexpr int kMaxLookups = 4;
// Time limit of the liveness probe of a looked-up reference.
constexpr CORBA::ULong kProbeTimeoutMs = 2000;
// A refused connection fails at once; one that fails only after this long is
// a host that does not answer, which proves nothing about the server.
constexpr auto kRefusedWithin = std::chrono::milliseconds(kProbeTimeoutMs / 2);

// kRefused: it answers, but with TLS on its certificate is not of the role
// the name promises (a stranger's registration).
enum class Liveness { kAlive, kDead, kUnknown, kRefused };

bool UsableName(const char* name) {
  return name != nullptr && *name != '\0' && std::string(name).find(';') == std::string::npos;
}

// Probes a looked-up reference through a proxy of its own, so the time limit
// does not stick to the reference handed to the caller. Only a clear answer
// counts as dead: the object does not exist there, or nothing listens on its
// endpoint. A time-out (a stopped or unreachable server) proves nothing and
// must not strip a live registration that will not be made again.
Liveness Probe(CORBA::ORB_ptr orb, const std::string& ior, farm::PeerRole role) {
  const auto start = std::chrono::steady_clock::now();
  const farm::ExpectPeer expect(role);
  farm::TakePeerRefusal();
  try {
    CORBA::Object_var probe = orb->string_to_object(ior.c_str());
    if (CORBA::is_nil(probe)) return Liveness::kDead;
    omniORB::setClientCallTimeout(probe, kProbeTimeoutMs);
    return probe->_non_existent() ? Liveness::kDead : Liveness::kAlive;
  } catch (const CORBA::OBJECT_NOT_EXIST&) {
    return Liveness::kDead;
  } catch (const CORBA::NO_PERMISSION&) {
    return Liveness::kRefused;
  } catch (const CORBA::TRANSIENT& e) {
    if (farm::TakePeerRefusal()) return Liveness::kRefused;
    const bool quick = std::chrono::steady_clock::now() - start < kRefusedWithin;
    if (e.minor() == omni::TRANSIENT_ConnectFailed && quick) return Liveness::kDead;
    return Liveness::kUnknown;
  } catch (...) {
    // A connection closed for its certificate may surface as any failure.
    return farm::TakePeerRefusal() ? Liveness::kRefused : Liveness::kUnknown;
  }
}

}  // namespace

CORBA::Long bind_service(CORBA::ORB_ptr orb, const char* name, CORBA::Object_ptr obj) {
  if (CORBA::is_nil(orb) || CORBA::is_nil(obj) || !UsableName(name)) return -2;
  const std::string ior = farm::ObjectToString(orb, obj);
  const std::string key = RegistrationKey(ior);
  const std::string request = farm::FormatPutRequest(name, ior, key);
  if (request.size() + 1 > farm::kMaxRequestBytes) return -2;
  platform::StatusOr<RegistryAddress> address = RegistryAddressFromEnvironment();
  if (!address) return -2;
  RegistryClient client(*address);
  std::string answer;
  if (!client.Ask(request, &answer)) return -1;
  return answer == key ? 0 : 1;
}

CORBA::Object_ptr resolve_initial_references2(CORBA::ORB_ptr orb, const char* name, CORBA::Long flag) {
  if (CORBA::is_nil(orb) || !UsableName(name)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  try {
    CORBA::Object_var given = orb->resolve_initial_references(name);
    if (!CORBA::is_nil(given)) return given._retn();
  } catch (...) {
    // Not given on the command line: ask the registry.
  }

  platform::StatusOr<RegistryAddress> address = RegistryAddressFromEnvironment();
  if (!address) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  RegistryClient client(*address);
  for (int i = 0; i < kMaxLookups; ++i) {
    std::string answer;
    if (!client.Ask(farm::FormatGetRequest(name), &answer)) throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO);
    if (!farm::ParseGetAnswer(answer)) throw CORBA::OBJECT_NOT_EXIST(0, CORBA::COMPLETED_NO);

    CORBA::Object_var obj;
    try {
      obj = orb->string_to_object(answer.c_str());
    } catch (...) {
      obj = CORBA::Object::_nil();
    }
    // Flag 0 takes the registry's answer as it is; any other flag also
    // checks that the object answers, and removes from the registry a
    // registration whose server is plainly gone (e.g. one that moved to a
    // new endpoint), then asks again. A restarted server registers again
    // when it starts, so it stays reachable.
    const farm::PeerRole role =
        std::string(name) == farm::kWorkGroupService ? farm::PeerRole::kServer : farm::PeerRole::kNone;
    Liveness state = CORBA::is_nil(obj) ? Liveness::kDead : flag == 0 ? Liveness::kAlive : Probe(orb, answer, role);
    if (state == Liveness::kAlive || state == Liveness::kUnknown) return obj._retn();
    if (state == Liveness::kRefused) {
      const std::optional<IiopEndpoint> at = FirstIiopEndpoint(answer);
      std::fprintf(stderr,
                   "refused the reference published as \"%s\" at %s: its certificate is not a %s's; asking again\n",
                   name, at ? (at->host + ":" + std::to_string(at->port)).c_str() : "an unknown address",
                   role == farm::PeerRole::kServer ? "workgroup server" : "farm member");
    }
    std::string ignored;
    client.Ask(farm::FormatBadServiceRequest(answer), &ignored);
  }
  throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO);
}

}  // namespace registry
