#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/TestEnv.h"

namespace farmtest {

std::unique_ptr<Process> Process::Start(const std::vector<std::string>& argv, const std::filesystem::path& log,
                                        std::string* error) {
  const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (nullFd < 0) {
    if (error) *error = std::string("cannot start: ") + std::strerror(errno);
    return nullptr;
  }
  platform::ChildProcess::Options options;
  options.stdinFd = nullFd;
  options.outputFile = log;
  // A test that dies without running its destructors (an abort, a time-out
  // of the test runner) must not leave its farm running.
  options.parentDeathSignal = SIGKILL;
  // Whatever dispositions the test process set.
  options.defaultSignals = true;
  auto child = platform::ChildProcess::Start(argv, options, error);
  close(nullFd);
  if (!child) return nullptr;
  return std::unique_ptr<Process>(new Process(std::move(child), log));
}

Process::~Process() {
  Kill();
  // SIGKILL cannot be ignored; bound the wait all the same.
  WaitExit(std::chrono::seconds(10));
}

void Process::Signal(int sig) { child_->Signal(sig); }

bool Process::Suspend(std::chrono::milliseconds timeout) {
  if (!child_->Signal(SIGSTOP)) return false;
  // The parent hears of a stop only once the whole group has stopped.
  bool stopped = false;
  WaitUntil(
      [&] {
        stopped = child_->PollStopped();
        return stopped || child_->Poll().has_value();
      },
      timeout, std::chrono::milliseconds(5));
  return stopped;
}

void Process::Kill() { child_->Terminate(); }

std::optional<int> Process::WaitExit(std::chrono::milliseconds timeout) {
  WaitUntil([&] { return child_->Poll().has_value(); }, timeout, std::chrono::milliseconds(10));
  return child_->Poll();
}

bool Process::Running() { return !child_->Poll().has_value(); }

std::string Process::Output() const { return ReadFile(log_); }

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeout);
}

}  // namespace farmtest
