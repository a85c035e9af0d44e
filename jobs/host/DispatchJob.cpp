#include "jobs/host/DispatchJob.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "Lumora.hh"
#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "jobs/wire/CorbaFarm.h"
#include "jobs/wire/JobReporter.h"
#include "jobs/wire/RenderBoss.h"
#include "platform/MessageBox.h"
#include "platform/ThreadPriority.h"
#include "registry/NameBinding.h"
#include "registry/RegistryClient.h"

namespace jobs {

namespace {

// The host's own command line: the ORB takes its options from it.
std::vector<std::string> HostArguments() {
  std::vector<std::string> args;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  if (args.empty()) args.push_back("lumora");
  return args;
}

// What the look-up of the workgroup server needs: a name registry that
// answers at the address the environment gives.
std::string RegistryStage() {
  const platform::StatusOr<registry::RegistryAddress> address = registry::RegistryAddressFromEnvironment();
  if (!address) return address.status().reason();
  return "no name registry answered at " + registry::Describe(*address) +
         "; start ledgo there, or point LEDGO_HOST and LEDGO_PORT at the one that runs";
}

// How a job ended: its outcome and the one line saying why.
struct Ending {
  JobOutcome outcome = JobOutcome::kFailed;
  std::string reason;
};

const char* OutcomeWord(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::kRunning: return "running";
    case JobOutcome::kCompleted: return "completed";
    case JobOutcome::kNoIdleNode: return "no node";
    case JobOutcome::kAbandoned: return "abandoned";
    case JobOutcome::kFailed: return "failed";
    case JobOutcome::kIncomplete: return "incomplete";
    case JobOutcome::kCancelled: return "cancelled";
  }
  return "failed";
}

// The job as the work group server's status shows it; any thread (the
// progress and the tally lock their own).
JobNewsData ReadNews(RenderJob& job, const BandTally& tally) {
  const JobProgressSnapshot p = job.progress().Snapshot();
  JobNewsData news;
  const JobOrder::Size size = job.order()->pictureSize();
  news.width = size.width;
  news.height = size.height;
  news.bandsDone = p.bandsDone;
  news.bandsTotal = p.bandsTotal;
  news.rowsDone = p.rowsPlaced;
  news.rowsTotal = p.rowsTotal;
  news.elapsedSeconds = p.elapsedSeconds;
  news.state = p.waiting || p.bandsTotal == 0 ? "waiting" : "running";
  for (int32_t band = 1; band <= p.bandsTotal; ++band) {
    if (tally.Failures(band) > 0)
      news.failures.push_back("band " + std::to_string(band) + ": " + tally.LastFailure(band));
  }
  return news;
}

// The wire side of one job's dispatch: the ORB, the job's boss, the work
// group. Each step sets `stage`, so that a failure names the step it came
// from. Dispatch thread only.
class DispatchRun {
 public:
  DispatchRun(std::shared_ptr<RenderJob> job, PackageBytes package)
      : job_(std::move(job)), package_(std::move(package)) {}

  // Runs the job on the farm and answers how it ended; never throws.
  Ending Run();
  // Retires the boss: late calls on it now fail at their caller.
  void Release();

 private:
  void StartOrb();
  Lumora::RenderBoss_var ActivateBoss();
  Kintra::WorkGroup_var JoinWorkGroup(uint32_t groupTimeoutMs);
  Ending Dispatch(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, uint32_t groupTimeoutMs);

