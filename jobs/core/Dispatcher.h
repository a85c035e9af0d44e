#pragma once
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jobs/core/BandPlan.h"
#include "jobs/core/BandSplit.h"
#include "jobs/core/BandTally.h"
#include "jobs/core/FarmLink.h"
#include "jobs/core/JobOrder.h"
#include "jobs/core/JobProgress.h"

namespace jobs {

// How a render job ended.
enum class JobOutcome : int32_t {
  kRunning = 0,
  kCompleted = 1,   // every row of the picture arrived
  kNoIdleNode = 2,  // the work group has no farmer that answers
  kAbandoned = 3,   // the work group became empty while bands were out
  kFailed = 4,      // the workgroup server or the job's set-up failed
  kIncomplete = 5,  // a band failed too often: rows are missing
  kCancelled = 6,   // the host cancelled the job
};

// The hand-out and watch loop of one render job, over abstract links so
// that it runs without an ORB.
//
// The picture is cut into one band per farmer that answers at the start
// (busy ones too: a farm shared by several jobs frees its farmers one by one),
// but into no bands shorter than BandPlan::kLeastBandRows.
// While bands wait for a farmer the job keeps its place in the work group's
// line and takes idle farmers only when no job that asked before it still
// waits; a job with no band out yet shows that it waits, and how many
// farmers are busy. Bands are handed to live, idle farmers (all
// asked at once, so a silent one costs one call time limit, not one each); every 100 ms each outstanding
// band's farmer is probed. A band is done when the tally has all its rows.
// An attempt at a band fails when its farmer does not answer (the links
// put a time limit on every call), fails the hand-out, reports a failure,
// or ends (end message, then idle; or idle for kLostEndPasses watch passes
// without one) with rows missing; the band is then
// handed out again, to a farmer that has not failed it while there is one
// in the work group. The rows that arrived stay. The job ends when every
// band is done, or as incomplete when one band has failed kMostAttempts
// times.
//
// Balancing: when a band is done while others are still out, the job looks
// for idle farmers (past the jobs waiting before it), and splits off the
// rows a holder has not reached yet (CutRow, from the rows per second each
// farmer showed in this job) into a new band for the idle farmer. The
// holder keeps its band up to the cut; once those rows have arrived its
// band is done and the holder is told to stop (rows it sends past the cut
// only repeat the new band's). Any farmer of the base protocol can be
// either side. A band that fails after the cut goes out again with its
// shorter rows; the split-off band is a band like any other.
//
// A done band is neither watched nor handed out again. A farmer that still
// holds an open band of this job gets no second band (a freshly started
// farmer can answer "idle" before its render begins, and a second band
// would replace the first). An end message is judged only once the band's
// present farmer answers idle, so the late end of a farmer that lost the
// band never cuts short the farmer that has it now.
//
// Threads: the job's dispatch thread alone calls it (Run and the accessors
// after it); it shares only the tally (locked) and the order (locked) with
// the boss's ORB threads and the host.
class Dispatcher {
 public:
  static constexpr int kMostAttempts = 3;

  using Clock = std::chrono::steady_clock;

  struct BandState {
    Band band{};
    farm::WorkUnit render;  // the rows its farmer is asked for
    farm::WorkUnit owed;    // the rows that make it done
    bool cut = false;       // owed was cut short for a band split off it
    bool stopOwed = false;  // cut, and its farmer not yet told to stop: it may get no other band before
    bool doneSeen = false;
    Clock::time_point handedAt{};
    Clock::time_point firstRowAt{};  // of the present attempt; handedAt while none came
    int32_t arrivedBefore = 0;       // owed rows there at the hand-out
    // (when, rows arrived since the hand-out) at every watch pass of the
    // present attempt, oldest first.
    std::vector<std::pair<Clock::time_point, int32_t>> arrivals;
    std::shared_ptr<FarmerLink> farmer;  // null until first handed out
    bool assigned = false;
    int32_t endsBefore = 0;                          // end messages of the band at its last hand-out
    int32_t failuresBefore = 0;                      // failure reports likewise
    int idleUnreported = 0;                          // watch passes in a row seeing its farmer idle without an end
    int failed = 0;                                  // attempts that ended without the band's rows
    std::vector<std::shared_ptr<FarmerLink>> tried;  // their farmers, in order
    std::string lastFailure;
  };

  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // Cuts `order`'s band height into bands and sends its picture size, read
  // again for every hand-out (a SetImage during the job changes the bands
  // handed out after it). `tally` is filled by the boss from end messages.
  // The order's plan says how many bands the idle farmers share (one each
  // unless the host asks for more); while bands wait for a farmer under a
  // shared plan, idle farmers are looked for every 100 ms instead of every
  // second. `order` and `tally` must outlive the dispatcher.
  // `now` is the clock the farmers' row rates are measured on.
  Dispatcher(WorkgroupLink& group, BandTally& tally, const JobOrder& order, Sleep sleep,
             std::function<Clock::time_point()> now = Clock::now);

  // Runs the job to its end and returns how it ended; kFailed is never
  // returned: exceptions that no per-call rule catches (the workgroup
  // server failing, a hand-out that cannot go on) propagate.
  JobOutcome Run();

  // Asked between every step of Run: true ends the job as kCancelled.
  // Set before Run.
  void set_cancelled(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }

  // After Run: asks every farmer that holds an open band of this job to
  // stop it, all at once, and waits for their answers (each under the
  // link's own time limit). A farmer that does not answer is left to notice
  // by itself that its boss is gone.
  void StopBands();

