#pragma once
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PpmImage.h"
#include "engine/StripPlan.h"

namespace engine {

// What every strip of a band shares.
struct StripJob {
  std::string renderer;                 // the povray program
  std::string sceneFile;                // scene name, relative to the current folder
  int width = 0;
  int height = 0;
  std::vector<std::string> extraOptions;  // columns, alpha, pass-through options
  int logFd = -1;                         // renderer console output goes here
};

// One renderer run for one strip. The renderer writes its picture (a whole
// picture, only the strip's rows rendered) into a file in the current folder
// just before it ends; the strip counts as done as soon as that file is
// complete, without waiting for the renderer to close down. The renderer
// stays in this process's group, so whoever ends the engine's group ends it.
class StripRender {
 public:
  static std::unique_ptr<StripRender> Start(const StripJob& job, const Strip& strip, int index, std::string* error);
  // Kills a renderer that has not been reaped; removes the picture file and
  // any state file the renderer left.
  ~StripRender();
  StripRender(const StripRender&) = delete;
  StripRender& operator=(const StripRender&) = delete;

  const Strip& strip() const { return strip_; }

  enum class State { kRunning, kPictureReady, kFailed };
  // Looks at the picture file and the process without blocking. kFailed
  // when the renderer ended without a complete picture or the picture does
  // not match the job.
  State Poll();

  // Once kPictureReady: the strip's rows as COLORREF values, row by row.
  // The picture file is removed once read.
  bool ReadRows(std::vector<std::int32_t>* pixels, std::string* error);

  // Waits for the renderer to end; its exit status, or 128 + signal.
  int Wait();
  std::optional<int> exitStatus() const { return status_; }

 private:
  StripRender(const StripJob& job, const Strip& strip, pid_t pid, std::filesystem::path picture);
  bool Reap(bool block);

  const StripJob& job_;
  const Strip strip_;
  const pid_t pid_;
  const std::filesystem::path picture_;
  std::optional<int> status_;
  PpmHeader header_;
  bool headerKnown_ = false;
};

// The renderer's argument vector for one strip (without a picture name the
// caller then appends as +O<name>).
std::vector<std::string> RendererArguments(const StripJob& job, const Strip& strip, const std::string& pictureName);

}  // namespace engine
