#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "idl/JobParameters.h"
#include "node/PackageCache.h"
#include "node/PackageUnpacker.h"
#include "platform/ChildProcess.h"

namespace node {

using farm::JobParameters;

// The job side of a render node, without the wire: the busy flag, the job
// parameters, the two job records in the node folder, and the worker that
// renders one band (clean the work folder, unpack the package, run the
// engine, report the end).
//
// One job at a time: an engagement holds the node for its boss until the
// band it starts has ended (or, when no Start follows, for the engagement
// hold), and the node is busy from an accepted Start() until the end of that
// job has been reported (or the job failed before its engine ran), so no
// other boss engages it in that time and two workers never share the work
// folder. Any thread (ORB threads, its worker): a mutex guards the
// job, the stop request and the engine, the busy flag is atomic; the worker holds the node
// alive, so a job may outlast the owner's reference.
class RenderNode : public std::enable_shared_from_this<RenderNode> {
 public:
  // Called on the worker thread once the engine of a job has ended, with the
  // band number the job started with. Exceptions are swallowed.
  using FinishReporter = std::function<void(std::int32_t part)>;
  // Called instead, when given, for a job that could not render its band:
  // the package could not be unpacked, the engine could not start, or it
  // ended with a non-zero status or by a signal (not one Stop asked for).
  // `reason` is one line; `sceneWrong` says that the scene itself is wrong
  // (the engine said so), not this node. Exceptions are swallowed.
  using FailureReporter = std::function<void(std::int32_t part, const std::string& reason, bool sceneWrong)>;

  // `limits` bound what one package may unpack to; a package over them, or
  // with a file outside the work folder, fails its job (reported as a
  // failure, with a line on stderr), and the node serves on.
  static std::shared_ptr<RenderNode> Create(std::filesystem::path nodeFolder, FinishReporter reporter,
                                            FailureReporter failureReporter = {}, UnpackLimits limits = {});

  const std::filesystem::path& folder() const { return folder_; }

  // How long an engagement holds the node for its boss when no Start
  // follows (the boss went away between engaging and starting).
  static constexpr std::chrono::seconds kEngagementHold{20};

  // Engagement by a boss: false while busy or held by another boss (nothing
  // changes); otherwise writes `bossReference` to boss.ini, holds the node
  // for that boss, and answers whether that worked. The same boss may
  // engage again while it holds the node.
  // `onEngaged` runs only after a successful write, still under the node's
  // lock, so that whoever keeps the boss for the end report agrees with
  // boss.ini even when a job starts at the same moment.
  bool Engage(std::string_view bossReference, std::string* error = nullptr,
              const std::function<void()>& onEngaged = {});

  // False while busy, and while an engagement holds the node.
  bool IsIdle() const;

  // Stores the job parameters (also while a job runs; the running job keeps
  // those it started with) and writes Farmer.ini. False when the record
  // could not be written; the parameters are stored all the same.
  bool SetJob(const JobParameters& job, std::string* error = nullptr);
  JobParameters job() const;

  // Starts the stored job on a worker thread and returns at once; false,
  // doing nothing, while busy. The work folder is prepared at the lowest
  // thread priority; the engine runs at the normal one.
  bool Start();

  // Ends the engine of the current job at once; the worker then reports the
  // job's end as usual. Asked before the engine has started, the job skips
  // its engine. False when no job was under way.
  bool Stop();

  // Stop for one boss only: honoured when `bossReference` is the boss that
  // holds the node (its band is stopped like Stop, an engagement without a
  // band is let go at once); false, changing nothing, for any other boss, so
  // that a stop sent late never ends the band of the boss engaged since.
  bool StopFor(std::string_view bossReference);

  // What the node does now, for its status. Plain data.
  struct Activity {
    bool busy = false;
    std::string holder;  // the boss holding the node; empty when none
    JobParameters job;   // the band under way (while busy)
    std::chrono::system_clock::time_point busySince;
    pid_t engine = 0;  // the engine's process (and group); 0 when none runs
  };
  Activity activity() const;

  // For tests: the engagement hold instead of kEngagementHold.
  void set_engagement_hold(std::chrono::milliseconds hold);

  // While an engine runs, `bossAnswers` is asked every second whether the
  // boss is still there (it must return within a second or so); after 3 s
  // without an answer the engine's whole process group is ended and the
  // band dropped without an end report: nobody is listening for it. Set it
  // before the first Start.
  void WatchBoss(std::function<bool()> bossAnswers);

  // Keeps the packages of its jobs in `cache`, so that a boss may offer a
  // package by its digest (farm::OfferedPackageName) instead of sending it.
  // Without a cache the node takes only Render.zip. Set it before the first
  // Start.
  void set_package_cache(std::shared_ptr<PackageCache> cache);

  // The package offered under `name` is in the cache: the next Start of this
  // engagement unpacks it. False for any other name, and without a cache.
  bool HoldsPackage(const std::string& name);
  // A file named `name` arrived in the node folder. An offered package is
  // taken for the next Start of this engagement, which first checks it
  // against its digest (PackageCache::Admit, on the worker: a large package
  // takes a while) and fails its band when it is not what its name claims.
  // False, with the file removed, when the node keeps no cache. Any other
  // file: true, nothing done.
  bool PackageArrived(const std::filesystem::path& file);

 private:
  RenderNode(std::filesystem::path nodeFolder, FinishReporter reporter, FailureReporter failureReporter,
             UnpackLimits limits);
  // The package a band unpacks: Render.zip, or one offered by its digest,
  // either held or just arrived (and so still to be checked).
  struct Offer {
    std::string digest;  // empty: Render.zip
    bool arrived = false;
  };
  void Work(JobParameters job, Offer offer);
  // Where a band's package lies, checked and kept in the cache when it has
  // just arrived; false with the reason when it cannot be used.
  bool TakePackage(const Offer& offer, std::filesystem::path* package, std::string* error);
  // Waits for the engine of a band, watching the boss; the band's failure
  // reason, empty when it rendered or was stopped. *bossLost tells that the
  // boss stopped answering and the engine was ended for it.
  // *sceneWrong tells that the engine found the scene wrong.
  std::string AwaitEngine(platform::ChildProcess& engine, bool* bossLost, bool* sceneWrong);
  // Tells the boss that the job failed, where someone listens.
  void ReportFailure(std::int32_t part, const std::string& reason, bool sceneWrong = false);
  // The job is over: the node is free for any boss.
  void EndJob();
  // True while `holder_` holds the node. Under mutex_.
  bool HeldLocked() const;
  bool StopLocked();

  const std::filesystem::path folder_;
  const FinishReporter reporter_;
  const FailureReporter failureReporter_;
  UnpackLimits limits_;  // confined to the work folder
  std::atomic<bool> busy_{false};

  mutable std::mutex mutex_;  // guards the fields below
  JobParameters job_;
  bool stopRequested_ = false;
  std::string holder_;  // the boss holding the node; empty when none
  std::chrono::steady_clock::time_point heldSince_;
  std::chrono::steady_clock::duration hold_ = kEngagementHold;
  std::shared_ptr<platform::ChildProcess> engine_;
  JobParameters running_;  // the job of the last Start
  std::chrono::system_clock::time_point busySince_;
  std::function<bool()> bossAnswers_;
  std::shared_ptr<PackageCache> cache_;
  Offer offered_;  // the package of this engagement's band
};

}  // namespace node
