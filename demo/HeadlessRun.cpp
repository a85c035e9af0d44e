#include "demo/HeadlessRun.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "demo/Components.h"
#include "demo/ProgressReport.h"
#include "demo/SceneChoice.h"
#include "jobs/host/RenderNet2.h"
#include "jobs/view/ImageFormat.h"
#include "jobs/view/Picture.h"

namespace demo {

namespace {

bool ReadInt(const char* text, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

volatile std::sig_atomic_t interruptedBy = 0;

void NoteSignal(int signal) { interruptedBy = signal; }

// Ctrl-C and SIGTERM end the wait instead of the process, so that the job
// is cancelled and its nodes told to stop before the program exits.
void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// How long a cancelled job may take to stop its nodes before the program
// exits all the same (the nodes then notice by themselves that it is gone).
constexpr int32_t kCancelWaitMs = 3000;

// Waits for the job in short slices, showing its progress between them
// unless quiet. True once the job is no longer running; false on time-out
// or a signal.
bool Wait(RenderNet2& render, int32_t timeoutMs, bool quiet, int32_t* state) {
  constexpr int32_t kSliceMs = 250;
  ProgressReport report(stdout, isatty(fileno(stdout)) == 1);
  jobs::JobProgressSnapshot progress;
  const auto start = std::chrono::steady_clock::now();
  bool ended = false;
  for (;;) {
    const auto waited = static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    const int32_t slice = timeoutMs < 0 ? kSliceMs : std::clamp(timeoutMs - waited, 0, kSliceMs);
    ended = render.WaitForJob(slice, state) == S_OK;
    if (!quiet) {
      render.GetJobProgress(&progress);
      report.Update(progress);
    }
    if (ended || interruptedBy != 0 || (timeoutMs >= 0 && waited + slice >= timeoutMs)) break;
  }
  if (!quiet && *state != RenderNet2::kJobNotStarted) {
    std::vector<jobs::NodeWork> nodes;
    render.GetNodeSummary(&nodes);
    report.Finish(progress, nodes);
  }
  return ended;
}

}  // namespace

bool ParseHeadless(int argc, char** argv, HeadlessOptions* options, bool* wanted, std::string* error) {
  *wanted = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-ORB", 0) == 0) {  // ORB options and their values are the ORB's
      ++i;
      continue;
    }
    auto value = [&](int* out) {
      if (i + 1 >= argc || !ReadInt(argv[i + 1], out)) {
        *error = arg + " needs a number";
        return false;
      }
      ++i;
      return true;
    };
    if (arg == "--scene") {
      *wanted = true;
      if (!value(&options->scene)) return false;
    } else if (arg == "--out") {
      if (i + 1 >= argc) {
        *error = "--out needs a file name";
        return false;
      }
      options->out = argv[++i];
    } else if (arg == "--width" || arg == "--height") {
      int* side = arg == "--width" ? &options->width : &options->height;
      if (!value(side)) return false;
      if (*side < 1 || *side > jobs::Picture::kMaxSide) {
        *error = arg + " must be 1 to " + std::to_string(jobs::Picture::kMaxSide) + " pixels (leave it out for the " +
                 "scene's own size)";
        return false;
      }
    } else if (arg == "--timeout") {
      if (!value(&options->timeoutSeconds)) return false;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else {
      *error = "unknown argument " + arg;
      return false;
    }
  }
  if (!*wanted) {
    if (!options->out.empty()) *error = "--out needs --scene";
    return options->out.empty();
  }
  if (options->scene != 1 && options->scene != 2) {
    *error = "--scene must be 1 or 2";
    return false;
  }
  if (options->out.empty()) {
    *error = "--scene needs --out FILE";
    return false;
  }
  // Said before the render rather than after it.
  if (!jobs::FormatForPath(options->out)) {
    *error = "--out must end in .jpg, .png, .bmp or .tga";
    return false;
  }
  int width = 0;
  int height = 0;
  PictureSize(*options, &width, &height);
  if (int64_t{width} * height > jobs::Picture::kMaxPixels) {
    *error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is too large; at most " + std::to_string(jobs::Picture::kMaxPixels) + " pixels in all";
    return false;
  }
  if (options->timeoutSeconds < 0 || options->timeoutSeconds > kMaxTimeoutSeconds) {
    *error = "--timeout must be 0 (none) to " + std::to_string(kMaxTimeoutSeconds) + " seconds";
    return false;
  }
  return true;
}

void PictureSize(const HeadlessOptions& options, int* width, int* height) {
  DefaultSize(options.scene, width, height);
  if (options.width != 0) *width = options.width;
  if (options.height != 0) *height = options.height;
}

platform::Status CheckOutputFolder(const std::string& out) {
  std::filesystem::path folder = std::filesystem::path(out).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return platform::Status::Error("--out " + out + ": there is no folder " + folder.string() + "; create it first");
  }
  if (access(folder.c_str(), W_OK) != 0) {
    return platform::Status::Error("--out " + out + ": cannot write into the folder " + folder.string() +
                                   "; choose a folder you may write to");
  }
  return platform::Status::Ok();
}

