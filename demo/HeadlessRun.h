#pragma once
#include <string>

#include "demo/HeadlessJob.h"
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

// Parses the command line. False, with a one-line reason, when it names no
// headless run (`*wanted` false: no --scene) or is malformed: among others an
// --out whose extension names no picture format, a side outside 1..65535, a
// picture of more pixels than the farm makes, or a --timeout out of range.
bool ParseHeadless(int argc, char** argv, HeadlessOptions* options, bool* wanted, std::string* error);

// The size the run renders at: the scene's own unless given.
void PictureSize(const HeadlessOptions& options, int* width, int* height);

// Builds the scene and renders it through RenderNet2 as RunHeadlessJob
// does. Needs a QApplication. Returns the exit code.
int RunHeadless(const HeadlessOptions& options);

}  // namespace demo
