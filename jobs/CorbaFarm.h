#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "Kintra.hh"
#include "Lumora.hh"
#include "jobs/FarmLink.h"

namespace lumora {

// The job package as it travels: read once, sent whole to every farmer.
using PackageBytes = std::shared_ptr<const std::vector<unsigned char>>;

// The "OneFrame" job parameters as the seven-element DataSeq farmers read.
Lumora::DataSeq OneFrameData(const JobParameters& job);

// A render farmer reached over the wire.
class CorbaFarmer : public FarmerLink {
 public:
  // `package` may be null when the package could not be read; a hand-out
  // then fails the job.
  CorbaFarmer(Lumora::RenderFarmer_ptr farmer, Lumora::RenderBoss_ptr boss, PackageBytes package);

  bool IsLive() override;
  bool IsIdle() override;
  bool SameFarmer(const FarmerLink& other) const override;
  void HandOut(const JobParameters& job) override;

 private:
  Lumora::RenderFarmer_var farmer_;
  Lumora::RenderBoss_var boss_;
  PackageBytes package_;
};

// The work group "Tessel" reached over the wire.
class CorbaWorkgroup : public WorkgroupLink {
 public:
  CorbaWorkgroup(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, PackageBytes package);

  std::vector<std::shared_ptr<FarmerLink>> GetValidFarmer() override;

 private:
  Kintra::WorkGroup_var group_;
  Lumora::RenderBoss_var boss_;
  PackageBytes package_;
};

}  // namespace lumora