  const std::shared_ptr<RenderJob> job_;
  const PackageBytes package_;
  const std::shared_ptr<BandTally> tally_ = std::make_shared<BandTally>();
  std::string stage_ = "the ORB could not start";
  CORBA::ORB_var orb_;
  PortableServer::POA_var root_;
  PortableServer::ObjectId_var bossId_;
  bool bossActive_ = false;
};

void DispatchRun::StartOrb() {
  farm::StartedOrb started = farm::StartOrb(HostArguments());
  orb_ = started.orb._retn();
  root_ = started.rootPoa._retn();
}

Lumora::RenderBoss_var DispatchRun::ActivateBoss() {
  const std::shared_ptr<RenderJob> job = job_;
  auto* boss = new RenderBoss_i(root_.in(), job->order()->workFolder(), tally_,
                                [job](int32_t line, const int32_t* colors, std::size_t count) {
                                  job->DeliverRow(line, colors, count);
                                  job->progress().RowPlaced(line);
                                });
  bossId_ = root_->activate_object(boss);
  bossActive_ = true;
  boss->_remove_ref();  // the POA owns it
  CORBA::Object_var bossObj = root_->id_to_reference(bossId_.in());
  return Lumora::RenderBoss::_narrow(bossObj.in());
}

Kintra::WorkGroup_var DispatchRun::JoinWorkGroup(uint32_t groupTimeoutMs) {
  stage_ = RegistryStage();
  CORBA::Object_var groupObj;
  try {
    groupObj = registry::resolve_initial_references2(orb_.in(), farm::kWorkGroupService, 1);
  } catch (const CORBA::OBJECT_NOT_EXIST&) {
    stage_ = std::string("no workgroup server is running (none published as \"") + farm::kWorkGroupService +
             "\" in the name registry)";
    throw;
  }
  stage_ = "the workgroup server did not answer";
  Kintra::WorkGropRegiste_var registrar = Kintra::WorkGropRegiste::_narrow(groupObj.in());
  if (CORBA::is_nil(registrar.in())) throw CORBA::BAD_PARAM();
  // A server that hangs, or whose host drops off the network, ends the
  // job with a reason instead of holding it for good.
  omniORB::setClientCallTimeout(registrar.in(), groupTimeoutMs);
  Kintra::WorkGroup_var group = registrar->CreateWorkGroup(farm::kWorkGroupName);
  if (CORBA::is_nil(group.in())) throw CORBA::OBJECT_NOT_EXIST();
  return group;
}

Ending DispatchRun::Dispatch(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, uint32_t groupTimeoutMs) {
  stage_ = "the render job failed on the farm";
  // omniORB serves the boss on threads of its own, also while this thread
  // sleeps or waits for a farmer, so the watch loop only sleeps.
  const PackageOffer offer{package_, job_->order()->packageDigest(), &job_->progress()};
  CorbaWorkgroup link(group, boss, offer, FarmerCallTimeoutMs(), groupTimeoutMs);
  Dispatcher dispatcher(link, *tally_, *job_->order(),
                        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
  dispatcher.set_progress(&job_->progress());
  if (const char* trace = std::getenv("LUMORA_BAND_TRACE"); trace != nullptr && *trace != '\0') {
    dispatcher.set_trace([](const std::string& line) { std::fprintf(stderr, "band trace: %s\n", line.c_str()); });
  }
  const std::shared_ptr<RenderJob> job = job_;
  dispatcher.set_cancelled([job] { return job->cancelled(); });
  const std::shared_ptr<BandTally> tally = tally_;
  JobReporter reporter(group, boss, [job, tally] { return ReadNews(*job, *tally); });
  Ending ending{dispatcher.Run(), std::string()};
  if (ending.outcome == JobOutcome::kCancelled) {
    // Said before the boss goes: a node that stops reports to it.
    dispatcher.StopBands();
    ending.reason = "the render job was cancelled";
  }
  if (ending.outcome == JobOutcome::kNoIdleNode) {
    const farm::Abilities& needs = job_->order()->needs();
    ending.reason = needs.words().empty() ? "no render node in the work group: start tessel on a machine of the farm"
                                          : "no render node in the work group that announces " + needs.Describe() +
                                                " (nodes of the base protocol render only the scene maker's scenes)";
  }
  if (ending.outcome == JobOutcome::kAbandoned) {
    ending.reason = "the work group lost every render node during the job; " + tally_->MissingRows() + " missing";
  }
  if (ending.outcome == JobOutcome::kIncomplete) ending.reason = dispatcher.reason();
  JobNewsData last = ReadNews(*job_, *tally_);
  last.state = OutcomeWord(ending.outcome);
  if (!ending.reason.empty()) last.failures.push_back(ending.reason);
  reporter.Finish(last);
  return ending;
}

Ending DispatchRun::Run() {
  try {
    StartOrb();
    Lumora::RenderBoss_var boss = ActivateBoss();
    const uint32_t groupTimeoutMs = WorkgroupCallTimeoutMs();
    Kintra::WorkGroup_var group = JoinWorkGroup(groupTimeoutMs);
    return Dispatch(group.in(), boss.in(), groupTimeoutMs);
  } catch (const CORBA::Exception& e) {
    return {JobOutcome::kFailed, stage_ + " (" + farm::Describe(e) + ")"};
  } catch (const std::exception& e) {
    return {JobOutcome::kFailed, stage_ + " (" + e.what() + ")"};
  } catch (...) {
    return {JobOutcome::kFailed, stage_};
  }
}

void DispatchRun::Release() {
  if (!bossActive_) return;
  try {
    root_->deactivate_object(bossId_.in());
  } catch (...) {
  }
}

}  // namespace

void RunDispatch(const std::shared_ptr<RenderJob>& job) {
  platform::SetCurrentThreadHighestPriority();
  JobOrder& order = *job->order();
  DispatchRun run(job, order.Pack());
  const Ending ending = run.Run();
  // A job that failed or found no node leaves its package, as a job of the
  // host's own folder always has; the others take theirs along.
  order.ReleasePackage(ending.outcome != JobOutcome::kCompleted && ending.outcome != JobOutcome::kAbandoned &&
                       ending.outcome != JobOutcome::kCancelled);
  if (ending.outcome == JobOutcome::kFailed) platform::MessageBox("请按照说明方式启动各级服务程序");
  run.Release();
  job->progress().JobEnded();
  job->End(ending.outcome, ending.reason);
}

}  // namespace jobs
