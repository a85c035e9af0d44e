#include "engine/BandRender.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "engine/PpmImage.h"
#include "engine/RowPipe.h"
#include "engine/StripPlan.h"
#include "platform/ChildProcess.h"

namespace engine {
namespace {

constexpr char kPicture[] = "pvengine-band.ppm";

// Sets an environment variable for the renderer, the only child started
// from here, and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

int BlockSize(int width, int rows) {
  constexpr long kBlockRowPixels = 20480;
  constexpr int kSteps = 8;
  for (int size : {32, 16}) {
    if (static_cast<long>(width) * size <= kBlockRowPixels && size * kSteps <= rows) return size;
  }
  return 8;
}

std::vector<std::string> BandRendererArguments(const BandJob& job, const std::string& pictureName) {
  const Strip asked = RendererRows({job.first, job.last}, job.height);
  std::vector<std::string> argv = {job.renderer, "+I" + job.sceneFile, "+W" + std::to_string(job.width),
                                   "+H" + std::to_string(job.height), "+SR" + std::to_string(asked.first),
                                   "+ER" + std::to_string(asked.last),
                                   // Options given to the engine come later and win.
                                   "+BS" + std::to_string(BlockSize(job.width, asked.rows()))};
  argv.insert(argv.end(), job.extraOptions.begin(), job.extraOptions.end());
  if (job.exactRows) {
    // Rows leave through the pipe: no display, no pause, no picture file.
    argv.insert(argv.end(), {"-D", "-P", "-F"});
  } else {
    // The preview display is where finished pixels show first; no pause at
    // the end; the exact picture as PPM.
    argv.insert(argv.end(), {"+D", "-P", "+FP", "+O" + pictureName});
  }
  return argv;
}

int RenderBand(const BandJob& job, const RowSink& sink, std::string* error, BandCounts* counts) {
  BandCounts local;
  if (counts == nullptr) counts = &local;
  *counts = BandCounts();
  const int first = std::max(job.first, 1);
  const int last = std::min(job.last, job.height);
  const int rows = last - first + 1;
  if (rows <= 0 || job.width <= 0) {
    *error = "no rows to render";
    return 2;
  }
  std::error_code ec;
  std::filesystem::remove(kPicture, ec);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return 127;
  }
  Fd readEnd(pipeFds[0]);
  Fd writeEnd(pipeFds[1]);
  // Room for many rows, so the renderer seldom waits for the boss.
  fcntl(readEnd.get(), F_SETPIPE_SZ, 1 << 20);
  // The renderer inherits copies of the pipe's write end and the log.
  Fd childWrite(fcntl(writeEnd.get(), F_DUPFD, 3));
  writeEnd.Reset();
  Fd childLog(job.logFd >= 0 ? fcntl(job.logFd, F_DUPFD, 3) : -1);

  // Renderers run as batch work: where several share a machine's cores
  // (nodes side by side, a designer's desktop), their threads and polling
  // loops then preempt one another less, which saves a few percent of CPU.
  platform::ChildProcess::Options options;
  options.batch = true;
  std::unique_ptr<platform::ChildProcess> renderer;
  const std::string rowRange = std::to_string(first) + " " + std::to_string(last);
  if (job.exactRows) {
    ScopedEnv f("PVENGINE_ROW_FD", std::to_string(childWrite.get()));
    ScopedEnv r("PVENGINE_ROW_RANGE", rowRange);
    options.stdoutFd = options.stderrFd = childLog.get();
    // A Stop ends the engine's process group, the renderer with it; and the
    // renderer must not outlive the engine however else the engine ends.
    options.ownGroup = false;
    options.parentDeathSignal = SIGKILL;
    renderer = platform::ChildProcess::Start(BandRendererArguments(job, kPicture), options, error);
  } else {
    std::string preload = job.previewTap.string();
    if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0') preload += std::string(":") + old;
    ScopedEnv p("LD_PRELOAD", preload);
    ScopedEnv v("SDL_VIDEODRIVER", "dummy");  // should the real SDL be reached after all
    ScopedEnv f("PVENGINE_TAP_FD", std::to_string(childWrite.get()));
    ScopedEnv r("PVENGINE_TAP_ROWS", rowRange);
    ScopedEnv parent("PVENGINE_TAP_PARENT", std::to_string(getpid()));
    ScopedEnv picture("PVENGINE_TAP_PICTURE", (std::filesystem::current_path(ec) / kPicture).string());
    std::unique_ptr<ScopedEnv> log;
    if (childLog.get() >= 0) log = std::make_unique<ScopedEnv>("PVENGINE_TAP_LOG", std::to_string(childLog.get()));
    renderer = platform::ChildProcess::Start(BandRendererArguments(job, kPicture), options, error);
  }
  childWrite.Reset();
  childLog.Reset();
  if (!renderer) return 127;

