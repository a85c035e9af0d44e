#include "engine/EngineRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "engine/BandPicture.h"
#include "engine/BandRender.h"
#include "engine/ProgressFile.h"
#include "engine/RendererPolicy.h"
#include "engine/RowTransfer.h"
#include "idl/RenderOptions.h"
#include "idl/WellKnownNames.h"
#include "platform/ChildProcess.h"
#include "platform/MessageBox.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

void Say(const std::string& line) { platform::WriteMessageToStderr("pvengine: " + line); }

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

// For benchmarks: with PVENGINE_ROW_TIMES naming a file, one line per row
// handed on is appended to it: "<engine pid> <steady clock ns> <row>".
class RowTimes {
 public:
  RowTimes() {
    if (const char* file = std::getenv("PVENGINE_ROW_TIMES")) {
      fd_ = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
  }
  ~RowTimes() {
    if (fd_ >= 0) close(fd_);
  }
  RowTimes(const RowTimes&) = delete;
  RowTimes& operator=(const RowTimes&) = delete;
  void Note(int row) {
    if (fd_ < 0) return;
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    const std::string line = std::to_string(getpid()) + " " + std::to_string(ns) + " " + std::to_string(row) + "\n";
    ssize_t ignored = write(fd_, line.data(), line.size());
    (void)ignored;
  }

 private:
  int fd_ = -1;
};

std::string CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f",
                u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6);
  return text;
}

}  // namespace

bool ResolveBand(const EngineOptions& options, bool haveRecord, int recFirst, int recLast, int recHeight, Band* band) {
  const int height = options.height.value_or(haveRecord && recHeight > 0 ? recHeight : 480);
  const int width = options.width.value_or(640);
  const std::optional<int> first = options.startRow ? ResolveRow(*options.startRow, height, false)
                                                    : std::optional<int>(haveRecord ? std::max(recFirst, 1) : 1);
  const std::optional<int> last =
      options.endRow ? ResolveRow(*options.endRow, height, true) : std::optional<int>(haveRecord ? recLast : height);
  if (!first || !last) return false;
  band->width = width;
  band->height = height;
  band->rows = {std::max(*first, 1), std::min(*last, height), std::nullopt};
  return true;
}

namespace {

// The renderer run for `band` of the scene file `sceneFile` (in the current
// folder).
RendererRun RunFor(const EngineSetup& setup, const EngineOptions& options, const Band& band,
                   const std::string& sceneFile, int logFd) {
  RendererRun run;
  run.renderer = setup.renderer;
  run.exactRows = setup.exactRows;
  run.previewTap = setup.folder / "libpvpreview.so";
  run.sceneFile = sceneFile;
  run.width = band.width;
  run.height = band.height;
  run.rows = band.rows;
  run.logFd = logFd;
  if (options.startColumn) run.extraOptions.push_back("+SC" + *options.startColumn);
  if (options.endColumn) run.extraOptions.push_back("+EC" + *options.endColumn);
  if (options.alpha) run.extraOptions.push_back("+UA");
  run.extraOptions.insert(run.extraOptions.end(), options.passThrough.begin(), options.passThrough.end());
  return run;
}

bool Unconfined() {
  const char* unconfined = std::getenv("LUMORA_UNCONFINED");
  return unconfined != nullptr && std::string(unconfined) == "1";
}

// Confines `run` to the job folder, with the farm's configuration and the
// operator's limits; fails, saying why, when the band must not render.
// Without Landlock the band renders unconfined only with
// LUMORA_UNCONFINED=1, which is said on every band.
platform::Status ConfineRun(const EngineSetup& setup, const fs::path& jobFolder, RendererRun* run,
                            std::unique_ptr<platform::Confinement>* confinement) {
  auto limits = RenderLimitsFromEnvironment();
  if (!limits) return limits.status();
  run->limits = *limits;
  const fs::path home = setup.folder / "renderer-home";
  auto env = WriteRendererConfiguration(home, jobFolder);
  if (!env) return env.status();
  run->env = *env;
  // The node's TLS key is the row sender's (this process's ORB) alone: the
  // renderer is not told where it lies, and its rules do not let it read it.
  run->env["LUMORA_TLS_KEY"] = "";
  run->env["LUMORA_TLS_CA"] = "";
  const fs::path program = platform::ResolveProgram(setup.renderer);
  auto made = platform::Confinement::Prepare(
      RendererRules(program, jobFolder, home, run->exactRows ? fs::path() : run->previewTap));
  if (made) {
    *confinement = std::move(made).value();
    run->confinement = confinement->get();
    return platform::Status::Ok();
  }
  if (!Unconfined()) {
    return platform::Status::Error("the renderer cannot be confined, so this node renders nothing: " +
                                   made.status().reason() + " (LUMORA_UNCONFINED=1 renders without confinement)");
  }
  Say("rendering UNCONFINED (LUMORA_UNCONFINED=1): only povray's own file security keeps the scene in its job "
      "folder: " +
      made.status().reason());
  return platform::Status::Ok();
}

// Says why the band failed, on stderr and to the node (kEngineFailureName),
// marked when the scene itself is wrong.
void Fail(const EngineSetup& setup, const std::string& why, bool sceneWrong = false) {
  Say(why);
  std::ofstream out(setup.folder / farm::kEngineFailureName, std::ios::trunc);
  out << why << "\n";
  if (sceneWrong) out << farm::kSceneWrongWord << "\n";
}

// The reason for a failed renderer run: `error`, and the memory limit when
// the renderer's log says it ran out of memory.
std::string FailureReason(const std::string& error, const RendererRun& run, const fs::path& log) {
  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (run.limits && (text.find("bad_alloc") != std::string::npos || text.find("out of memory") != std::string::npos ||
                     text.find("Out of memory") != std::string::npos)) {
    return error + ": out of memory within its limit of " + std::to_string(run.limits->memoryMb) +
           " MB (LUMORA_RENDER_MEMORY_MB)";
  }
  return error;
}

}  // namespace

