#include "engine/BandRender.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/PpmImage.h"
#include "engine/RowPipe.h"
#include "platform/ChildProcess.h"

namespace engine {
namespace {

constexpr char kPicture[] = "pvengine-band.ppm";

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes the one held and holds `fd`.
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The row pipe from the renderer to the engine, and the descriptors the
// renderer inherits: copies of the pipe's write end and of the log.
struct RowChannel {
  Fd readEnd;
  Fd childWrite;
  Fd childLog;
};

// False, with *error, when the pipe cannot be made.
bool OpenRowChannel(int logFd, RowChannel* channel, std::string* error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  channel->readEnd.Reset(pipeFds[0]);
  Fd writeEnd(pipeFds[1]);
  // Room for many rows, so the renderer seldom waits for the boss.
  fcntl(channel->readEnd.get(), F_SETPIPE_SZ, 1 << 20);
  channel->childWrite.Reset(fcntl(writeEnd.get(), F_DUPFD, 3));
  if (logFd >= 0) channel->childLog.Reset(fcntl(logFd, F_DUPFD, 3));
  return true;
}

// "first last", as the renderer's row hand-over reads its band.
std::string RowRangeText(const farm::WorkUnit& rows) {
  return std::to_string(rows.first) + " " + std::to_string(rows.last);
}

// What both paths start their renderer with. Renderers run as batch work:
// where several share a machine's cores (nodes side by side, a designer's
// desktop), their threads and polling loops then preempt one another less,
// which saves a few percent of CPU.
platform::ChildProcess::Options CommonOptions(const RendererRun& run) {
  platform::ChildProcess::Options options;
  options.batch = true;
  options.env = run.env;
  options.confinement = run.confinement;
  if (run.limits) {
    options.limits = {{RLIMIT_AS, static_cast<rlim_t>(run.limits->memoryMb) << 20},
                      {RLIMIT_FSIZE, static_cast<rlim_t>(run.limits->fileMb) << 20},
                      {RLIMIT_CORE, 0}};
  }
  return options;
}

platform::ChildProcess::Options ExactRowsOptions(const RendererRun& run, const RowChannel& channel,
                                                 const farm::WorkUnit& rows) {
  platform::ChildProcess::Options options = CommonOptions(run);
  options.env["PVENGINE_ROW_FD"] = std::to_string(channel.childWrite.get());
  options.env["PVENGINE_ROW_RANGE"] = RowRangeText(rows);
  options.stdoutFd = options.stderrFd = channel.childLog.get();
  // A Stop ends the engine's process group, the renderer with it; and the
  // renderer must not outlive the engine however else the engine ends.
  options.ownGroup = false;
  options.parentDeathSignal = SIGKILL;
  return options;
}

platform::ChildProcess::Options PreviewTapOptions(const RendererRun& run, const RowChannel& channel,
                                                  const farm::WorkUnit& rows) {
  platform::ChildProcess::Options options = CommonOptions(run);
  std::string preload = run.previewTap.string();
  if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0') preload += std::string(":") + old;
  std::error_code ec;
  options.env.insert({{"LD_PRELOAD", preload},
                      {"SDL_VIDEODRIVER", "dummy"},  // should the real SDL be reached after all
                      {"PVENGINE_TAP_FD", std::to_string(channel.childWrite.get())},
                      {"PVENGINE_TAP_ROWS", RowRangeText(rows)},
                      {"PVENGINE_TAP_PARENT", std::to_string(getpid())},
                      {"PVENGINE_TAP_PICTURE", (std::filesystem::current_path(ec) / kPicture).string()}});
  if (channel.childLog.get() >= 0) options.env["PVENGINE_TAP_LOG"] = std::to_string(channel.childLog.get());
  // In the engine's process group, as with povray-rows: a Stop ends it.
  options.ownGroup = false;
  return options;
}

// Starts the renderer and lets go of the descriptors it inherited; null,
// with *error, when it could not be started.
std::unique_ptr<platform::ChildProcess> StartRenderer(const RendererRun& run,
                                                      const platform::ChildProcess::Options& options,
                                                      RowChannel* channel, std::string* error) {
  auto renderer = platform::ChildProcess::Start(BandRendererArguments(run, kPicture), options, error);
  channel->childWrite.Reset();
  channel->childLog.Reset();
  return renderer;
}

using RecordHandler = std::function<void(std::int32_t row, const std::vector<std::int32_t>& pixels)>;

// Hands every record on the pipe to `handle` until every writer has gone:
// the renderer has ended.
void ReadRecords(int fd, int width, const RecordHandler& handle) {
  RowRecordReader reader(width);
  std::vector<std::int32_t> pixels;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reader.Feed(buffer, static_cast<std::size_t>(n));
    std::int32_t row = 0;
    while (reader.Next(&row, &pixels)) handle(row, pixels);
  }
}

// Ends the renderer once its wall time has passed, unless it has ended
// first (the watch is then dropped).
class WallClockLimit {
 public:
  WallClockLimit(platform::ChildProcess& renderer, const std::optional<RenderLimits>& limits) {
    if (!limits || !limits->wallTime) return;
    thread_ = std::thread([this, &renderer, limit = *limits->wallTime] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
        passed_ = true;
        renderer.Terminate();
      }
    });
  }
  ~WallClockLimit() { Drop(); }
  WallClockLimit(const WallClockLimit&) = delete;
  WallClockLimit& operator=(const WallClockLimit&) = delete;

  // Stops watching; true when the limit had passed.
  bool Drop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    if (thread_.joinable()) thread_.join();
    return passed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  bool passed_ = false;
  std::thread thread_;
};

