#include "idl/OrbInit.h"

#include <cstdio>
#include <optional>
#include <string>

#include "idl/FarmTls.h"

namespace farm {

namespace {

// The TLS settings of the process, read once; a bad setting is said on
// stderr and raises INITIALIZE at every start of an ORB.
const platform::StatusOr<std::optional<TlsSettings>>& ProcessTls() {
  static const platform::StatusOr<std::optional<TlsSettings>> settings = TlsSettingsFromEnvironment();
  return settings;
}

CORBA::ORB_ptr InitWithOptions(int& argc, char** argv, const TlsSettings* tls) {
  const std::string maxMsg = std::to_string(kMaxMessageBytes);
  // Options given here rank below the command line, so a user can still
  // change them with -ORB... arguments. With TLS every peer must show a
  // certificate of the farm's authority, and no call goes out on plain TCP.
  const char* options[][2] = {
      {"giopMaxMsgSize", maxMsg.c_str()},
      {tls ? "sslCAFile" : nullptr, tls ? tls->caFile.c_str() : nullptr},
      {"sslKeyFile", tls ? tls->keyFile.c_str() : nullptr},
      // omniORB reads no private key without a password; farm keys have none.
      {"sslKeyPassword", ""},
      {"sslVerifyMode", "peer,fail"},
      {"clientTransportRule", "* ssl"},
      {nullptr, nullptr},
  };
  return CORBA::ORB_init(argc, argv, "omniORB4", options);
}

}  // namespace

CORBA::ORB_ptr InitOrb(int& argc, char** argv) {
  const platform::StatusOr<std::optional<TlsSettings>>& tls = ProcessTls();
  if (!tls.ok()) {
    std::fprintf(stderr, "%s\n", tls.status().reason().c_str());
    throw CORBA::INITIALIZE(0, CORBA::COMPLETED_NO);
  }
  if (!*tls) return InitWithOptions(argc, argv, nullptr);
  if (const platform::Status enabled = EnableTls(**tls); !enabled.ok()) {
    std::fprintf(stderr, "%s\n", enabled.reason().c_str());
    throw CORBA::INITIALIZE(0, CORBA::COMPLETED_NO);
  }
  // The ORB listens on SSL endpoints only: the command line is rewritten
  // into a copy, and what the ORB leaves of it handed back in argv.
  std::vector<std::string> given;
  for (int i = 0; i < argc; ++i) given.emplace_back(argv[i]);
  std::vector<std::string> rewritten = SslArguments(given.empty() ? std::vector<std::string>{"farm"} : given);
  std::vector<char*> copy;
  for (size_t i = 0; i < rewritten.size(); ++i) {
    const bool same = i < given.size() && rewritten[i] == given[i];
    copy.push_back(same ? argv[i] : rewritten[i].data());
  }
  copy.push_back(nullptr);
  int copyCount = static_cast<int>(rewritten.size());
  CORBA::ORB_ptr orb = InitWithOptions(copyCount, copy.data(), &**tls);
  PreferFastCiphers();
  InstallPeerChecks();
  if (argc > 0) {
    // Only the ORB's options were rewritten and the ORB consumed them all,
    // so what remains points into the caller's argv.
    for (int i = 0; i < copyCount; ++i) argv[i] = copy[static_cast<size_t>(i)];
    if (copyCount < argc) argv[copyCount] = nullptr;
    argc = copyCount;
  }
  return orb;
}

StartedOrb StartOrb(int& argc, char** argv, OrbRole role) {
  StartedOrb started;
  started.orb = InitOrb(argc, argv);
  CORBA::Object_var obj = started.orb->resolve_initial_references("RootPOA");
  started.rootPoa = PortableServer::POA::_narrow(obj.in());
  if (CORBA::is_nil(started.rootPoa.in())) throw CORBA::OBJ_ADAPTER(0, CORBA::COMPLETED_NO);
  started.manager = started.rootPoa->the_POAManager();
  if (role == OrbRole::kServer) started.manager->activate();
  return started;
}

StartedOrb StartOrb(std::vector<std::string> args, OrbRole role) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  return StartOrb(argc, argv.data(), role);
}

std::string ObjectToString(CORBA::ORB_ptr orb, CORBA::Object_ptr obj) {
  if (CORBA::is_nil(obj)) return std::string();
  CORBA::String_var s = orb->object_to_string(obj);
  return std::string(s.in());
}

std::string Describe(const CORBA::Exception& e, ExceptionDetail detail) {
  const char* name = e._name();
  std::string text = name != nullptr ? name : "CORBA exception";
  const CORBA::SystemException* system = CORBA::SystemException::_downcast(&e);
  if (detail == ExceptionDetail::kWithMinor && system != nullptr) {
    text += " (minor " + std::to_string(system->minor()) + ")";
  }
  return text;
}

}  // namespace farm
