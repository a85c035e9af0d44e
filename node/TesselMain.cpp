// tessel: the render node. Joins the farm's work group with its farmer and
// serves until SIGINT or SIGTERM (or, on a desktop, its tray menu's end).
// Every argument goes to the ORB.
#include <string>

#include "node/NodeServer.h"
#include "node/TesselDesktop.h"
#include "platform/Desktop.h"
#include "platform/EndSignals.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"

namespace {

void Say(const std::string& line) { platform::WriteMessageToStderr("tessel: " + line); }

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
                      "Ends on SIGINT or SIGTERM (or its tray menu's \"关闭\").\n\n") +
              platform::kCommonEnvironmentHelp + "\n" + platform::kOrbOptionsHelp)) {
    return 0;
  }
  const sigset_t signals = platform::BlockEndSignals();
  if (platform::DesktopAvailable()) return node::RunTesselDesktop(argc, argv, signals, RunNode);
  return RunNode(argc, argv, [&signals] { platform::WaitForEndSignal(signals); });
}