// Waits for the renderer; its exit status, with *error saying so when not
// 0 (naming the limit that ended it).
int WaitForRenderer(platform::ChildProcess& renderer, const RendererRun& run, WallClockLimit& wallClock,
                    std::string* error) {
  const int status = renderer.Wait();
  const bool pastWallTime = wallClock.Drop();
  if (status != 0) {
    *error = "the renderer ended with status " + std::to_string(status);
    if (pastWallTime) {
      *error = "the renderer ran past its time limit of " + std::to_string(run.limits->wallTime->count()) +
               " s (LUMORA_RENDER_SECONDS)";
    } else if (run.limits && status == 128 + SIGXFSZ) {
      *error = "the renderer wrote a file past its size limit of " + std::to_string(run.limits->fileMb) +
               " MB (LUMORA_RENDER_FILE_MB)";
    }
    std::error_code ec;
    std::filesystem::remove(kPicture, ec);
  }
  return status;
}

// povray-rows: every row of the band comes down the pipe once, exact.
int RenderExactRows(const RendererRun& run, const farm::WorkUnit& rows, const RowSink& sink, std::string* error,
                    BandCounts* counts) {
  RowChannel channel;
  if (!OpenRowChannel(run.logFd, &channel, error)) return 127;
  auto renderer = StartRenderer(run, ExactRowsOptions(run, channel, rows), &channel, error);
  if (!renderer) return 127;
  WallClockLimit wallClock(*renderer, run.limits);
  std::vector<bool> have(static_cast<std::size_t>(rows.rows()), false);
  ReadRecords(channel.readEnd.get(), run.width, [&](std::int32_t row, const std::vector<std::int32_t>& pixels) {
    if (!rows.Contains(row) || static_cast<int>(pixels.size()) != run.width) return;
    have[static_cast<std::size_t>(row - rows.first)] = true;
    ++counts->previewRows;
    sink(row, pixels.data());
  });
  if (const int status = WaitForRenderer(*renderer, run, wallClock, error); status != 0) return status;
  const int missing = static_cast<int>(std::count(have.begin(), have.end(), false));
  if (missing > 0) {
    *error = "the renderer ended, but " + std::to_string(missing) + " of the band's " + std::to_string(rows.rows()) +
             " rows never came";
    return 1;
  }
  return 0;
}

// Debian's povray through the preview tap: what was handed on, and the
// rows from the picture that differ from it.
class TapBand {
 public:
  TapBand(const RendererRun& run, const farm::WorkUnit& rows, const RowSink& sink, BandCounts* counts)
      : run_(run),
        rows_(rows),
        sink_(sink),
        counts_(counts),
        sent_(static_cast<std::size_t>(rows.rows()) * run.width, 0),
        have_(static_cast<std::size_t>(rows.rows()), false) {}

  void OnRecord(std::int32_t row, const std::vector<std::int32_t>& pixels) {
    if (row == kPictureWrittenRow && pixels.empty()) {
      if (!mended_) {
        mended_ = true;
        pictureOk_ = Mend();
        counts_->pictureBeforeExit = pictureOk_;
      }
      return;
    }
    // Once the picture has been read, later preview rows are worth nothing.
    if (mended_ || !rows_.Contains(row) || static_cast<int>(pixels.size()) != run_.width) return;
    const std::size_t index = static_cast<std::size_t>(row - rows_.first);
    std::copy(pixels.begin(), pixels.end(), sent_.begin() + static_cast<std::ptrdiff_t>(index * run_.width));
    have_[index] = true;
    ++counts_->previewRows;
    sink_(row, pixels.data());
  }

  // After the renderer ended well: false when there is no usable picture.
  bool Finish() {
    if (!mended_) pictureOk_ = Mend();
    return pictureOk_;
  }