int RunHeadless(const HeadlessOptions& options) {
  std::string error;
  if (!BuildScene(options.scene, &error)) {
    std::fprintf(stderr, "vornel: %s\n", error.c_str());
    return kExitNoRender;
  }
  int width = 0;
  int height = 0;
  PictureSize(options, &width, &height);

  platform::com::ComPtr<jobs::IRenderNet2> job = NewRenderNet2(&error);
  if (!job) {
    std::fprintf(stderr, "vornel: %s\n", error.c_str());
    return kExitNoRender;
  }
  RenderNet2& render = *job->object();
  CatchInterrupts();
  render.SetImage(width, height);
  const WId noWindow = 0;
  render.Zarvo(&noWindow);
  int32_t state = RenderNet2::kJobNotStarted;
  const int32_t timeoutMs = options.timeoutSeconds > 0 ? options.timeoutSeconds * 1000 : -1;
  const bool ended = Wait(render, timeoutMs, options.quiet, &state);
  const char* reason = "";
  render.GetJobReason(&reason);
  if (!ended) {
    const int signal = interruptedBy;
    if (signal != 0) {
      std::fprintf(stderr, "vornel: %s: the render job is cancelled\n",
                   signal == SIGINT ? "interrupted" : "terminated");
    } else {
      std::fprintf(stderr, "vornel: the render job did not end within %d s; it is cancelled\n", options.timeoutSeconds);
    }
    render.CancelJob(kCancelWaitMs);
    return signal != 0 ? 128 + signal : kExitTimeout;
  }
  if (state == RenderNet2::kJobNotStarted) {
    std::fprintf(stderr, "vornel: the render job did not start: %s\n", reason);
    return kExitNoRender;
  }
  if (state != RenderNet2::kJobCompleted) {
    std::fprintf(stderr, "vornel: the farm could not render the picture: %s\n",
                 *reason != '\0' ? reason : "render job not started");
    // The rows that did arrive are kept, for whoever wants to look.
    if ((state == RenderNet2::kJobIncomplete || state == RenderNet2::kJobAbandoned) &&
        render.SavePicture(options.out.c_str()) == S_OK) {
      std::fprintf(stderr, "vornel: the incomplete picture is saved to %s\n", options.out.c_str());
    }
    return kExitNoRender;
  }
  if (render.SavePicture(options.out.c_str()) != S_OK) {
    std::fprintf(stderr,
                 "vornel: could not save the picture to %s (its viewer was closed, or the file could not be "
                 "written)\n",
                 options.out.c_str());
    return kExitSaveFailed;
  }
  render.Destory();
  std::printf("vornel: scene %d rendered at %d x %d, saved to %s\n", options.scene, width, height, options.out.c_str());
  return kExitOk;
}

}  // namespace demo
