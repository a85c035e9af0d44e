// pvengine: the render engine a node starts for one band. It takes the
// node's command line, renders the band with povray and hands every row to
// the row transfer library (libferrix.so beside this program) as it comes.
// The band's picture (+O) is written beside the scene. Its exit status is
// povray's.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/BandPicture.h"
#include "engine/EngineOptions.h"
#include "engine/StripPlan.h"
#include "engine/StripRender.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"

namespace {

namespace fs = std::filesystem;

void Say(const std::string& line) { platform::WriteMessageToStderr("pvengine: " + line); }

// The four functions of the row transfer library; null when it is missing.
struct Ferrix {
  bool (*init)() = nullptr;
  bool (*send)(std::int32_t, std::int32_t, const std::int32_t*) = nullptr;
  bool (*getbegin)(std::int32_t*, std::int32_t*, std::int32_t*) = nullptr;
  bool (*isOk)() = nullptr;

  bool Load(const fs::path& library, std::string* error) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      *error = dlerror();
      return false;
    }
    init = reinterpret_cast<bool (*)()>(dlsym(handle, "Transformdata_init"));
    send = reinterpret_cast<bool (*)(std::int32_t, std::int32_t, const std::int32_t*)>(dlsym(handle, "Transformdata"));
    getbegin = reinterpret_cast<bool (*)(std::int32_t*, std::int32_t*, std::int32_t*)>(
        dlsym(handle, "Transformdata_getbegin"));
    isOk = reinterpret_cast<bool (*)()>(dlsym(handle, "Transformdata_IsOK"));
    if (!init || !send || !getbegin || !isOk) {
      *error = library.string() + ": not a row transfer library";
      init = nullptr;
      send = nullptr;
      getbegin = nullptr;
      isOk = nullptr;
      return false;
    }
    return true;
  }
};

std::string Renderer() {
#ifdef PVENGINE_POVRAY
  if (access(PVENGINE_POVRAY, X_OK) == 0) return PVENGINE_POVRAY;
#endif
  return "povray";
}

// Tuning knobs for benchmarks: a positive integer in the environment
// variable `name`, else `fallback`.
int Knob(const char* name, int fallback) {
  const char* v = std::getenv(name);
  const int n = v != nullptr ? std::atoi(v) : 0;
  return n >= 1 && n <= 1000 ? n : fallback;
}

// How many renderer runs may be under way at once. A run spends much of
// its time starting and closing down, which a second run overlaps.
int StripsInFlight() { return Knob("PVENGINE_STRIPS_IN_FLIGHT", 4); }

void ShowLogTail(const fs::path& log) {
  std::FILE* f = std::fopen(log.c_str(), "rb");
  if (f == nullptr) return;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  const long from = size > 2000 ? size - 2000 : 0;
  std::fseek(f, from, SEEK_SET);
  std::string tail(static_cast<std::size_t>(size - from), '\0');
  const std::size_t n = std::fread(tail.data(), 1, tail.size(), f);
  std::fclose(f);
  tail.resize(n);
  Say("povray said:\n" + tail);
}

