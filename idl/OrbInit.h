#pragma once
#include <omniORB4/CORBA.h>

#include <string>

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
CORBA::ORB_ptr InitOrb(int& argc, char** argv);

// Stringified name of a reference ("IOR:..."), empty for a nil reference.
std::string ObjectToString(CORBA::ORB_ptr orb, CORBA::Object_ptr obj);

}  // namespace farm
