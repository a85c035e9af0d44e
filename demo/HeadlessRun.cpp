#include "demo/HeadlessRun.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
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
  render.SetImage(width, height);
  const int exit = RunHeadlessJob(render, {"vornel", options.out, options.timeoutSeconds, options.quiet});
  if (exit == kExitOk) {
    std::printf("vornel: scene %d rendered at %d x %d, saved to %s\n", options.scene, width, height,
                options.out.c_str());
  }
  return exit;
}

}  // namespace demo
