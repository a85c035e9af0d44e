#pragma once
#include <string>

#include "platform/Status.h"

class RenderNet2;

namespace demo {

// Exit codes of a headless run (vornel --scene, lumora render).
enum HeadlessExit {
  kExitOk = 0,
  kExitUsage = 2,
  kExitNoRender = 3,  // the farm could not render the picture
  kExitSaveFailed = 4,
  kExitTimeout = 5,
};

// One render without anybody at the screen, as the programs run it.
//
// Plain data; the run is made on the program's main thread.
struct HeadlessJob {
  std::string program;     // names the program in its messages
  std::string out;         // the picture file; its extension names the format
  int timeoutSeconds = 0;  // 0: wait as long as the job runs
  bool quiet = false;      // no progress display and no summary of the nodes
};

// Checks, before anything is rendered, that the picture can be saved where
// `out` says: its folder exists and may be written to.
platform::Status CheckOutputFolder(const std::string& out);

// Starts the job that `render` is set up for (Zarvo without a window),
// waits for its end with the Qt event loop running, and saves the picture.
// Unless quiet, shows the progress on standard output while waiting and the
// nodes' work at the end (ProgressReport). Prints one line on failure;
// returns the exit code. On SIGINT or SIGTERM, or when the time limit runs
// out, the job is cancelled (its nodes told to stop, up to 3 s) and the
// exit code is 128 + the signal, or kExitTimeout. Only a picture with every row counts as rendered;
// a job that ended with rows missing saves what arrived and answers
// kExitNoRender. Needs a QApplication.
int RunHeadlessJob(RenderNet2& render, const HeadlessJob& job);

}  // namespace demo
