#include "demo/HeadlessJob.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "demo/ProgressReport.h"
#include "jobs/host/RenderNet2.h"

namespace demo {

namespace {

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

int RunHeadlessJob(RenderNet2& render, const HeadlessJob& job) {
  const char* program = job.program.c_str();
  CatchInterrupts();
  const WId noWindow = 0;
  render.Zarvo(&noWindow);
  int32_t state = RenderNet2::kJobNotStarted;
  const int32_t timeoutMs = job.timeoutSeconds > 0 ? job.timeoutSeconds * 1000 : -1;
  const bool ended = Wait(render, timeoutMs, job.quiet, &state);
  const char* reason = "";
  render.GetJobReason(&reason);
  if (!ended) {
    const int signal = interruptedBy;
    if (signal != 0) {
      std::fprintf(stderr, "%s: %s: the render job is cancelled\n", program,
                   signal == SIGINT ? "interrupted" : "terminated");
    } else {
      std::fprintf(stderr, "%s: the render job did not end within %d s; it is cancelled\n", program,
                   job.timeoutSeconds);
    }
    render.CancelJob(kCancelWaitMs);
    return signal != 0 ? 128 + signal : kExitTimeout;
  }
  if (state == RenderNet2::kJobNotStarted) {
    std::fprintf(stderr, "%s: the render job did not start: %s\n", program, reason);
    return kExitNoRender;
  }
  if (state != RenderNet2::kJobCompleted) {
    std::fprintf(stderr, "%s: the farm could not render the picture: %s\n", program,
                 *reason != '\0' ? reason : "render job not started");
    // The rows that did arrive are kept, for whoever wants to look.
    if ((state == RenderNet2::kJobIncomplete || state == RenderNet2::kJobAbandoned) &&
        render.SavePicture(job.out.c_str()) == S_OK) {
      std::fprintf(stderr, "%s: the incomplete picture is saved to %s\n", program, job.out.c_str());
    }
    return kExitNoRender;
  }
  if (render.SavePicture(job.out.c_str()) != S_OK) {
    std::fprintf(stderr,
                 "%s: could not save the picture to %s (its viewer was closed, or the file could not be "
                 "written)\n",
                 program, job.out.c_str());
    return kExitSaveFailed;
  }
  render.Destory();
  return kExitOk;
}

}  // namespace demo
