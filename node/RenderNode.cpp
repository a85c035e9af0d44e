#include "node/RenderNode.h"

#include <fstream>
#include <thread>
#include <utility>

#include "idl/ConfigRecords.h"
#include "idl/PackageDigest.h"
#include "idl/WellKnownNames.h"
#include "node/BossWatch.h"
#include "node/EngineCommand.h"
#include "node/PackageUnpacker.h"
#include "platform/MessageBox.h"
#include "platform/ThreadPriority.h"

namespace node {

namespace {

void Log(const std::string& line) { platform::WriteMessageToStderr("tessel: " + line); }

}  // namespace

std::shared_ptr<RenderNode> RenderNode::Create(std::filesystem::path nodeFolder, FinishReporter reporter,
                                               FailureReporter failureReporter, UnpackLimits limits) {
  return std::shared_ptr<RenderNode>(
      new RenderNode(std::move(nodeFolder), std::move(reporter), std::move(failureReporter), limits));
}

RenderNode::RenderNode(std::filesystem::path nodeFolder, FinishReporter reporter, FailureReporter failureReporter,
                       UnpackLimits limits)
    : folder_(std::move(nodeFolder)),
      reporter_(std::move(reporter)),
      failureReporter_(std::move(failureReporter)),
      limits_(limits) {
  limits_.confineTo = farm::kPackageFolder;
}

void RenderNode::ReportFailure(std::int32_t part, const std::string& reason, bool sceneWrong) {
  if (!failureReporter_) return;
  try {
    failureReporter_(part, reason, sceneWrong);
  } catch (...) {
    Log("the failure of the band could not be reported");
  }
}

bool RenderNode::HeldLocked() const {
  if (holder_.empty()) return false;
  // A band under way holds the node until it ends; an engagement alone only
  // for the hold.
  return busy_.load() || std::chrono::steady_clock::now() - heldSince_ < hold_;
}

bool RenderNode::IsIdle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !busy_.load() && !HeldLocked();
}

bool RenderNode::Engage(std::string_view bossReference, std::string* error, const std::function<void()>& onEngaged) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (busy_.load()) return false;
  if (HeldLocked() && holder_ != bossReference) return false;
  if (!farm::WriteBossIni(folder_ / farm::kBossIniName, bossReference, error)) return false;
  holder_ = std::string(bossReference);
  offered_ = {};  // every hand-out offers its package anew
  heldSince_ = std::chrono::steady_clock::now();
  if (onEngaged) onEngaged();
  return true;
}

RenderNode::Activity RenderNode::activity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Activity now;
  now.busy = busy_.load();
  if (HeldLocked()) now.holder = holder_;
  if (!now.busy) return now;
  now.job = running_;
  now.busySince = busySince_;
  if (engine_) now.engine = engine_->pid();
  return now;
}

void RenderNode::set_engagement_hold(std::chrono::milliseconds hold) {
  std::lock_guard<std::mutex> lock(mutex_);
  hold_ = hold;
}

void RenderNode::EndJob() {
  std::lock_guard<std::mutex> lock(mutex_);
  holder_.clear();
  busy_.store(false);
}

bool RenderNode::SetJob(const JobParameters& job, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  job_ = job;
  return farm::WriteFarmerIni(folder_ / farm::kFarmerIniName, farm::FarmerRecordOf(job.part, job.rows, job.height),
                              error);
}

JobParameters RenderNode::job() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return job_;
}

bool RenderNode::Start() {
  JobParameters job;
  Offer offer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_.load()) return false;
    busy_.store(true);
    stopRequested_ = false;
    job = job_;
    running_ = job;
    busySince_ = std::chrono::system_clock::now();
    offer = std::exchange(offered_, {});
  }
  try {
    std::thread([self = shared_from_this(), job, offer] { self->Work(job, offer); }).detach();
  } catch (const std::system_error& e) {
    Log(std::string("cannot start a worker: ") + e.what());
    EndJob();
    return false;
  }
  return true;
}

bool RenderNode::StopLocked() {
  if (!busy_.load()) return false;
  stopRequested_ = true;
  if (engine_) return engine_->Terminate();
  return true;
}

bool RenderNode::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  return StopLocked();
}

bool RenderNode::StopFor(std::string_view bossReference) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (bossReference.empty() || !HeldLocked() || holder_ != bossReference) return false;
  if (!busy_.load()) {
    holder_.clear();
    return true;
  }
  StopLocked();
  return true;
}

void RenderNode::WatchBoss(std::function<bool()> bossAnswers) {
  std::lock_guard<std::mutex> lock(mutex_);
  bossAnswers_ = std::move(bossAnswers);
}

