#pragma once
#include <string>
#include <vector>

namespace cli {

// What `lumora render ...` was asked to do.
//
// Plain data; the run is made on the program's main thread.
struct RenderCommand {
  std::vector<std::string> sceneArgs;  // SCENE.pov, INI files, switches, INI options, as povray takes them
  std::string out;                     // --out; empty: where povray would write
  int timeoutSeconds = 0;              // 0: wait as long as the job runs
  bool quiet = false;
};

// Parses the arguments after "render" (argv without the program and the
// sub-command). ORB options (-ORBname value) are skipped: they are the ORB's.
// False, with a one-line reason, for a malformed line: no scene argument, a
// --out without a name or whose extension names no picture format, a
// --timeout out of range.
bool ParseRenderCommand(const std::vector<std::string>& args, RenderCommand* command, std::string* error);

}  // namespace cli
