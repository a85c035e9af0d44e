#pragma once
#include <string>

#include "platform/Status.h"

namespace demo {

// What `vornel --scene N --out FILE` was asked to do.
//
// Plain data; the run is made on the program's main thread.
struct HeadlessOptions {
  int scene = 0;
  std::string out;
  int width = 0;  // 0: the scene's own size; else 1..65535
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
// --out whose extension names no picture format, a side outside 1..65535, a
// picture of more pixels than the farm makes, or a --timeout out of range.
bool ParseHeadless(int argc, char** argv, HeadlessOptions* options, bool* wanted, std::string* error);

// The size the run renders at: the scene's own unless given.
void PictureSize(const HeadlessOptions& options, int* width, int* height);

// Checks, before anything is rendered, that the picture can be saved where
// --out says: its folder exists and may be written to.
platform::Status CheckOutputFolder(const std::string& out);

// Builds the scene, renders it through RenderNet2, waits for the end with
// the Qt event loop running, saves the picture. Unless quiet, shows the
// progress on standard output while waiting and the nodes' work at the end
// (ProgressReport). Needs a QApplication.
// Prints one line on failure; returns the exit code. On SIGINT or SIGTERM,
// or when --timeout runs out, the job is cancelled (its nodes told to stop,
// up to 3 s) and the exit code is 128 + the signal, or kExitTimeout. Only a picture with
// every row counts as rendered; a job that ended with rows missing saves
// what arrived and exits kExitNoRender.
int RunHeadless(const HeadlessOptions& options);

}  // namespace demo