  // After kIncomplete: one line naming the band, its rows, the farmers
  // that tried it and the last failure; or, when a farmer marked its
  // failure as a wrong scene (the job then ends after that one attempt),
  // the renderer's own message.
  const std::string& reason() const { return reason_; }

  // The rows band `band` owes: its own rows and the seam row below it.
  static farm::WorkUnit OwedRows(const Band& band, int32_t count);

  // Counts bands and hand-outs for progress displays; may be null. Set
  // before Run.
  void set_progress(JobProgress* progress) { progress_ = progress; }

  // Watch passes (kWatchPause apart) that a band's farmer may stay idle
  // without an end report before the report counts as lost: the band is
  // then done if all its rows came, and its attempt failed if not.
  static constexpr int kLostEndPasses = 20;

  // Called with one line per band event (hand-out, first row seen, cut,
  // done), stamped in seconds since Run began: the timeline that shows
  // where a job's time goes. May be empty. Set before Run.
  void set_trace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

  const std::vector<BandState>& bands() const { return bands_; }
  int hand_outs() const { return handOuts_; }

 private:
  struct Pace {
    std::shared_ptr<FarmerLink> farmer;
    double rowsPerSecond = 0;
    double startSeconds = 0;  // hand-out to first row
  };

  static constexpr std::chrono::milliseconds kWatchPause{100};
  static constexpr std::chrono::milliseconds kNoIdlePause{1000};

  // Live and idle farmers that announce what the order needs and hold no
  // unreported band of this job.
  std::vector<std::shared_ptr<FarmerLink>> LiveIdle(const std::vector<std::shared_ptr<FarmerLink>>& farmers);
  bool HoldsOpenBand(const FarmerLink& farmer) const;
  // Cuts the order's band height into `count` bands and tells the tally.
  void CutBands(int32_t count);
  // The first of `idle` not `used` that may take band `b`; idle.size()
  // when none may.
  static std::size_t PickFarmer(const BandState& b, const std::vector<std::shared_ptr<FarmerLink>>& idle,
                                const std::vector<bool>& used, const std::vector<std::shared_ptr<FarmerLink>>& listed);
  // Marks band `b` as handed to `farmer` and answers what the farmer is to
  // be told; EndHandOut then judges how the hand-out went (`error`: what it
  // raised, if anything), and answers true when the farmer took the band.
  // Raises what no hand-out rule catches.
  JobParameters BeginHandOut(BandState& b, const std::shared_ptr<FarmerLink>& farmer);
  bool EndHandOut(BandState& b, const JobParameters& job, const std::exception_ptr& error);
  // Hands out the open bands, to all their farmers at once; answers how
  // many were handed out.
  int HandOutPass(const std::vector<std::shared_ptr<FarmerLink>>& idle,
                  const std::vector<std::shared_ptr<FarmerLink>>& listed);
  static bool Tried(const BandState& b, const FarmerLink& farmer);
  void AttemptFailed(BandState& b, const std::string& why);
  // Watches the bands out; false when the job was cancelled meanwhile.
  // Returns also after a band got done while others are out, to look for
  // idle farmers to split with.
  bool Watch();
  // Reports cut bands whose rows up to the cut are all here, and tells the
  // farmers of done cut bands to stop, all at once. A farmer owed a stop
  // gets no other band before it (HoldsOpenBand), so the stop cannot end
  // a band handed to it later.
  void StopCutHolders();
  // One watch pass over band `b`, given what its farmer answered (`live`
  // false: it did not) and the band's end and failure counts read before
  // it was asked; true when the attempt failed.
  bool WatchBand(BandState& b, bool live, bool idle, int32_t ends, int32_t failures);
  // Splits off rows of the bands out for `idle` farmers where it pays;
  // false when no band out can pay a split any more.
  bool Balance(const std::vector<std::shared_ptr<FarmerLink>>& idle);
  // The band whose split pays best for `taker` (nullptr: none), with its
  // view and cut; *later is set when a band out has no rows to judge by yet.
  BandState* SplitCandidate(const FarmerLink& taker, SplitView* view, int32_t* cut, bool* later);
  bool SplitOff(BandState& holder, int32_t cut, const std::shared_ptr<FarmerLink>& taker);
  const Pace* PaceOf(const FarmerLink& farmer) const;
  // Rows per second of `b`'s present attempt over the later half of the
  // time since its first row (0 while none came).
  double RateOf(const BandState& b) const;
  JobOutcome Loop();
  bool Cancelled() const { return cancelled_ && cancelled_(); }
  void Trace(const BandState& b, const std::string& what) const;
  // Whether a band waits for a farmer.
  bool BandsWaiting() const;

  WorkgroupLink& group_;
  BandTally& tally_;
  const JobOrder& order_;
  Sleep sleep_;
  std::function<Clock::time_point()> now_;
  std::vector<BandState> bands_;
  // How the bands farmers finished in this job went, by farmer.
  std::vector<Pace> paces_;
  int lookForIdle_ = 0;  // watch passes still to return from, to find the farmer a done band freed
  int handOuts_ = 0;
  bool givenUp_ = false;
  std::string reason_;
  JobProgress* progress_ = nullptr;
  std::function<bool()> cancelled_;
  std::function<void(const std::string&)> trace_;
  Clock::time_point runAt_{};
  bool inLine_ = false;
};

}  // namespace jobs
