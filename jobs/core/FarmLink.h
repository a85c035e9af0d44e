#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "idl/Abilities.h"
#include "idl/JobParameters.h"

namespace jobs {

// What a farmer is told about its band before it starts.
using JobParameters = farm::JobParameters;

// A farmer did not answer a call in time, or the call failed on the way:
// it has stopped answering.
class FarmerUnreachable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A farmer refused the engagement (it is busy): it holds no band.
class EngagementRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One render node as the dispatch sees it. Every call raises (any
// exception) when the farmer cannot be reached; the dispatch decides per
// call what a failure means.
//
// Threads: called for one job only, by one thread at a time (the dispatch
// thread, or one of the threads it probes farmers on all at once and
// joins); implementations need no lock of their own for it.
class FarmerLink {
 public:
  virtual ~FarmerLink() = default;

  // How the farmer is named in a reason (its address where known).
  virtual std::string Name() const { return "a farmer"; }

  virtual bool IsLive() = 0;
  virtual bool IsIdle() = 0;

  // True when both links reach the same farmer object.
  virtual bool SameFarmer(const FarmerLink& other) const = 0;

  // What the farmer announces beyond the base protocol (idl/Abilities.h);
  // none for a farmer of the base protocol. Raises like IsLive.
  virtual farm::Abilities Abilities() { return {}; }

  // Engages the farmer for one band and starts it: ID, CouldEngage with the
  // boss, the job parameters, the job package, Zarvo. Raises
  // EngagementRefused, making no further call, when CouldEngage answers
  // false; FarmerUnreachable when a call fails; anything else when the job
  // itself cannot go on (no package). Other answers are not examined.
  virtual void HandOut(const JobParameters& job) = 0;

  // Asks the farmer to stop the band this job handed it, and only that one:
  // a farmer that has since taken another job's band keeps it. True when the
  // farmer took the stop. Raises when it cannot be reached.
  virtual bool StopBand() { return false; }
};

// The farm's work group on the workgroup server. Threads: as FarmerLink.
class WorkgroupLink {
 public:
  virtual ~WorkgroupLink() = default;

  // Every farmer the server lists now, in its order; an element that is no
  // render farmer is null. Raises when the server cannot be reached.
  virtual std::vector<std::shared_ptr<FarmerLink>> GetValidFarmer() = 0;

  // Takes this job's place in the work group's line of jobs waiting for
  // farmers (keeps it when it has one) and answers how many jobs wait
  // ahead of it; 0: it may take idle farmers now. A work group without a
  // line always answers 0. Raises when the server cannot be reached.
  virtual int WaitInLine() { return 0; }
  // Gives the place up: the job has its farmers, or it ended. Never raises.
  virtual void LeaveLine() {}
};

}  // namespace jobs
