#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "jobs/BandSplit.h"
#include "jobs/BandTally.h"
#include "jobs/FarmLink.h"

namespace lumora {

// How a render job ended.
enum class JobOutcome : int32_t {
  kRunning = 0,
  kCompleted = 1,   // every band reported its end
  kNoIdleNode = 2,  // no farmer listed, or none live and idle at the start
  kAbandoned = 3,   // the work group became empty while bands were out
  kFailed = 4,      // the workgroup server or a farmer failed the job
};

// The hand-out and watch loop of one render job, over abstract links so
// that it runs without an ORB.
//
// Bands are handed to live, idle farmers; every 100 ms each outstanding
// band's farmer is probed, and a band whose farmer does not answer is handed
// out again. The job ends when the tally says every band has reported.
// A band that has reported is done: it is neither watched nor handed out
// again. A farmer that still holds an unreported band of this job gets no
// second band (a freshly started farmer can answer "idle" before its render
// begins, and a second band would replace the first).
class Dispatcher {
 public:
  struct BandState {
    Band band;
    std::shared_ptr<FarmerLink> farmer;  // null until first handed out
    bool assigned = false;
  };

  using PictureSize = std::function<void(int32_t* width, int32_t* height)>;
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // `height` is the picture height the bands are cut from; `size` is asked
  // for the width and height sent with every hand-out (the host may change
  // them during a job). `tally` is filled by the boss from end messages.
  Dispatcher(WorkgroupLink& group, BandTally& tally, int32_t height, PictureSize size, Sleep sleep);

  // Runs the job to its end and returns how it ended; kFailed is never
  // returned: exceptions that no per-call rule catches (the workgroup
  // server failing, a farmer failing during its hand-out) propagate.
  JobOutcome Run();

  const std::vector<BandState>& bands() const { return bands_; }
  int hand_outs() const { return hand_outs_; }

 private:
  static constexpr std::chrono::milliseconds kWatchPause{100};
  static constexpr std::chrono::milliseconds kNoIdlePause{1000};

  // Live and idle farmers that hold no unreported band of this job.
  std::vector<std::shared_ptr<FarmerLink>> LiveIdle(const std::vector<std::shared_ptr<FarmerLink>>& farmers);
  bool HoldsOpenBand(const FarmerLink& farmer) const;
  void HandOutPass(const std::vector<std::shared_ptr<FarmerLink>>& idle);
  void Watch();

  WorkgroupLink& group_;
  BandTally& tally_;
  const int32_t height_;
  PictureSize size_;
  Sleep sleep_;
  std::vector<BandState> bands_;
  int hand_outs_ = 0;
};

}  // namespace lumora
