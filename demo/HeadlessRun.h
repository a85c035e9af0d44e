#pragma once
#include <string>

namespace demo {

// What `vornel --scene N --out FILE` was asked to do.
//
// Plain data; the run is made on the program's main thread.
struct HeadlessOptions {
  int scene = 0;
  std::string out;
  int width = 0;  // 0: the scene's own size
  int height = 0;
  int timeoutSeconds = 0;  // 0: wait as long as the job runs
  bool quiet = false;      // no progress display and no summary of the nodes
};

// The longest --timeout, so that it still counts in 32-bit milliseconds.
constexpr int kMaxTimeoutSeconds = 2147483;

// Exit codes of the headless run.
enum HeadlessExit {
  kExitOk = 0,
  kExitUsage = 2,
  kExitNoRender = 3,  // the farm could not render the picture
  kExitSaveFailed = 4,
  kExitTimeout = 5,
};

// Parses the command line. False, with a one-line reason, when it names no
// headless run (`*wanted` false: no --scene) or is malformed: among others an
// --out whose extension names no picture format, or a --timeout out of range.
bool ParseHeadless(int argc, char** argv, HeadlessOptions* options, bool* wanted, std::string* error);

// Builds the scene, renders it through RenderNet2, waits for the end with
// the Qt event loop running, saves the picture. Unless quiet, shows the
// progress on standard output while waiting and the nodes' work at the end
// (ProgressReport). Needs a QApplication.
// Prints one line on failure; returns the exit code. Only a picture with
// every row counts as rendered; a job that ended with rows missing saves
// what arrived and exits kExitNoRender.
int RunHeadless(const HeadlessOptions& options);

}  // namespace demo
