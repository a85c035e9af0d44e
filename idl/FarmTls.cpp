#include "idl/FarmTls.h"

#include <dlfcn.h>
#include <omniORB4/CORBA.h>
#include <omniORB4/linkHacks.h>
#include <omniORB4/omniInterceptors.h>
// The SSL transport is loaded at run time (EnableTls), never linked: only
// the class's layout is wanted from its header, not its link check.
#undef OMNI_FORCE_LINK
#define OMNI_FORCE_LINK(lib)
#include <omniORB4/sslContext.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace farm {
namespace {

std::mutex settingsMutex;
std::optional<TlsSettings> activeSettings;  // guarded by settingsMutex
PeerRole ownRole = PeerRole::kNone;         // set once, before the ORB runs

thread_local PeerRole expectedPeer = PeerRole::kNone;
thread_local bool refusedPeer = false;

// Debian's libomniorb4-2 ships it; it has no pkg-config file.
constexpr char kSslTransportLibrary[] = "libomnisslTP4.so.2";
// sslContext::singleton, looked up in that library once it is loaded.
constexpr char kSslContextSymbol[] = "_ZN10sslContext9singletonE";

struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct StoreFree {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StoreCtxFree {
  void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Cert = std::unique_ptr<X509, X509Free>;

PeerRole RoleOf(X509* cert) {
  if (cert == nullptr) return PeerRole::kNone;
  X509_NAME* subject = X509_get_subject_name(cert);
  const int index = X509_NAME_get_index_by_NID(subject, NID_organizationalUnitName, -1);
  if (index < 0) return PeerRole::kNone;
  const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
  const auto* bytes = reinterpret_cast<const char*>(ASN1_STRING_get0_data(data));
  return RoleFromName(std::string_view(bytes, static_cast<size_t>(ASN1_STRING_length(data))));
}

Cert ReadCertificate(const std::string& file) {
  Bio bio(BIO_new_file(file.c_str(), "r"));
  if (!bio) return nullptr;
  return Cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

bool HasPrivateKey(const std::string& file) {
  Bio bio(BIO_new_file(file.c_str(), "r"));
  if (!bio) return false;
  std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  return key != nullptr;
}

bool SignedBy(X509* cert, const std::string& caFile) {
  std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
  if (!store || X509_STORE_load_file(store.get(), caFile.c_str()) != 1) return false;
  std::unique_ptr<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr) != 1) return false;
  return X509_verify_cert(ctx.get()) == 1;
}

const char* Text(const char* s) { return s != nullptr ? s : "?"; }

CORBA::Boolean CheckCaller(omni::omniInterceptors::serverReceiveRequest_T::info_T& info) {
  const PeerRole caller = RoleOf(static_cast<X509*>(info.peerdetails()));
  const char* operation = info.operation();
  if (MayCall(ownRole, Text(operation), caller)) return true;
  std::fprintf(stderr, "refused %s from %s: its certificate's role is %s\n", Text(operation), Text(info.peeraddress()),
               RoleName(caller));
  throw CORBA::NO_PERMISSION(0, CORBA::COMPLETED_NO);
}

// The role `operation` needs of the peer that answers it, kNone for any
// farm role. A connection opened for no operation (omniORB's locate request
// before a reference's first call) carries nothing: any farm role may
// answer it, and the call that follows on it is checked by its name.
PeerRole Wanted(const char* operation) {
  if (expectedPeer != PeerRole::kNone) return expectedPeer;
  return operation == nullptr ? PeerRole::kNone : ExpectedCallee(ownRole, operation);
}

bool Acceptable(PeerRole callee, PeerRole wanted) {
  return callee != PeerRole::kNone && (wanted == PeerRole::kNone || callee == wanted);
}

void LogRefusal(const char* address, const char* operation, PeerRole callee, PeerRole wanted) {
  std::fprintf(stderr, "refused the peer at %s for %s: it presents a certificate of role %s, not %s\n", Text(address),
               Text(operation), RoleName(callee), wanted == PeerRole::kNone ? "of the farm" : RoleName(wanted));
  refusedPeer = true;
}

// A new connection is checked before its first request goes out (with a
// call time limit the request interceptor runs before the connection is).
CORBA::Boolean CheckConnection(omni::omniInterceptors::clientOpenConnection_T::info_T& info) {
  void* details = info.peerdetails();
  if (details == nullptr) return true;
  const PeerRole callee = RoleOf(static_cast<X509*>(details));
  const PeerRole wanted = Wanted(info.operation());
  if (Acceptable(callee, wanted)) return true;
  LogRefusal(info.peeraddress(), info.operation(), callee, wanted);
  info.reject = true;
  info.why = "the peer's certificate is not of the role this call needs";
  return false;
}

// Every request on a connection already open.
CORBA::Boolean CheckCallee(omni::omniInterceptors::clientSendRequest_T::info_T& info) {
  void* details = info.peerdetails();
  if (details == nullptr) return true;  // not connected yet: CheckConnection sees it
  const PeerRole callee = RoleOf(static_cast<X509*>(details));
  const PeerRole wanted = Wanted(info.operation());
  if (Acceptable(callee, wanted)) return true;
  LogRefusal(info.peeraddress(), info.operation(), callee, wanted);
  throw CORBA::NO_PERMISSION(0, CORBA::COMPLETED_NO);
}

}  // namespace

platform::StatusOr<std::optional<TlsSettings>> TlsSettingsFromEnvironment() {
  const char* ca = std::getenv("LUMORA_TLS_CA");
  const char* key = std::getenv("LUMORA_TLS_KEY");
  const bool hasCa = ca != nullptr && *ca != '\0';
  const bool hasKey = key != nullptr && *key != '\0';
  if (!hasCa && !hasKey) return std::optional<TlsSettings>();
  if (!hasCa) return platform::Status::Error("LUMORA_TLS_KEY is set but LUMORA_TLS_CA is not: give both or neither");
  if (!hasKey) return platform::Status::Error("LUMORA_TLS_CA is set but LUMORA_TLS_KEY is not: give both or neither");
  TlsSettings settings{ca, key, PeerRole::kNone};
  if (!ReadCertificate(settings.caFile)) {
    return platform::Status::Error("LUMORA_TLS_CA: " + settings.caFile + " holds no readable PEM certificate");
  }
  Cert own = ReadCertificate(settings.keyFile);
  if (!own || !HasPrivateKey(settings.keyFile)) {
    return platform::Status::Error("LUMORA_TLS_KEY: " + settings.keyFile +
                                   " must hold a private key and its certificate (PEM; scripts/farm-ca makes it)");
  }
  if (!SignedBy(own.get(), settings.caFile)) {
    return platform::Status::Error("LUMORA_TLS_KEY: the certificate in " + settings.keyFile +
                                   " is not signed by the authority in " + settings.caFile);
  }
  settings.ownRole = RoleOf(own.get());
  if (settings.ownRole == PeerRole::kNone) {
    return platform::Status::Error("LUMORA_TLS_KEY: the certificate in " + settings.keyFile +
                                   " names no farm role (OU=server, node or client)");
  }
  return std::optional<TlsSettings>(settings);
}

std::vector<std::string> SslArguments(std::vector<std::string> args) {
  static const std::string kTcp = "giop:tcp:";
  bool hasEndpoint = false;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] != "-ORBendPoint") continue;
    hasEndpoint = true;
    std::string& value = args[i + 1];
    if (value.compare(0, kTcp.size(), kTcp) == 0) value = "giop:ssl:" + value.substr(kTcp.size());
  }
  if (!hasEndpoint) args.insert(args.end(), {"-ORBendPoint", "giop:ssl::"});
  return args;
}

