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
#include <map>

#include "platform/Confinement.h"
#include "platform/Status.h"

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

namespace {

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

namespace {

// The child's environment: the caller's, with `overrides` set.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (overrides.count(text.substr(0, text.find('='))) == 0) entries.push_back(text);
  }
  for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
  return entries;
}

// A null-terminated vector of pointers into `strings`, for exec.
std::vector<char*> CStrings(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const auto& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Everything the child needs, made before the fork: the parent may have
// threads, so the child may make only async-signal-safe calls.
struct Launch {
  std::string program;
  std::vector<std::string> envStrings;
  OwnedFd output;
  // Copies above 2, so that placing one on 0, 1 or 2 in the child cannot
  // overwrite another before it is placed.
  OwnedFd standard[3];
};

// Opens the output file and copies the standard descriptors.
Status PrepareDescriptors(const ChildProcess::Options& options, Launch* launch) {
  if (!options.outputFile.empty() && (options.stdoutFd < 0 || options.stderrFd < 0)) {
    launch->output.fd = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (launch->output.fd < 0) return Status::Error(options.outputFile.string() + ": " + std::strerror(errno));
  }
  const int wanted[3] = {options.stdinFd, options.stdoutFd >= 0 ? options.stdoutFd : launch->output.fd,
                         options.stderrFd >= 0 ? options.stderrFd : launch->output.fd};
  for (int i = 0; i < 3; ++i) {
    if (wanted[i] < 0) continue;
    launch->standard[i].fd = fcntl(wanted[i], F_DUPFD_CLOEXEC, 3);
    if (launch->standard[i].fd < 0) return Status::Error(std::string("fcntl: ") + std::strerror(errno));
  }
  return Status::Ok();
}

// What the child reports when it cannot exec: which step failed, and errno.
struct ChildFailure {
  enum Step : int { kExec, kLimit, kConfine } step;
  int error;
};

[[noreturn]] void ReportAndExit(int reportFd, ChildFailure failure) {
  ssize_t ignored = write(reportFd, &failure, sizeof failure);
  (void)ignored;
  _exit(127);
}

// In the child: applies the options and execs; on failure reports to
// `reportFd` and exits 127. Only async-signal-safe calls.
[[noreturn]] void RunChild(const ChildProcess::Options& options, const Launch& launch, char* const* args,
                           char* const* envp, pid_t parent, int reportFd) {
  if (options.ownGroup) setpgid(0, 0);
  if (options.parentDeathSignal != 0) {
    prctl(PR_SET_PDEATHSIG, options.parentDeathSignal);
    if (getppid() != parent) _exit(127);  // it died before the request took hold
  }
  for (int i = 0; i < 3; ++i) {
    if (launch.standard[i].fd >= 0) dup2(launch.standard[i].fd, i);
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
  for (const ChildProcess::Options::Limit& limit : options.limits) {
    const rlimit value = {limit.value, limit.value};
    if (setrlimit(limit.resource, &value) != 0) ReportAndExit(reportFd, {ChildFailure::kLimit, errno});
  }
  if (options.confinement != nullptr) {
    if (const int error = options.confinement->ApplyInChild(); error != 0) {
      ReportAndExit(reportFd, {ChildFailure::kConfine, error});
    }
  }
  execve(launch.program.c_str(), args, envp);
  ReportAndExit(reportFd, {ChildFailure::kExec, errno});
}

// In the parent: why the child could not exec, ok after a clean exec
// (which closed the pipe). Reaps a child that failed.
Status AwaitExec(pid_t pid, int readFd, const std::string& program) {
  ChildFailure failure{};
  ssize_t n;
  do {
    n = read(readFd, &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  close(readFd);
  if (n != static_cast<ssize_t>(sizeof failure)) return Status::Ok();
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const char* step = failure.step == ChildFailure::kLimit     ? "cannot set a resource limit for "
                     : failure.step == ChildFailure::kConfine ? "cannot confine "
                                                              : "";
  return Status::Error(step + program + ": " + std::strerror(failure.error));
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, const Options& options,
                                                  std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<ChildProcess>();
  };
  if (argv.empty() || argv[0].empty()) return fail("empty command line");
  Launch launch;
  launch.program = ResolveProgram(argv[0]);
  launch.envStrings = ChildEnvironment(options.env);
  const std::vector<char*> args = CStrings(argv);
  const std::vector<char*> envp = CStrings(launch.envStrings);
  if (const Status prepared = PrepareDescriptors(options, &launch); !prepared) return fail(prepared.reason());

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
    close(pipeFds[0]);
    RunChild(options, launch, args.data(), envp.data(), parent, pipeFds[1]);
  }
  close(pipeFds[1]);
  if (const Status started = AwaitExec(pid, pipeFds[0], launch.program); !started) return fail(started.reason());
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