int Run(int argc, char** argv) {
  engine::EngineOptions options;
  std::string error;
  if (!engine::ParseEngineCommandLine(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    Say(error);
    return 2;
  }

  Ferrix ferrix;
  const fs::path library = platform::ExecutableFolder() / "libferrix.so";
  if (!ferrix.Load(library, &error)) Say("rows will not be sent: " + error);
  if (ferrix.init) ferrix.init();

  // The command line names the band; the job record stands in for what it
  // leaves out.
  std::int32_t recFirst = 0, recLast = 0, recHeight = 0;
  const bool haveRecord = ferrix.getbegin && ferrix.getbegin(&recFirst, &recLast, &recHeight);
  const int height = options.height.value_or(haveRecord && recHeight > 0 ? recHeight : 480);
  const int width = options.width.value_or(640);
  std::optional<int> first = options.startRow ? engine::ResolveRow(*options.startRow, height, false)
                                              : std::optional<int>(haveRecord ? std::max(recFirst, 1) : 1);
  std::optional<int> last = options.endRow ? engine::ResolveRow(*options.endRow, height, true)
                                           : std::optional<int>(haveRecord ? recLast : height);
  if (!first || !last) {
    Say("bad row option");
    return 2;
  }
  const int firstRow = std::max(*first, 1);
  const int lastRow = std::min(*last, height);

  // povray reads the scene and its pictures relative to the scene's folder,
  // and may write only there; the strip pictures go there too.
  const fs::path scene = fs::absolute(options.scene);
  if (chdir(scene.parent_path().c_str()) != 0) {
    Say("cannot enter " + scene.parent_path().string());
    return 2;
  }
  const fs::path log = fs::absolute("pvengine.log");
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

  engine::StripJob job;
  job.renderer = Renderer();
  job.sceneFile = scene.filename().string();
  job.width = width;
  job.height = height;
  job.logFd = logFd;
  if (options.startColumn) job.extraOptions.push_back("+SC" + *options.startColumn);
  if (options.endColumn) job.extraOptions.push_back("+EC" + *options.endColumn);
  if (options.alpha) job.extraOptions.push_back("+UA");
  job.extraOptions.insert(job.extraOptions.end(), options.passThrough.begin(), options.passThrough.end());

  engine::StripPolicy policy;
  policy.firstRows = Knob("PVENGINE_FIRST_STRIP", policy.firstRows);
  policy.growth = Knob("PVENGINE_STRIP_GROWTH", policy.growth);
  policy.share = Knob("PVENGINE_STRIP_SHARE", policy.share);
  const std::vector<engine::Strip> strips = engine::PlanStrips(firstRow, lastRow, policy);
  const std::size_t inFlight = static_cast<std::size_t>(StripsInFlight());
  std::deque<std::unique_ptr<engine::StripRender>> running, ending;
  std::size_t next = 0;
  int failure = 0;
  std::vector<std::int32_t> pixels;
  engine::BandPicture picture(width, height);
  while (failure == 0 && (next < strips.size() || !running.empty())) {
    while (running.size() < inFlight && next < strips.size()) {
      auto run = engine::StripRender::Start(job, strips[next], static_cast<int>(next), &error);
      if (!run) {
        Say(error);
        failure = 127;
        break;
      }
      running.push_back(std::move(run));
      ++next;
    }
    bool progressed = false;
    for (auto it = running.begin(); failure == 0 && it != running.end();) {
      const auto state = (*it)->Poll();
      if (state == engine::StripRender::State::kRunning) {
        ++it;
        continue;
      }
      progressed = true;
      if (state == engine::StripRender::State::kFailed || !(*it)->ReadRows(&pixels, &error)) {
        const int status = (*it)->Wait();
        failure = status != 0 ? status : 1;
        Say("rows " + std::to_string((*it)->strip().first) + " to " + std::to_string((*it)->strip().last) +
            " failed (status " + std::to_string(status) + ")");
        break;
      }
      const engine::Strip s = (*it)->strip();
      for (int row = s.first; row <= s.last; ++row) {
        const std::int32_t* line = pixels.data() + static_cast<std::size_t>(row - s.first) * width;
        if (ferrix.send) ferrix.send(row, width, line);
        picture.PutRow(row, line);
      }
      ending.push_back(std::move(*it));
      it = running.erase(it);
    }
    if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  running.clear();  // after a failure: the rest is not wanted
  for (auto& run : ending) {
    const int status = run->Wait();
    if (failure == 0 && status != 0) failure = status;
  }
  ending.clear();
  if (failure != 0) ShowLogTail(log);
  // The picture file named by +O lands beside the scene, like the strips.
  if (failure == 0 && !options.output.empty() && !picture.SaveBmp(options.output)) {
    Say("cannot write " + options.output);
  }
  if (logFd >= 0) close(logFd);
  return failure;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Run(argc, argv);
  // The library's ORB is left to the end of the process.
  std::fflush(nullptr);
  _exit(status);
}
