#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "tests/support/TestEnv.h"

extern char** environ;

namespace farmtest {

std::unique_ptr<Process> Process::Start(const std::vector<std::string>& argv, const std::filesystem::path& log,
                                        std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<Process>();
  };
  if (argv.empty()) return fail("empty command line");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Children get the default signal dispositions and an empty mask, whatever
  // the test process blocked.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return fail(argv[0] + ": " + std::strerror(rc));
  return std::unique_ptr<Process>(new Process(pid, log));
}

Process::~Process() {
  Kill();
  // SIGKILL cannot be ignored; bound the wait all the same.
  WaitExit(std::chrono::seconds(10));
}

void Process::Signal(int sig) {
  if (!status_) kill(pid_, sig);
}

bool Process::Suspend(std::chrono::milliseconds timeout) {
  if (status_) return false;
  if (kill(pid_, SIGSTOP) != 0) return false;
  // The parent hears of a stop only once the whole group has stopped.
  bool stopped = false;
  WaitUntil(
      [&] {
        int raw = 0;
        pid_t r = waitpid(pid_, &raw, WNOHANG | WUNTRACED);
        if (r == pid_ && WIFSTOPPED(raw)) {
          stopped = true;
        } else if (r == pid_) {
          status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
        return stopped || status_.has_value();
      },
      timeout, std::chrono::milliseconds(5));
  return stopped;
}

void Process::Kill() {
  if (status_) return;
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
}

bool Process::Reap(int options) {
  if (status_) return true;
  int raw = 0;
  pid_t r = waitpid(pid_, &raw, options);
  if (r != pid_) return false;
  if (WIFEXITED(raw)) {
    status_ = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    status_ = 128 + WTERMSIG(raw);
  } else {
    return false;  // stopped or continued: still there
  }
  return true;
}

std::optional<int> Process::WaitExit(std::chrono::milliseconds timeout) {
  WaitUntil([&] { return Reap(WNOHANG); }, timeout, std::chrono::milliseconds(10));
  return status_;
}

bool Process::Running() { return !Reap(WNOHANG); }

std::string Process::Output() const { return ReadFile(log_); }

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeout);
}

}  // namespace farmtest