 private:
  // Hands on, from the picture, every row that differs from what was sent.
  // False when there is no usable picture.
  bool Mend() {
    const std::string data = TakePicture();
    PpmHeader header;
    if (ParsePpmHeader(data, &header) != PpmParse::kOk || header.width != run_.width || header.height != run_.height ||
        data.size() < header.totalBytes()) {
      return false;
    }
    std::vector<std::int32_t> exact(static_cast<std::size_t>(run_.width));
    for (int row = rows_.first; row <= rows_.last; ++row) {
      const auto* src = reinterpret_cast<const unsigned char*>(data.data()) + header.dataOffset +
                        header.rowBytes() * static_cast<std::size_t>(row - 1);
      PpmRowToColorref(src, header, exact.data());
      const std::size_t index = static_cast<std::size_t>(row - rows_.first);
      if (have_[index] &&
          std::equal(exact.begin(), exact.end(), sent_.begin() + static_cast<std::ptrdiff_t>(index * run_.width))) {
        continue;
      }
      ++counts_->correctedRows;
      sink_(row, exact.data());
    }
    return true;
  }

  // The picture file's bytes, read in one go (it holds the whole picture,
  // megabytes of it, and the band's rows wait for it); the file is removed.
  static std::string TakePicture() {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(kPicture, ec);
    std::string data(ec ? 0 : static_cast<std::size_t>(size), '\0');
    std::ifstream in(kPicture, std::ios::binary);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    std::filesystem::remove(kPicture, ec);
    return data;
  }

  const RendererRun& run_;
  const farm::WorkUnit rows_;
  const RowSink& sink_;
  BandCounts* counts_;
  std::vector<std::int32_t> sent_;
  std::vector<bool> have_;
  bool mended_ = false;  // the picture has been read
  bool pictureOk_ = false;
};

int RenderThroughTap(const RendererRun& run, const farm::WorkUnit& rows, const RowSink& sink, std::string* error,
                     BandCounts* counts) {
  RowChannel channel;
  if (!OpenRowChannel(run.logFd, &channel, error)) return 127;
  auto renderer = StartRenderer(run, PreviewTapOptions(run, channel, rows), &channel, error);
  if (!renderer) return 127;
  WallClockLimit wallClock(*renderer, run.limits);
  TapBand band(run, rows, sink, counts);
  ReadRecords(channel.readEnd.get(), run.width,
              [&](std::int32_t row, const std::vector<std::int32_t>& pixels) { band.OnRecord(row, pixels); });
  if (const int status = WaitForRenderer(*renderer, run, wallClock, error); status != 0) return status;
  if (!band.Finish()) {
    *error = "the renderer left no picture of the band";
    return 1;
  }
  return 0;
}

}  // namespace

int BlockSize(int width, int rows) {
  constexpr long kBlockRowPixels = 20480;
  constexpr int kSteps = 8;
  for (int size : {32, 16}) {
    if (static_cast<long>(width) * size <= kBlockRowPixels && size * kSteps <= rows) return size;
  }
  return 8;
}

farm::WorkUnit RendererRows(const farm::WorkUnit& rows, int height) {
  farm::WorkUnit asked = rows;
  if (asked.last == 1 && height > 1) asked.last = 2;
  return asked;
}

std::vector<std::string> BandRendererArguments(const RendererRun& run, const std::string& pictureName) {
  farm::WorkUnit asked = RendererRows(run.rows, run.height);
  int blockSize = BlockSize(run.width, asked.rows());
  if (run.wholePictureBlocks) {
    blockSize = kPovrayBlockSize;
    asked.first = (asked.first - 1) / blockSize * blockSize + 1;
    // A block cut short antialiases its last row against no row below, so
    // that row would differ from the whole picture's: end on a block's end
    // (or the picture's); the rows past the band are traced, never sent.
    asked.last = std::min(run.height, (asked.last + blockSize - 1) / blockSize * blockSize);
  }
  std::vector<std::string> argv = {run.renderer, "+I" + run.sceneFile, "+W" + std::to_string(run.width),
                                   "+H" + std::to_string(run.height), "+SR" + std::to_string(asked.first),
                                   "+ER" + std::to_string(asked.last),
                                   // Options given to the engine come later and win.
                                   "+BS" + std::to_string(blockSize)};
  argv.insert(argv.end(), run.extraOptions.begin(), run.extraOptions.end());
  if (run.exactRows) {
    // Rows leave through the pipe: no display, no pause, no picture file.
    argv.insert(argv.end(), {"-D", "-P", "-F"});
  } else {
    // The preview display is where finished pixels show first; no pause at
    // the end; the exact picture as PPM.
    argv.insert(argv.end(), {"+D", "-P", "+FP", "+O" + pictureName});
  }
  return argv;
}

int RenderBand(const RendererRun& run, const RowSink& sink, std::string* error, BandCounts* counts) {
  BandCounts local;
  if (counts == nullptr) counts = &local;
  *counts = BandCounts();
  const farm::WorkUnit rows{std::max(run.rows.first, 1), std::min(run.rows.last, run.height), run.rows.frame};
  if (rows.empty() || run.width <= 0) {
    *error = "no rows to render";
    return 2;
  }
  std::error_code ec;
  std::filesystem::remove(kPicture, ec);
  return run.exactRows ? RenderExactRows(run, rows, sink, error, counts)
                       : RenderThroughTap(run, rows, sink, error, counts);
}

}  // namespace engine