  // What was handed on, to compare with the picture (there is none with
  // exact rows).
  std::vector<std::int32_t> sent(job.exactRows ? 0 : static_cast<std::size_t>(rows) * job.width, 0);
  std::vector<bool> have(static_cast<std::size_t>(rows), false);
  // Hands on, from the picture, every row that differs from what was sent.
  // False when there is no usable picture.
  auto mend = [&]() {
    // In one read: the file holds the whole picture, megabytes of it, and
    // the band's rows wait for it.
    const std::uintmax_t size = std::filesystem::file_size(kPicture, ec);
    std::string data(ec ? 0 : static_cast<std::size_t>(size), '\0');
    std::ifstream in(kPicture, std::ios::binary);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    std::filesystem::remove(kPicture, ec);
    PpmHeader header;
    if (ParsePpmHeader(data, &header) != PpmParse::kOk || header.width != job.width || header.height != job.height ||
        data.size() < header.totalBytes()) {
      return false;
    }
    std::vector<std::int32_t> exact(static_cast<std::size_t>(job.width));
    for (int row = first; row <= last; ++row) {
      const auto* src = reinterpret_cast<const unsigned char*>(data.data()) + header.dataOffset +
                        header.rowBytes() * static_cast<std::size_t>(row - 1);
      PpmRowToColorref(src, header, exact.data());
      const std::size_t index = static_cast<std::size_t>(row - first);
      if (have[index] &&
          std::equal(exact.begin(), exact.end(), sent.begin() + static_cast<std::ptrdiff_t>(index * job.width))) {
        continue;
      }
      ++counts->correctedRows;
      sink(row, exact.data());
    }
    return true;
  };

  bool mended = false;  // the picture has been read: later preview rows are worth nothing
  bool pictureOk = false;
  RowRecordReader reader(job.width);
  std::vector<std::int32_t> pixels;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(readEnd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // every writer has gone: the renderer has ended
    reader.Feed(buffer, static_cast<std::size_t>(n));
    std::int32_t row = 0;
    while (reader.Next(&row, &pixels)) {
      if (row == kPictureWrittenRow && pixels.empty() && !job.exactRows) {
        if (!mended) {
          mended = true;
          pictureOk = mend();
          counts->pictureBeforeExit = pictureOk;
        }
        continue;
      }
      if (mended || row < first || row > last || static_cast<int>(pixels.size()) != job.width) continue;
      const std::size_t index = static_cast<std::size_t>(row - first);
      if (!job.exactRows) {
        std::copy(pixels.begin(), pixels.end(), sent.begin() + static_cast<std::ptrdiff_t>(index * job.width));
      }
      have[index] = true;
      ++counts->previewRows;
      sink(row, pixels.data());
    }
  }
  const int status = renderer->Wait();
  if (status != 0) {
    *error = "the renderer ended with status " + std::to_string(status);
    std::filesystem::remove(kPicture, ec);
    return status;
  }
  if (job.exactRows) {
    const int missing = static_cast<int>(std::count(have.begin(), have.end(), false));
    if (missing > 0) {
      *error = "the renderer ended, but " + std::to_string(missing) + " of the band's " + std::to_string(rows) +
               " rows never came";
      return 1;
    }
    return 0;
  }
  if (!mended) pictureOk = mend();
  if (!pictureOk) {
    *error = "the renderer left no picture of the band";
    return 1;
  }
  return 0;
}

}  // namespace engine
