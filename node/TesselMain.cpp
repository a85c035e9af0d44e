// tessel: the render node. Joins the farm's work group with its farmer and
// serves until SIGINT or SIGTERM (or, on a desktop, its tray menu's end).
// Every argument goes to the ORB.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "node/NodeServer.h"
#include "node/TesselDesktop.h"
#include "platform/Desktop.h"
#include "platform/EndSignals.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/Translation.h"
#include "registry/RegistryPort.h"

namespace {

void Say(const std::string& line) { platform::WriteMessageToStderr("tessel: " + line); }

// A node renders with the engine beside it and unpacks its jobs into its
// folder; without either it would join the farm and fail every band.
platform::Status CheckNodeFolder(const std::filesystem::path& folder) {
  const std::filesystem::path engine = folder / "pvengine";
  if (access(engine.c_str(), X_OK) != 0) {
    return platform::Status::Error("no executable " + engine.string() +
                                   ": a node folder holds tessel, pvengine and libferrix.so side by side; copy "
                                   "them all (e.g. the whole build/bin/) into the node folder");
  }
  if (access(folder.c_str(), W_OK) != 0) {
    return platform::Status::Error("cannot write to the node folder " + folder.string() +
                                   " (jobs are unpacked there); give the node's user write access to it");
  }
  return platform::Status::Ok();
}

int RunNode(int argc, char** argv, const std::function<void()>& waitForEnd) {
  return node::NodeServer(argc, argv, Say).Run(waitForEnd);
}

}  // namespace

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(
          argc, argv, "tessel",
          std::string("usage: tessel [ORB options]\n"
                      "The render node: joins the work group \"Tessel\" of the workgroup server\n"
                      "found through the name registry, and renders the bands it is given with\n"
                      "pvengine, which must lie beside it. Each node needs a folder of its own.\n"
                      "It may start before the name registry and the workgroup server: it says what\n"
                      "it waits for and joins when they appear.\n"
                      "Ends on SIGINT or SIGTERM (or its tray menu's \"关闭\").\n"
                      "Exit status: 0 after an orderly end, 2 for an argument that is not an ORB\n"
                      "option, a LEDGO_PORT that is not a port, or a node folder without an\n"
                      "executable pvengine or that the node cannot write to.\n\n") +
              platform::kCommonEnvironmentHelp + "\n" + platform::kOrbOptionsHelp)) {
    return 0;
  }
  if (platform::Status args = platform::CheckOrbArguments(argc, argv); !args) {
    return platform::RefuseToStart("tessel", args.reason());
  }
  if (auto port = registry::RegistryPortFromEnvironment(); !port) {
    return platform::RefuseToStart("tessel", port.status().reason());
  }
  if (platform::Status folder = CheckNodeFolder(platform::ExecutableFolder()); !folder) {
    return platform::RefuseToStart("tessel", folder.reason());
  }
  platform::EnsureRuntimeFolder();
  platform::InstallTranslation();
  const sigset_t endSignals = platform::BlockEndSignals();
  if (platform::DesktopAvailable()) return node::RunTesselDesktop(argc, argv, endSignals, RunNode);
  return RunNode(argc, argv, [&endSignals] { platform::WaitForEndSignal(endSignals); });
}
