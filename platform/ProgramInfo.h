#pragma once
#include <string>

#include "platform/Status.h"

namespace platform {

// The version every farm program reports.
inline constexpr const char kFarmVersion[] = "1.0";

// The lines of --help about the environment every farm program reads.
extern const char kCommonEnvironmentHelp[];
// The lines of --help pointing at the ORB options a program passes on.
extern const char kOrbOptionsHelp[];

// Looks for --help and --version among the arguments. With one there,
// prints `usage` (for --help) or "NAME VERSION" (for --version) on standard
// output and answers true: the program then exits 0 without starting
// anything. Other arguments are left alone (they go to the ORB).
bool AnswerHelpOrVersion(int argc, char** argv, const std::string& name, const std::string& usage);

// The exit status of every farm program for a bad command line or a bad
// value in its environment, as each program's --help says.
inline constexpr int kExitBadUsage = 2;

// Checks that every argument is an ORB option with its value
// ("-ORBname value"), as the daemons that pass their command line to the ORB
// take nothing else. The error names the first other argument.
Status CheckOrbArguments(int argc, char** argv);

// Prints "NAME: REASON" and a pointer to NAME --help on standard error and
// answers kExitBadUsage, for a program that refuses to start.
int RefuseToStart(const std::string& name, const std::string& reason);

}  // namespace platform
