#include "engine/StripRender.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

extern char** environ;

namespace engine {

std::vector<std::string> RendererArguments(const StripJob& job, const Strip& strip, const std::string& pictureName) {
  const Strip asked = RendererRows(strip, job.height);
  std::vector<std::string> argv = {job.renderer,
                                   "+I" + job.sceneFile,
                                   "+W" + std::to_string(job.width),
                                   "+H" + std::to_string(job.height),
                                   "+SR" + std::to_string(asked.first),
                                   "+ER" + std::to_string(asked.last)};
  argv.insert(argv.end(), job.extraOptions.begin(), job.extraOptions.end());
  // No display, no pause, a PPM picture into the current folder.
  argv.insert(argv.end(), {"-D", "-P", "+FP", "+O" + pictureName});
  return argv;
}

std::unique_ptr<StripRender> StripRender::Start(const StripJob& job, const Strip& strip, int index,
                                                std::string* error) {
  const std::string pictureName = "pvengine-strip" + std::to_string(index) + ".ppm";
  std::error_code ec;
  std::filesystem::remove(pictureName, ec);
  const std::vector<std::string> args = RendererArguments(job, strip, pictureName);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (job.logFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, job.logFd, 1);
    posix_spawn_file_actions_adddup2(&actions, job.logFd, 2);
  }
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, job.renderer.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    *error = job.renderer + ": " + std::strerror(rc);
    return nullptr;
  }
  return std::unique_ptr<StripRender>(new StripRender(job, strip, pid, std::filesystem::absolute(pictureName)));
}

StripRender::StripRender(const StripJob& job, const Strip& strip, pid_t pid, std::filesystem::path picture)
    : job_(job), strip_(strip), pid_(pid), picture_(std::move(picture)) {}

StripRender::~StripRender() {
  if (!status_) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  // povray keeps its render state beside the picture, named after it, and
  // removes it only when it ends cleanly.
  std::error_code ec;
  std::filesystem::path state = picture_;
  std::filesystem::remove(state.replace_extension(".pov-state"), ec);
  std::filesystem::remove(picture_, ec);
}

bool StripRender::Reap(bool block) {
  if (status_) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
  return true;
}

StripRender::State StripRender::Poll() {
  // Reap first: a picture is judged complete only from what is on disk
  // after the check below, so an ending renderer cannot be missed.
  const bool ended = Reap(false);
  struct stat st{};
  const bool exists = ::stat(picture_.c_str(), &st) == 0;
  if (exists && !headerKnown_ && st.st_size > 0) {
    std::ifstream in(picture_, std::ios::binary);
    std::string head(512, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    switch (ParsePpmHeader(head, &header_)) {
      case PpmParse::kOk:
        if (header_.width != job_.width || header_.height != job_.height) return State::kFailed;
        headerKnown_ = true;
        break;
      case PpmParse::kBad:
        return State::kFailed;
      case PpmParse::kNeedMore:
        break;
    }
  }
  if (headerKnown_ && exists && static_cast<std::size_t>(st.st_size) >= header_.totalBytes()) {
    return State::kPictureReady;
  }
  return ended ? State::kFailed : State::kRunning;
}

bool StripRender::ReadRows(std::vector<std::int32_t>* pixels, std::string* error) {
  std::ifstream in(picture_, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!headerKnown_ || data.size() < header_.totalBytes()) {
    *error = picture_.string() + ": incomplete picture";
    return false;
  }
  const int w = header_.width;
  pixels->assign(static_cast<std::size_t>(strip_.rows()) * w, 0);
  for (int row = strip_.first; row <= strip_.last; ++row) {
    const auto* src = reinterpret_cast<const unsigned char*>(data.data()) + header_.dataOffset +
                      header_.rowBytes() * static_cast<std::size_t>(row - 1);
    PpmRowToColorref(src, header_, pixels->data() + static_cast<std::size_t>(row - strip_.first) * w);
  }
  // A whole-size picture per run would otherwise pile up on disk until the
  // band ends.
  std::error_code ec;
  std::filesystem::remove(picture_, ec);
  return true;
}

int StripRender::Wait() {
  Reap(true);
  return *status_;
}

}  // namespace engine
