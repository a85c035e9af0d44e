#pragma once
#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Confinement;

// Splits a command line into arguments as a shell user expects, without
// running a shell: blanks separate arguments, "..." and '...' keep blanks,
// a backslash outside single quotes takes the next character literally.
// No variable, glob or tilde expansion.
std::vector<std::string> SplitCommandLine(const std::string& line);

// The program file Start executes for `argv0`: argv0 itself when it names a
// path, else the first executable match in PATH (argv0 when none).
std::string ResolveProgram(const std::string& argv0);

// One started program. The child runs in a process group of its own (unless
// its options say otherwise), so Terminate() also ends what it started (an
// engine's renderer, say). The child is started at the nice value of its
// options (by default the default one) where the caller may set it, even
// when the calling thread runs at the lowest priority.
//
// Exit status, wherever this class answers one: the program's exit status
// when it exited, 128 + signal number when a signal ended it.
//
// Start may be called from any thread; one object's methods from any
// thread, concurrently (its state is under a mutex).
class ChildProcess {
 public:
  struct Options {
    // Descriptors the child gets as standard input, output and error; -1
    // keeps the parent's. They stay the caller's to close.
    int stdinFd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    // When set, standard output and error not given above are appended to
    // this file (created 0644 when missing).
    std::filesystem::path outputFile;
    // Signal the child gets when the thread that started it ends
    // (PR_SET_PDEATHSIG); 0 for none. A child whose parent is already gone
    // when it starts exits with 127.
    int parentDeathSignal = 0;
    // The child's nice value.
    int nice = 0;
    // Runs the child (and the threads it starts) under SCHED_BATCH: for
    // long CPU-bound work that need not preempt its peers whenever a thread
    // wakes, as several renderers sharing the cores of one machine. Any
    // process may choose it; its nice value stays.
    bool batch = false;
    // Every signal back to its default disposition (SIG_IGN survives exec).
    bool defaultSignals = false;
    // False keeps the child in the caller's process group, so that ending
    // that group ends the child too; Terminate() then ends the child alone.
    bool ownGroup = true;
    // Variables set in the child's environment, over those it inherits;
    // the caller's own environment is left as it is.
    std::map<std::string, std::string> env;
    // Resource limits of the child (soft and hard alike), as setrlimit's.
    struct Limit {
      int resource = 0;
      rlim_t value = RLIM_INFINITY;
    };
    std::vector<Limit> limits;
    // Applied in the child last before exec, when set: the program runs
    // confined (see Confinement). It must outlive Start. A child that cannot
    // be confined or limited is not started: Start fails, saying so.
    const Confinement* confinement = nullptr;
  };

  // Starts argv[0] (looked up in PATH when it has no '/') with the given
  // arguments, inheriting environment (with `env` of its options set) and
  // current folder. Returns null and
  // fills *error when the program cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, std::string* error);
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, const Options& options,
                                             std::string* error);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Blocks until the process ends and answers its exit status. Later calls
  // return the same value.
  int Wait();

  // The exit status once the process has ended, nothing while it runs (or is
  // stopped). Never blocks.
  std::optional<int> Poll();

  // True when the process has stopped (SIGSTOP and the like) since the last
  // call that reported it; an ended process is reaped on the way.
  bool PollStopped();

  // Sends `sig` to the process itself (not its group) unless it has been
  // reaped; false when nothing was sent.
  bool Signal(int sig);

  // Ends the process and its group at once (SIGKILL). Safe from any thread,
  // before, during or after Wait(); answers false when it had already ended.
  bool Terminate();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  // Reaps with waitpid `options` under mutex_; true once reaped.
  bool ReapLocked(int options, bool* stopped);

  const pid_t pid_;
  std::mutex mutex_;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace platform
