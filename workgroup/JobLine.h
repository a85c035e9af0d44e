#pragma once
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace workgroup {

// The jobs waiting for farmers, in the order they first asked. A job keeps
// its place by asking again (a waiting controller asks every fraction of a
// second); one that has not asked for `patience` went away without leaving
// and loses its place, so a crashed controller never holds up the line.
//
// Any thread (the ORB's): the mutex guards the line.
class JobLine {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  static constexpr std::chrono::seconds kPatience{10};

  explicit JobLine(Clock::duration patience = kPatience, Now now = Clock::now);

  // Puts `job` at the end of the line, or keeps its place when it is in line
  // already, and answers how many jobs wait ahead of it.
  int WaitInLine(const std::string& job);
  // Takes `job` out of the line; nothing happens when it is not in it.
  void Leave(const std::string& job);
  // The jobs in line, first first.
  std::vector<std::string> Jobs() const;

 private:
  struct Place {
    std::string job;
    Clock::time_point lastAsked;
  };
  void DropGoneLocked(Clock::time_point now);

  const Clock::duration patience_;
  const Now now_;
  mutable std::mutex mutex_;
  std::vector<Place> line_;
};

}  // namespace workgroup
