#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Kintra.hh"
#include "Lumora.hh"
#include "jobs/core/FarmLink.h"
#include "jobs/core/JobPackage.h"
#include "jobs/core/JobProgress.h"

namespace jobs {

// The time limit of every call the controller makes on a farmer (and on
// the file receiver it hands out): $LUMORA_FARMER_TIMEOUT_MS when it holds
// a number of milliseconds from 1 to 600000, else kDefaultFarmerTimeoutMs.
constexpr uint32_t kDefaultFarmerTimeoutMs = 3000;
uint32_t FarmerCallTimeoutMs();

// The time limit of the controller's calls on the workgroup server
// (CreateWorkGroup, GetValidFarmer): $LUMORA_WORKGROUP_TIMEOUT_MS, read the
// same way, else kDefaultWorkgroupTimeoutMs. The server probes every farmer
// it lists, each for up to 2 s, so the default leaves room for a large farm
// with many nodes gone.
constexpr uint32_t kDefaultWorkgroupTimeoutMs = 60000;
uint32_t WorkgroupCallTimeoutMs();

// The package of a job as the links hand it out: its bytes, its digest
// (empty: never offered by digest), and where hand-outs count what they
// sent (may be null; it outlives the links).
struct PackageOffer {
  PackageBytes bytes;
  std::string digest{};
  JobProgress* progress = nullptr;
};

// A render farmer reached over the wire, every call under a time limit.
//
// Threads: one thread at a time calls it (see FarmerLink); it keeps no
// state that changes after construction (the ORB's references are thread-safe).
class CorbaFarmer : public FarmerLink {
 public:
  // `package.bytes` may be null when the package could not be read; a
  // hand-out then fails the job. A farmer that announces
  // farm::kAbilityCache is offered the package by its digest first and gets
  // the bytes only when it does not hold them; a refusal of the bytes (the
  // farmer found another digest) fails the hand-out. `timeoutMs` 0: no
  // limit.
  CorbaFarmer(Lumora::RenderFarmer_ptr farmer, Lumora::RenderBoss_ptr boss, PackageOffer package, uint32_t timeoutMs);

  std::string Name() const override;
  bool IsLive() override;
  bool IsIdle() override;
  bool SameFarmer(const FarmerLink& other) const override;
  // Asks the farmer whether it is a Lumora::AbleFarmer, and if so for its
  // list; the answer is kept for the link's life.
  farm::Abilities Abilities() override;
  void HandOut(const JobParameters& job) override;
  // HandOut with `boss` instead of the link's own: the frames of an
  // animation each have a boss of their own.
  void HandOutTo(Lumora::RenderBoss_ptr boss, const JobParameters& job);
  // StopJob with this job's boss where the farmer knows it; plain Stop on a
  // farmer that does not (it stops whatever it renders).
  bool StopBand() override;
  // StopBand for what the farmer renders for `boss`.
  bool StopFor(Lumora::RenderBoss_ptr boss);

  // The time limit of a stop: the controller is on its way out.
  static constexpr uint32_t kStopTimeoutMs = 1000;

 private:
  Lumora::RenderFarmer_var farmer_;
  Lumora::RenderBoss_var boss_;
  // Sends the package through a fresh file receiver of the farmer.
  void SendPackage(bool byDigest);

  PackageOffer package_;
  uint32_t timeout_ms_;
  std::string name_;
  std::optional<farm::Abilities> abilities_;
};

// The farm's work group reached over the wire.
//
// Threads: the job's dispatch thread alone calls it; nothing in it changes
// after construction.
class CorbaWorkgroup : public WorkgroupLink {
 public:
  // The farmers it lists get calls under `farmerTimeoutMs`; the work group
  // itself under `groupTimeoutMs` (0: no limit).
  CorbaWorkgroup(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, PackageOffer package,
                 uint32_t farmerTimeoutMs, uint32_t groupTimeoutMs);

  // A server that does not answer in time raises std::runtime_error saying
  // so; other failures raise what the ORB raised.
  std::vector<std::shared_ptr<FarmerLink>> GetValidFarmer() override;
  // Through the server's line where it keeps one (a JobQueue); 0 otherwise.
  int WaitInLine() override;
  void LeaveLine() override;

 private:
  Kintra::WorkGroup_var group_;
  Kintra::JobQueue_var queue_;  // nil when the server keeps no line
  Lumora::RenderBoss_var boss_;
  PackageOffer package_;
  uint32_t farmer_timeout_ms_;
  uint32_t group_timeout_ms_;
};

}  // namespace jobs
