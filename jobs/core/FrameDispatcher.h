#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jobs/core/Dispatcher.h"
#include "jobs/core/FarmLink.h"
#include "jobs/core/FramePlan.h"
#include "platform/Status.h"

namespace jobs {

// The controller's side of each frame of an animation job. Rows carry no
// frame number, so every frame gets a receiver (a boss) of its own: the
// rows and end messages of a unit reach the frame it was handed out for.
//
// Threads: the dispatch thread calls it; implementations lock what the
// ORB's threads share with it.
class FrameDesk {
 public:
  virtual ~FrameDesk() = default;

  // What the receiver of a frame heard about one of its units.
  struct Heard {
    int32_t ends = 0;      // end messages under the unit's label
    int32_t failures = 0;  // failure reports likewise
    std::string lastFailure;
    bool sceneWrong = false;  // the last failure was the scene's own
    bool rowsThere = false;   // every row the unit owes arrived
  };

  // Makes frame `frame`'s receiver before its first hand-out: `owed` maps
  // each label of the frame to the rows that make that unit done.
  virtual void Open(int32_t frame, const std::map<int32_t, farm::WorkUnit>& owed) = 0;
  // Hands `job` (a unit of `frame`) to `farmer` with that frame's receiver
  // as its boss. Raises as FarmerLink::HandOut.
  virtual void HandOut(FarmerLink& farmer, int32_t frame, const JobParameters& job) = 0;
  // Asks `farmer` to stop what it renders for `frame`. Never raises.
  virtual void Stop(FarmerLink& farmer, int32_t frame) = 0;
  virtual Heard Hear(int32_t frame, int32_t label) = 0;
  // Every row of `frame` arrived: writes its file whole, then lets the
  // receiver go. An error says why the file could not be written.
  virtual platform::Status Finish(int32_t frame) = 0;
  // `frame` failed for good: its receiver goes, no file is written.
  virtual void Drop(int32_t frame) = 0;
};

// Counts an animation job shows while it runs. Plain data.
struct FrameCounts {
  int32_t framesDone = 0;
  int32_t framesTotal = 0;
  int32_t framesFailed = 0;
  int32_t unitsOut = 0;
  int32_t rowsDone = 0;  // rows of whole frames and of units done
  int64_t rowsTotal = 0;
};

// The hand-out and watch loop of an animation job, over abstract links:
// FramePlan decides what goes out (whole frames while they outnumber the
// idle farmers, bands of the last ones), this loop finds the idle farmers
// that announce farm::kAbilityFrames (and what the order needs), hands the
// units out through the desk and watches them every 100 ms.
//
// An attempt fails when its farmer stops answering, fails the hand-out,
// reports a failure, or is idle with rows missing (after an end message,
// or for Dispatcher::kLostEndPasses passes without one); the unit then goes
// to another farmer where one is idle that has not failed it. A failure the
// farmer marks as the scene's own fails the frame at once; any other fails
// it after FramePlan::kMostFailures. A frame whose rows are all there is
// written by the desk, and its farmer is free for the next unit.
//
// Threads: the job's dispatch thread alone calls it.
class FrameDispatcher {
 public:
  using Clock = std::chrono::steady_clock;
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // Frames of `plan` at `width` x `height`; `plan`, `group` and `desk`
  // must outlive it.
  FrameDispatcher(WorkgroupLink& group, FrameDesk& desk, FramePlan& plan, farm::Abilities needs, int32_t width,
                  int32_t height, Sleep sleep);

  // Runs until every frame is whole or failed for good (kCompleted, or
  // kIncomplete when one failed), the farm has no farmer for it
  // (kNoIdleNode at the start; kAbandoned when no farmer has answered for
  // 30 s), or `cancelled` says so.
  // Exceptions from the work group propagate.
  JobOutcome Run();

  void set_cancelled(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }
  // Called on the dispatch thread after every watch pass.
  void set_on_pass(std::function<void(const FrameCounts&)> onPass) { onPass_ = std::move(onPass); }

  // Frames written, by the farmer that rendered (the last unit of) them.
  const std::map<std::string, int32_t>& framesPerFarmer() const { return framesPerFarmer_; }
  FrameCounts counts() const;

 private:
  struct Attempt {
    int32_t label = 0;
    FrameUnit unit;
    farm::WorkUnit render;
    std::shared_ptr<FarmerLink> farmer;
    int32_t endsBefore = 0;
    int32_t failuresBefore = 0;
    int idleUnreported = 0;
  };
  struct Member {
    std::shared_ptr<FarmerLink> farmer;
    Clock::time_point quietUntil{};  // not asked again before, after it did not answer
  };

  void RefreshFarmers();
  std::vector<std::shared_ptr<FarmerLink>> IdleFarmers();
  bool Busy(const FarmerLink& farmer) const;
  void HandOutUnits(std::vector<std::shared_ptr<FarmerLink>> idle);
  bool HandOutOne(const FrameUnit& unit, const std::shared_ptr<FarmerLink>& farmer);
  void WatchPass();
  // True when the attempt is over (done or failed).
  bool WatchOne(Attempt& a);
  void UnitDone(const Attempt& a);
  void UnitFailed(const Attempt& a, const std::string& why, bool final = false);
  farm::WorkUnit RenderRows(const FrameUnit& unit) const;
  farm::WorkUnit OwedRows(const FrameUnit& unit) const;

  WorkgroupLink& group_;
  FrameDesk& desk_;
  FramePlan& plan_;
  const farm::Abilities needs_;
  const int32_t width_;
  const int32_t height_;
  Sleep sleep_;
  std::function<bool()> cancelled_;
  std::function<void(const FrameCounts&)> onPass_;
  std::vector<Member> members_;
  Clock::time_point listedAt_{};
  std::vector<Attempt> out_;
  std::map<int32_t, std::vector<std::string>> triedBy_;  // by label: farmers that failed it
  std::map<std::string, int32_t> framesPerFarmer_;
  int32_t rowsDone_ = 0;
};

}  // namespace jobs
