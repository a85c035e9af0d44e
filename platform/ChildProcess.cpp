#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
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
      if (c == '\'') quote = 0; else current += c;
      continue;
    }
    if (c == '\\' && i + 1 < line.size() && (quote == 0 || line[i + 1] == '"' || line[i + 1] == '\\')) {
      current += line[++i];
      inArg = true;
      continue;
    }
    if (quote == '"') {
      if (c == '"') quote = 0; else current += c;
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
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + argv0;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return argv0;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    if (error) *error = "empty command line";
    return nullptr;
  }
  const std::string program = ResolveProgram(argv[0]);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The child reports a failed exec through this pipe; a clean exec closes it.
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    if (error) *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  pid_t pid = fork();
  if (pid < 0) {
    int e = errno;
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (error) *error = std::string("fork: ") + std::strerror(e);
    return nullptr;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    close(pipeFds[0]);
    setpgid(0, 0);
    setpriority(PRIO_PROCESS, 0, 0);  // back to the default where allowed
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
    if (error) *error = program + ": " + std::strerror(childErrno);
    return nullptr;
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
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    reaped_ = true;
  }
  return status_;
}

bool ChildProcess::Terminate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reaped_) return false;
  kill(-pid_, SIGKILL);
  return kill(pid_, SIGKILL) == 0;
}

}  // namespace platform
