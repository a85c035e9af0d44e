#pragma once
#include <string>

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

}  // namespace platform
