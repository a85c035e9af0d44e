#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "idl/NodeState.h"

namespace workgroup {

// What a controller reported about one of its jobs. Plain data.
struct JobReport {
  std::string controller;  // its host
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bandsDone = 0;
  std::int32_t bandsTotal = 0;
  std::int32_t rowsDone = 0;
  std::int32_t rowsTotal = 0;
  double elapsedSeconds = 0;
  std::string state;  // "waiting", "running", or how the job ended
  std::vector<std::string> failures;
};

// The farm as the operator sees it: the nodes the server probed last, the
// jobs their controllers report, the jobs that ended last, the line. The
// gatherer feeds it and publishes a snapshot after every pass; every
// request reads the last snapshot, so a slow or frozen node never holds up
// a request.
//
// A node that stops answering is shown as unreachable, with what it said
// last, for kUnreachableKept; a job whose controller stops reporting for
// kJobSilence ends as "lost". Ended jobs go to the history (kHistory,
// newest first).
//
// Any thread: a mutex guards everything.
class StatusBoard {
 public:
  using Clock = std::chrono::system_clock;
  static constexpr std::chrono::minutes kUnreachableKept{10};
  static constexpr std::chrono::seconds kJobSilence{30};
  static constexpr std::size_t kHistory = 10;
  // Jobs in flight shown at most (reports on more are dropped), and the
  // failures shown per job (the last ones).
  static constexpr std::size_t kMostJobs = 256;
  static constexpr std::size_t kMostFailures = 20;

  // Node `key` answered: with its state when it announces one, else only
  // whether it is idle. `address` names it (its host).
  void NodeAnswered(const std::string& key, const std::string& address, std::optional<farm::NodeState> state, bool idle,
                    Clock::time_point now);
  // Node `key` did not answer in time (a node never heard of is added as
  // unreachable).
  void NodeSilent(const std::string& key, const std::string& address, Clock::time_point now);
  // Drops the nodes silent for longer than kUnreachableKept and answers
  // their keys; ends lost jobs.
  std::vector<std::string> Prune(Clock::time_point now);

  // A report on the job of boss `key`; a job that ended leaves for the history.
  void JobReported(const std::string& key, const JobReport& report, Clock::time_point now);

  // Makes the snapshot: `line` holds the keys of the jobs waiting, first first.
  void Publish(const std::vector<std::string>& line, Clock::time_point now);
  // The last snapshot as JSON ("{}" before the first); see README's "The
  // operator's view" for its fields. `<`, `>` and `&` are written as \u
  // escapes, so the text is safe inside a page as it is.
  std::shared_ptr<const std::string> Latest() const;

 private:
  struct Node {
    std::string address;
    bool reachable = false;
    bool idle = false;
    std::optional<farm::NodeState> state;
    Clock::time_point firstSeen;
    Clock::time_point lastAnswer;  // epoch when never
  };
  struct Job {
    int id = 0;
    JobReport report;
    Clock::time_point started;
    Clock::time_point lastNews;
  };

  void EndJobLocked(std::map<std::string, Job>::iterator job);

  mutable std::mutex mutex_;
  std::map<std::string, Node> nodes_;
  std::map<std::string, Job> jobs_;
  std::vector<Job> history_;  // newest first
  int nextJob_ = 1;
  std::shared_ptr<const std::string> latest_ = std::make_shared<const std::string>("{}");
};

}  // namespace workgroup