std::string RenderNode::AwaitEngine(platform::ChildProcess& engine, bool* bossLost, bool* sceneWrong) {
  std::function<bool()> bossAnswers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bossAnswers = bossAnswers_;
  }
  std::unique_ptr<BossWatch> watch;
  if (bossAnswers) {
    watch = std::make_unique<BossWatch>(bossAnswers, [&engine] {
      Log("the boss has not answered for 3 s: ending the engine");
      engine.Terminate();
    });
  }
  const int status = engine.Wait();
  *bossLost = watch && watch->lost();
  watch.reset();
  Log("engine ended with status " + std::to_string(status));
  bool stopped = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped = stopRequested_;
  }
  if (status == 0 || stopped || *bossLost) return {};
  // The engine says why where it could (the renderer cannot write there).
  std::string reason;
  std::string mark;
  std::ifstream failure(folder_ / farm::kEngineFailureName);
  std::getline(failure, reason);
  std::getline(failure, mark);
  *sceneWrong = !reason.empty() && mark == farm::kSceneWrongWord;
  if (!reason.empty()) return reason;
  return status > 128 ? "the engine was ended by signal " + std::to_string(status - 128)
                      : "the engine ended with status " + std::to_string(status);
}

void RenderNode::set_package_cache(std::shared_ptr<PackageCache> cache) {
  std::lock_guard<std::mutex> lock(mutex_);
  cache_ = std::move(cache);
}

bool RenderNode::HoldsPackage(const std::string& name) {
  const std::optional<std::string> digest = farm::DigestOfOfferedName(name);
  if (!digest) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!cache_ || !cache_->Has(*digest)) {
    // What an upload cut short left must not pass for the package.
    std::error_code ec;
    std::filesystem::remove(folder_ / name, ec);
    return false;
  }
  offered_ = {*digest, false};
  return true;
}

bool RenderNode::PackageArrived(const std::filesystem::path& file) {
  const std::optional<std::string> digest = farm::DigestOfOfferedName(file.filename().string());
  if (!digest) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!cache_) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return false;
  }
  offered_ = {*digest, true};
  return true;
}

bool RenderNode::TakePackage(const Offer& offer, std::filesystem::path* package, std::string* error) {
  if (offer.digest.empty()) {
    *package = folder_ / farm::kPackageName;
    return true;
  }
  std::shared_ptr<PackageCache> cache;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cache = cache_;
  }
  *package = cache->PathOf(offer.digest);
  if (!offer.arrived) return true;
  const std::filesystem::path received = folder_ / farm::OfferedPackageName(offer.digest);
  return cache->Admit(received, offer.digest, limits_.maxBytes, error);
}

void RenderNode::Work(JobParameters job, Offer offer) {
  const std::filesystem::path work = folder_ / farm::kPackageFolder;
  std::filesystem::path package;

  // Cleaning and unpacking run at the lowest priority, on a thread of their
  // own: a process inherits the priority of the thread that starts it, and
  // the engine is to run at the normal one.
  bool unpacked = false;
  std::string error = "no thread to unpack on";
  try {
    std::thread([&] {
      platform::SetCurrentThreadLowestPriority();
      CleanWorkFolder(work);
      unpacked = TakePackage(offer, &package, &error) && UnpackPackage(package, folder_, &error, limits_);
    }).join();
  } catch (const std::system_error&) {
  }
  if (!unpacked) {
    Log("job not started: " + error);
    ReportFailure(job.part, "the package could not be unpacked: " + error);
    EndJob();
    return;
  }
  std::error_code ec;
  if (offer.digest.empty()) std::filesystem::remove(package, ec);

  std::filesystem::remove(folder_ / farm::kEngineFailureName, ec);
  // A package with the farm options file is a user's own scene.
  const bool userScene = std::filesystem::is_regular_file(work / farm::kFarmOptionsFile, ec);
  const EngineCommand command = BuildEngineCommand(folder_, job, userScene);
  std::shared_ptr<platform::ChildProcess> engine;
  bool skipped = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    skipped = stopRequested_;
    if (!skipped) {
      Log("engine: " + command.text);
      engine = platform::ChildProcess::Start(command.argv, &error);
      engine_ = engine;
    }
  }
  if (!skipped && !engine) {
    Log("cannot start the engine: " + error);
    // Said to the boss before the box, which may wait for someone at the
    // screen: the band goes elsewhere meanwhile.
    ReportFailure(job.part, "the engine could not be started: " + error);
    EndJob();
    platform::MessageBox("服务程序不在规定位置!", "Tessel");
    return;
  }
  std::string failure;
  bool bossLost = false;
  bool sceneWrong = false;
  if (!skipped) failure = AwaitEngine(*engine, &bossLost, &sceneWrong);

  if (bossLost) {
    Log("band " + std::to_string(job.part) + " dropped: its boss is gone");
  } else if (!failure.empty() && failureReporter_) {
    ReportFailure(job.part, failure, sceneWrong);
  } else {
    try {
      reporter_(job.part);
    } catch (...) {
      Log("the end of the band could not be reported");
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    engine_.reset();
  }
  EndJob();
}

}  // namespace node
