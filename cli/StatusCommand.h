#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace cli {

// What `lumora status ...` was asked to do. Plain data.
struct StatusCommand {
  bool json = false;  // --json: the server's JSON as it is
};

// Parses the arguments after "status" (ORB options are skipped). False,
// with a one-line reason, for any other argument.
bool ParseStatusCommand(const std::vector<std::string>& args, StatusCommand* command, std::string* error);

// The farm as a table for people: one line per node, then the jobs in
// flight with their progress and time left, the line of waiting jobs and
// the jobs that ended last. `snapshot` is the server's JSON; missing fields
// show empty. Texts from nodes are printed as they are, control characters
// replaced.
std::string FormatStatusTable(const nlohmann::json& snapshot);

// Asks the work group server for the farm's state and prints it; answers
// the exit status: 0, or 3 (with the reason on stderr) when no server
// answered or it shows no status. `argv` is the program's command line
// (for the ORB).
int RunStatus(const StatusCommand& command, int argc, char** argv);

}  // namespace cli
