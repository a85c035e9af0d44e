#pragma once
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments as a shell user expects, without
// running a shell: blanks separate arguments, "..." and '...' keep blanks,
// a backslash outside single quotes takes the next character literally.
// No variable, glob or tilde expansion.
std::vector<std::string> SplitCommandLine(const std::string& line);

// One started program. The child runs in a process group of its own, so
// Terminate() also ends what it started (an engine's renderer, say). The
// child is started at the default nice value where the caller may set it,
// even when the calling thread runs at the lowest priority.
class ChildProcess {
 public:
  // Starts argv[0] (looked up in PATH when it has no '/') with the given
  // arguments, inheriting environment and current folder. Returns null and
  // fills *error when the program cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, std::string* error);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Blocks until the process ends. Returns its exit status, or 128 + signal
  // number when a signal ended it. Later calls return the same value.
  int Wait();

  // Ends the process and its group at once (SIGKILL). Safe from any thread,
  // before, during or after Wait(); answers false when it had already ended.
  bool Terminate();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}

  const pid_t pid_;
  std::mutex mutex_;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace platform