platform::Status EnableTls(const TlsSettings& settings) {
  std::lock_guard<std::mutex> lock(settingsMutex);
  if (activeSettings) return platform::Status::Ok();
  // omniORB's SSL transport joins the ORB when its library is loaded. It is
  // loaded only here: linked into every program it would warn at each plain
  // start that it has no certificates.
  if (dlopen(kSslTransportLibrary, RTLD_NOW | RTLD_GLOBAL) == nullptr) {
    const char* error = dlerror();
    return platform::Status::Error(std::string("cannot load omniORB's SSL transport: ") +
                                   (error != nullptr ? error : kSslTransportLibrary));
  }
  activeSettings = settings;
  ownRole = settings.ownRole;
  return platform::Status::Ok();
}

std::optional<TlsSettings> ActiveTls() {
  std::lock_guard<std::mutex> lock(settingsMutex);
  return activeSettings;
}

void InstallPeerChecks() {
  static std::once_flag once;
  if (!ActiveTls()) return;
  std::call_once(once, [] {
    omni::omniInterceptors* interceptors = omniORB::getInterceptors();
    interceptors->serverReceiveRequest.add(CheckCaller);
    interceptors->clientOpenConnection.add(CheckConnection);
    interceptors->clientSendRequest.add(CheckCallee);
  });
}

const char kPreferredCipherSuites[] = "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";

void PreferFastCiphers() {
  static std::once_flag once;
  if (!ActiveTls()) return;
  std::call_once(once, [] {
    auto* singleton = static_cast<sslContext**>(dlsym(RTLD_DEFAULT, kSslContextSymbol));
    SSL_CTX* context = singleton != nullptr && *singleton != nullptr ? (*singleton)->get_SSL_CTX() : nullptr;
    if (context == nullptr || SSL_CTX_set_ciphersuites(context, kPreferredCipherSuites) != 1) {
      std::fprintf(stderr, "TLS: OpenSSL's own order of cipher suites stays\n");
      return;
    }
    // As a server too, whatever order the peer offers.
    SSL_CTX_set_options(context, SSL_OP_CIPHER_SERVER_PREFERENCE);
  });
}

bool TakePeerRefusal() {
  const bool refused = refusedPeer;
  refusedPeer = false;
  return refused;
}

ExpectPeer::ExpectPeer(PeerRole role) : previous_(expectedPeer) { expectedPeer = role; }

ExpectPeer::~ExpectPeer() { expectedPeer = previous_; }

}  // namespace farm