std::optional<std::string> SceneError(const std::string& log) {
  if (log.find("Fatal error in parser") == std::string::npos) return std::nullopt;
  // povray wraps its message: "File 'a.pov' line 4: Parse Error: ..." and
  // continuation lines that start with a blank.
  std::size_t at = std::string::npos;
  for (std::size_t from = 0; (from = log.find("Parse Error:", from)) != std::string::npos; ++from) {
    const std::size_t lineStart = log.rfind('\n', from);
    const std::size_t begin = lineStart == std::string::npos ? 0 : lineStart + 1;
    if (log.compare(begin, 5, "File ") == 0 && log.compare(from > 9 ? from - 9 : from, 9, "Possible ") != 0) {
      at = begin;
      break;
    }
    if (at == std::string::npos) at = begin;
  }
  if (at == std::string::npos) return std::string("the scene does not parse (povray: Fatal error in parser)");
  std::string message;
  std::size_t pos = at;
  for (bool first = true; pos < log.size(); first = false) {
    std::size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    if (!first && (line.empty() || line[0] != ' ')) break;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const std::size_t lead = line.find_first_not_of(' ');
    if (lead == std::string::npos) break;
    message += (first ? "" : " ") + line.substr(lead);
    pos = end + 1;
  }
  return message;
}

namespace {

// The run's summary line in the log.
void LogCounts(int logFd, bool exactRows, const BandCounts& counts) {
  if (logFd < 0) return;
  const std::string line = "pvengine: " + std::string(exactRows ? "povray-rows, " : "povray with the preview tap, ") +
                           std::to_string(counts.previewRows) + " rows as rendered, " +
                           std::to_string(counts.correctedRows) + " from the picture" +
                           (counts.pictureBeforeExit ? " (read as soon as written)" : "") + "; cpu s: engine " +
                           CpuSeconds(RUSAGE_SELF) + ", renderer " + CpuSeconds(RUSAGE_CHILDREN) + "\n";
  ssize_t ignored = write(logFd, line.data(), line.size());
  (void)ignored;
}

}  // namespace

