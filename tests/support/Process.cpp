#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
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
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (logFd < 0) return fail(log.string() + ": " + std::strerror(errno));
  const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  // The child reports a failed exec through this pipe; a successful exec
  // closes it.
  int report[2];
  if (nullFd < 0 || pipe2(report, O_CLOEXEC) != 0) {
    const int e = errno;
    close(logFd);
    if (nullFd >= 0) close(nullFd);
    return fail(std::string("cannot start: ") + std::strerror(e));
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The test process has threads: only async-signal-safe calls here.
    setpgid(0, 0);
    // A test that dies without running its destructors (an abort, a time-out
    // of the test runner) must not leave its farm running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(nullFd, 0);
    dup2(logFd, 1);
    dup2(logFd, 2);
    // Default dispositions and an empty mask, whatever the test process set.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(args[0], args.data(), environ);
    const int e = errno;
    (void)!write(report[1], &e, sizeof(e));
    _exit(127);
  }
  const int forkError = errno;
  close(report[1]);
  close(logFd);
  close(nullFd);
  if (pid < 0) {
    close(report[0]);
    return fail(std::string("fork: ") + std::strerror(forkError));
  }
  // Also here, so that killing the group right away cannot miss the child.
  setpgid(pid, pid);
  int execError = 0;
  ssize_t n;
  do {
    n = read(report[0], &execError, sizeof(execError));
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof(execError))) {
    waitpid(pid, nullptr, 0);
    return fail(argv[0] + ": " + std::strerror(execError));
  }
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
