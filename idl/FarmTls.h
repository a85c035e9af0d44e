#pragma once
#include <optional>
#include <string>
#include <vector>

#include "idl/PeerRoles.h"
#include "platform/Status.h"

namespace farm {

// TLS between the farm's processes, opt-in through the environment:
// LUMORA_TLS_CA (the farm authority's certificate, PEM) and LUMORA_TLS_KEY
// (this machine's private key and certificate in one PEM file, its role in
// the subject's OU; scripts/farm-ca makes both). With them every ORB of the
// process listens and calls only on giop:ssl, demands a certificate of that
// authority from every peer, and checks each call's peer role (MayCall,
// ExpectedCallee). Without them nothing changes: plain TCP.
struct TlsSettings {
  std::string caFile;
  std::string keyFile;
  PeerRole ownRole = PeerRole::kNone;
};

// Reads and checks the two variables: nothing when neither is set; an error
// naming the variable when only one is, when a file cannot be read, or when
// the key file's certificate carries no farm role. Any thread.
platform::StatusOr<std::optional<TlsSettings>> TlsSettingsFromEnvironment();

// The command line an ORB starts from with TLS on: every giop:tcp endpoint
// given becomes giop:ssl on the same address, and giop:ssl:: is added at the
// end when none is given; nothing else moves. Pure.
std::vector<std::string> SslArguments(std::vector<std::string> args);

// Readies the process for `settings` before ORB_init: loads omniORB's SSL
// transport (an error when it cannot). The first settings given stay for
// the process; later calls answer ok. Any thread. InitOrb gives the ORB
// the SSL options (authority, key, verify mode) itself.
platform::Status EnableTls(const TlsSettings& settings);

// After ORB_init with TLS enabled: installs the per-call role checks (once
// per process; a refused call raises NO_PERMISSION and is logged on
// stderr). Does nothing without TLS. Any thread.
void InstallPeerChecks();

// After ORB_init with TLS enabled, before any call: has omniORB's TLS
// context offer AES-128-GCM first among the TLS 1.3 suites (AES-256-GCM and
// ChaCha20-Poly1305 stay allowed after it). Every row crosses as one record
// each way, and with the processor's AES instructions that suite costs the
// least per record. Once per process; does nothing without TLS, and leaves
// OpenSSL's order when omniORB's context cannot be found. Any thread.
void PreferFastCiphers();

// The TLS 1.3 suites PreferFastCiphers offers, best first (OpenSSL names).
extern const char kPreferredCipherSuites[];

// The process's settings once EnableTls ran; nothing before or without TLS.
std::optional<TlsSettings> ActiveTls();

// Whether a call of this thread was refused since the last look, for its
// peer's certificate (the call then failed with NO_PERMISSION, or with
// TRANSIENT when the refusal closed a new connection); clears the mark.
bool TakePeerRefusal();

// While one lives, every call this thread makes must be answered by a peer
// of `role` whatever the operation (e.g. the look-up of the workgroup
// server, whose first call is _non_existent). Without TLS it does nothing.
// One thread: make and destroy it on the thread that calls.
class ExpectPeer {
 public:
  explicit ExpectPeer(PeerRole role);
  ~ExpectPeer();
  ExpectPeer(const ExpectPeer&) = delete;
  ExpectPeer& operator=(const ExpectPeer&) = delete;

 private:
  PeerRole previous_;
};

}  // namespace farm
