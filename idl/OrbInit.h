#pragma once
#include <omniORB4/CORBA.h>

#include <string>
#include <vector>

namespace farm {

// Largest GIOP message every farm program accepts by default: a job package
// travels in one WriteBuffer, so it must hold packages of 256 MB and more.
inline constexpr unsigned long kMaxMessageBytes = 512ul * 1024ul * 1024ul;

// Longest DataSeq a servant takes (the farm's own messages hold at most
// seven elements), and longest row of colours a boss takes (the widest
// picture). Longer ones are refused with BAD_PARAM before anything reads
// them.
inline constexpr unsigned long kMaxDataSeqLength = 64;
inline constexpr unsigned long kMaxRowLength = 65535;

// ORB_init from the program's own command line (standard -ORB options are
// honoured and may override the defaults set here, e.g. -ORBgiopMaxMsgSize).
// The defaults every farm program shares are set here and nowhere else.
// Removes the options it consumed from argv. With argc 0 it answers the
// process's ORB when one is running. Any thread; raises what the ORB raises.
CORBA::ORB_ptr InitOrb(int& argc, char** argv);

// What a process starts the ORB for.
enum class OrbRole {
  kServer,      // serves objects: the root adapter's manager is activated
  kClientOnly,  // only calls out: the manager is held, never activated
};

// The ORB of a process with its root adapter (RootPOA) and that adapter's
// manager. Child adapters with policies of their own are the caller's.
//
// Plain references: hand it to any thread; the ORB and its adapters are thread-safe.
struct StartedOrb {
  CORBA::ORB_var orb;
  PortableServer::POA_var rootPoa;
  PortableServer::POAManager_var manager;
};

// The one start-up of every farm process: InitOrb from `argc`/`argv` (a
// command line, program name first), RootPOA resolved and narrowed, and for
// kServer its manager activated. Raises the CORBA exception of the step that
// failed (OBJ_ADAPTER when RootPOA is not an adapter). Any thread.
StartedOrb StartOrb(int& argc, char** argv, OrbRole role = OrbRole::kServer);

// The same from a copy of `args` (the caller's vector stays as it is).
StartedOrb StartOrb(std::vector<std::string> args, OrbRole role = OrbRole::kServer);

// Stringified name of a reference ("IOR:..."), empty for a nil reference.
std::string ObjectToString(CORBA::ORB_ptr orb, CORBA::Object_ptr obj);

// One line naming a CORBA exception for a log or a reason: its name ("CORBA
// exception" when it has none), and with kWithMinor the minor code of a
// system exception as " (minor N)".
enum class ExceptionDetail { kName, kWithMinor };
std::string Describe(const CORBA::Exception& e, ExceptionDetail detail = ExceptionDetail::kName);

}  // namespace farm
