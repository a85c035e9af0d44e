#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::string current;
  bool inArg = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        current += c;
      continue;
    }
    if (c == '\\' && i + 1 < line.size() && (quote == 0 || line[i + 1] == '"' || line[i + 1] == '\\')) {
      current += line[++i];
      inArg = true;
      continue;
    }
    if (quote == '"') {
      if (c == '"')
        quote = 0;
      else
        current += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      inArg = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
    } else {
      current += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(std::move(current));
  return args;
}

namespace {

// The program file to execute: argv0 itself when it names a path, else the
// first executable match in PATH.
std::string ResolveProgram(const std::string& argv0) {
  if (argv0.find('/') != std::string::npos) return argv0;
  const char* pathEnv = std::getenv("PATH");
  std::string path = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string candidate = (end == start ? std::string(".") : path.substr(start, end - start)) + "/" + argv0;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return argv0;
}

// The exit status rule of this class.
int StatusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1; }

// A descriptor closed on scope exit.
struct OwnedFd {
  int fd = -1;
  ~OwnedFd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, std::string* error) {
  return Start(argv, Options(), error);
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, const Options& options,
                                                  std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<ChildProcess>();
  };
  if (argv.empty() || argv[0].empty()) return fail("empty command line");
  const std::string program = ResolveProgram(argv[0]);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  OwnedFd output;
  if (!options.outputFile.empty() && (options.stdoutFd < 0 || options.stderrFd < 0)) {
    output.fd = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output.fd < 0) return fail(options.outputFile.string() + ": " + std::strerror(errno));
  }
  // Copies above 2, so that placing one on 0, 1 or 2 in the child cannot
  // overwrite another before it is placed.
  OwnedFd standard[3];
  const int wanted[3] = {options.stdinFd, options.stdoutFd >= 0 ? options.stdoutFd : output.fd,
                         options.stderrFd >= 0 ? options.stderrFd : output.fd};
  for (int i = 0; i < 3; ++i) {
    if (wanted[i] < 0) continue;
    standard[i].fd = fcntl(wanted[i], F_DUPFD_CLOEXEC, 3);
    if (standard[i].fd < 0) return fail(std::string("fcntl: ") + std::strerror(errno));
  }

  // The child reports a failed exec through this pipe; a clean exec closes it.
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return fail(std::string("pipe: ") + std::strerror(errno));
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    int e = errno;
    close(pipeFds[0]);
    close(pipeFds[1]);
    return fail(std::string("fork: ") + std::strerror(e));
  }
  if (pid == 0) {
    // The parent may have threads: only async-signal-safe calls from here on.
    close(pipeFds[0]);
    if (options.ownGroup) setpgid(0, 0);
    if (options.parentDeathSignal != 0) {
      prctl(PR_SET_PDEATHSIG, options.parentDeathSignal);
      if (getppid() != parent) _exit(127);  // it died before the request took hold
    }
    for (int i = 0; i < 3; ++i) {
      if (standard[i].fd >= 0) dup2(standard[i].fd, i);
    }
    setpriority(PRIO_PROCESS, 0, options.nice);  // where allowed
    if (options.batch) {
      const sched_param none = {};
      sched_setscheduler(0, SCHED_BATCH, &none);
    }
    if (options.defaultSignals) {
      struct sigaction dfl = {};
      dfl.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(program.c_str(), args.data(), environ);
    int e = errno;
    ssize_t ignored = write(pipeFds[1], &e, sizeof e);
    (void)ignored;
    _exit(127);
  }
  close(pipeFds[1]);
  int childErrno = 0;
  ssize_t n;
  do {
    n = read(pipeFds[0], &childErrno, sizeof childErrno);
  } while (n < 0 && errno == EINTR);
  close(pipeFds[0]);
  if (n == static_cast<ssize_t>(sizeof childErrno)) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return fail(program + ": " + std::strerror(childErrno));
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() {
  // Reap a child that already ended so that it leaves no zombie; one that
  // still runs is left running (the owner chose not to wait).
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reaped_) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  }
}

int ChildProcess::Wait() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return status_;
  }
  // Wait without reaping, so that the pid cannot be reused while Terminate()
  // may still signal it; reap under the lock.
  siginfo_t info{};
  while (waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reaped_) {
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) status_ = StatusOf(status);
    reaped_ = true;
  }
  return status_;
}

bool ChildProcess::ReapLocked(int options, bool* stopped) {
  if (reaped_) return true;
  int raw = 0;
  const pid_t r = waitpid(pid_, &raw, options | (stopped ? WUNTRACED : 0));
  if (r != pid_) return false;
  if (WIFSTOPPED(raw)) {
    if (stopped) *stopped = true;
    return false;
  }
  status_ = StatusOf(raw);
  reaped_ = true;
  return true;
}

std::optional<int> ChildProcess::Poll() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ReapLocked(WNOHANG, nullptr)) return status_;
  return std::nullopt;
}

bool ChildProcess::PollStopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool stopped = false;
  ReapLocked(WNOHANG, &stopped);
  return stopped;
}

bool ChildProcess::Signal(int sig) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reaped_) return false;
  return kill(pid_, sig) == 0;
}

bool ChildProcess::Terminate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reaped_) return false;
  kill(-pid_, SIGKILL);
  return kill(pid_, SIGKILL) == 0;
}

}  // namespace platform
