#pragma once
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"

namespace farmtest {

// One program started by a test, with standard output and standard error
// going to a log file. It runs in a process group of its own; destroying the
// object kills the group (SIGKILL) and reaps the program, so nothing a test
// starts outlives it, also when an assertion fails half-way. Should the test
// process die without cleaning up, the program is killed with it: it gets
// SIGKILL when the thread that started it ends, so start programs from the
// test's own thread, not from a short-lived helper.
class Process {
 public:
  // Starts argv[0] (a path) with the test's environment. Returns null and
  // fills *error when it cannot be started.
  static std::unique_ptr<Process> Start(const std::vector<std::string>& argv, const std::filesystem::path& log,
                                        std::string* error = nullptr);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return child_->pid(); }
  const std::filesystem::path& log() const { return log_; }

  // Sends `sig` to the program itself (not its group).
  void Signal(int sig);
  // Stops the program (SIGSTOP) and waits up to `timeout` until every one of
  // its threads has stopped. A stop signal takes effect only when the thread
  // that takes it is next scheduled; until then the program's other threads
  // go on serving. True once the program is stopped.
  bool Suspend(std::chrono::milliseconds timeout);
  // Kills the whole group at once.
  void Kill();

  // Waits up to `timeout` for the program to end. Answers its exit status
  // (platform::ChildProcess's rule); nothing while it runs.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  bool Running();

  // What the program has written so far (stdout and stderr interleaved).
  std::string Output() const;
  // Waits up to `timeout` until Output() contains `text`.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  Process(std::unique_ptr<platform::ChildProcess> child, std::filesystem::path log)
      : child_(std::move(child)), log_(std::move(log)) {}

  std::unique_ptr<platform::ChildProcess> child_;
  std::filesystem::path log_;
};

}  // namespace farmtest