namespace {

// A user's scene: the farm options file `optionsFile` in the package
// folder, checked again here (a package comes from anyone on the network).
// Sets the scene to render and adds the options to `run`'s.
struct UserScene {
  fs::path packageFolder;
  fs::path scene;  // absolute, inside the package
  std::vector<std::string> options;
};

platform::StatusOr<UserScene> ReadUserScene(const fs::path& optionsFile) {
  std::ifstream in(optionsFile, std::ios::binary);
  if (!in) return platform::Status::Error("cannot read " + optionsFile.string());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  platform::StatusOr<farm::RenderOptions> parsed = farm::ParseFarmOptions(text);
  if (!parsed) return platform::Status::Error("the package's options are refused: " + parsed.status().reason());
  UserScene scene;
  scene.packageFolder = optionsFile.parent_path();
  scene.scene = scene.packageFolder / parsed->inputFile;
  scene.options = farm::RendererArguments(*parsed);
  for (const std::string& library : parsed->libraryPaths) {
    scene.options.push_back("+L" + (scene.packageFolder / library).lexically_normal().string());
  }
  return scene;
}

}  // namespace

int RunEngine(const std::vector<std::string>& args, const EngineSetup& setup) {
  EngineOptions options;
  std::string error;
  if (!ParseEngineCommandLine(args, &options, &error)) {
    Say(error);
    return 2;
  }
  // The package of a user's scene names its scene and options in the farm
  // options file, which the node gives in place of the scene.
  std::optional<UserScene> userScene;
  if (fs::path(options.scene).filename() == farm::kFarmOptionsFile) {
    platform::StatusOr<UserScene> read = ReadUserScene(fs::absolute(options.scene));
    if (!read) {
      Fail(setup, read.status().reason());
      return 2;
    }
    userScene = *read;
    options.scene = userScene->scene.string();
    options.passThrough.insert(options.passThrough.end(), userScene->options.begin(), userScene->options.end());
  }
  RowTransfer rows;
  if (!rows.Load(setup.folder / "libferrix.so", &error)) Say("rows will not be sent: " + error);
  rows.Init();

  // The command line names the band; the job record stands in for what it
  // leaves out.
  std::int32_t recFirst = 0, recLast = 0, recHeight = 0;
  const bool haveRecord = rows.GetBegin(&recFirst, &recLast, &recHeight);
  Band band;
  if (!ResolveBand(options, haveRecord, recFirst, recLast, recHeight, &band)) {
    Say("bad row option");
    return 2;
  }

  // povray reads the scene and its pictures relative to the scene's folder,
  // and may write only there.
  const fs::path scene = fs::absolute(options.scene);
  if (chdir(scene.parent_path().c_str()) != 0) {
    Say("cannot enter " + scene.parent_path().string());
    return 2;
  }
  const fs::path log = fs::absolute("pvengine.log");
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

  RendererRun run = RunFor(setup, options, band, scene.filename().string(), logFd);
  // A user's picture is compared with povray's own; the scene maker's keep
  // the smaller blocks that hand rows on sooner.
  run.wholePictureBlocks = userScene.has_value();
  std::unique_ptr<platform::Confinement> confinement;
  // A user's scene may reach its whole package: its library folders lie
  // beside the scene's folder.
  const fs::path jobFolder = userScene ? userScene->packageFolder : fs::current_path();
  if (const platform::Status confined = ConfineRun(setup, jobFolder, &run, &confinement); !confined) {
    Fail(setup, confined.reason());
    if (logFd >= 0) close(logFd);
    return 2;
  }
  BandPicture picture(band.width, band.height);
  BandCounts counts;
  RowTimes times;
  ProgressFile progress(setup.folder, band.rows.first, band.rows.last);
  const int status = RenderBand(
      run,
      [&](int row, const std::int32_t* colorref) {
        rows.Send(row, band.width, colorref);
        times.Note(row);
        progress.RowSent(row);
        picture.PutRow(row, colorref);
      },
      &error, &counts);
  progress.Finish();
  LogCounts(logFd, run.exactRows, counts);
  if (status != 0) {
    std::ifstream logIn(log);
    const std::string logText((std::istreambuf_iterator<char>(logIn)), std::istreambuf_iterator<char>());
    // Out of memory within this node's limit is this node's, not the scene's.
    const std::string reason = FailureReason(error, run, log);
    const std::optional<std::string> wrong = reason == error ? SceneError(logText) : std::nullopt;
    if (wrong) {
      Fail(setup, *wrong + " (" + error + ")", true);
    } else {
      Fail(setup, reason);
    }
    ShowLogTail(log);
  } else if (!options.output.empty() && !picture.SaveBmp(options.output)) {
    Say("cannot write " + options.output);
  }
  if (logFd >= 0) close(logFd);
  return status;
}

}  // namespace engine
