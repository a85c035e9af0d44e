#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "Lumora.hh"

namespace jobs {

// What the controller tells the work group server about its job. Plain data.
struct JobNewsData {
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

// Tells a work group server that shows the farm (a Lumora::FarmBoard) how
// the job goes: every kPeriod while it runs, and once at its end. Everything
// happens on a thread of its own with one-way calls under a short time
// limit, and every failure is ignored: the report is for people, and the
// dispatch never waits for it. A server that is no FarmBoard gets nothing.
//
// Construct, Finish and destroy on the dispatch thread; `read` is called
// on the reporter's thread and must be safe there.
class JobReporter {
 public:
  static constexpr std::chrono::seconds kPeriod{1};
  static constexpr unsigned kCallTimeoutMs = 1000;

  JobReporter(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, std::function<JobNewsData()> read);
  // Without a Finish before, reports the job as "failed".
  ~JobReporter();
  JobReporter(const JobReporter&) = delete;
  JobReporter& operator=(const JobReporter&) = delete;

  // Sends `last` as the final report and ends the thread (waiting at most
  // about the call time limit for it).
  void Finish(const JobNewsData& last);

 private:
  void Run();
  void Send(Lumora::FarmBoard_ptr board, const JobNewsData& news);

  Kintra::WorkGroup_var group_;
  Lumora::RenderBoss_var boss_;
  const std::function<JobNewsData()> read_;
  std::string controller_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;
  JobNewsData last_;
  std::thread thread_;
};

}  // namespace jobs
