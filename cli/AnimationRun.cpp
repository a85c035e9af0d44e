#include "cli/AnimationRun.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Kintra.hh"
#include "demo/HeadlessJob.h"
#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "jobs/core/FrameDispatcher.h"
#include "jobs/core/JobOrder.h"
#include "jobs/wire/CorbaFarm.h"
#include "jobs/wire/CorbaFrameDesk.h"
#include "registry/NameBinding.h"

// After the ORB's own headers, which it needs.
#include <omniORB4/omniORB.h>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

std::string Clocked(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// "frames 3/20  rows 1234/4800  0:12 elapsed  0:20 left  2 out"
std::string ProgressLine(const jobs::FrameCounts& c, double elapsed) {
  std::string line = "frames " + std::to_string(c.framesDone) + "/" + std::to_string(c.framesTotal);
  if (c.framesFailed > 0) line += " (" + std::to_string(c.framesFailed) + " failed)";
  line += "  rows " + std::to_string(c.rowsDone) + "/" + std::to_string(c.rowsTotal);
  line += "  " + Clocked(elapsed) + " elapsed";
  if (c.rowsDone > 0 && c.rowsTotal > c.rowsDone) {
    line += "  " + Clocked(elapsed * static_cast<double>(c.rowsTotal - c.rowsDone) / c.rowsDone) + " left";
  }
  return line + "  " + std::to_string(c.unitsOut) + " out";
}

// The farm's work group, as the still path finds it.
Kintra::WorkGroup_var JoinWorkGroup(CORBA::ORB_ptr orb, uint32_t timeoutMs) {
  CORBA::Object_var groupObj = registry::resolve_initial_references2(orb, farm::kWorkGroupService, 1);
  Kintra::WorkGropRegiste_var registrar = Kintra::WorkGropRegiste::_narrow(groupObj.in());
  if (CORBA::is_nil(registrar.in())) throw std::runtime_error("the name registry's WorkGroup is no workgroup server");
  omniORB::setClientCallTimeout(registrar.in(), timeoutMs);
  Kintra::WorkGroup_var group = registrar->CreateWorkGroup(farm::kWorkGroupName);
  if (CORBA::is_nil(group.in())) throw std::runtime_error("the workgroup server gave no work group");
  return group;
}

struct Ending {
  jobs::JobOutcome outcome = jobs::JobOutcome::kFailed;
  std::string reason;
  std::vector<std::pair<int32_t, std::string>> failed;
  std::map<std::string, int32_t> perNode;
  jobs::JobProgressSnapshot package;
  bool timedOut = false;
};

// Everything between the package and the last frame; never throws.
Ending Dispatch(jobs::JobOrder& order, const farm::FrameRange& frames, const std::vector<int32_t>& skip,
                const std::string& out, const RenderCommand& command, const std::vector<std::string>& orbArgs) {
  Ending ending;
  const jobs::PackageBytes bytes = order.Pack();
  if (!bytes) return {jobs::JobOutcome::kFailed, "the scene's package could not be written"};
  jobs::JobProgress progress;
  try {
    farm::StartedOrb orb = farm::StartOrb(orbArgs);
    const uint32_t groupTimeout = jobs::WorkgroupCallTimeoutMs();
    Kintra::WorkGroup_var group = JoinWorkGroup(orb.orb.in(), groupTimeout);
    const jobs::PackageOffer offer{bytes, order.packageDigest(), &progress};
    jobs::CorbaWorkgroup link(group.in(), Lumora::RenderBoss::_nil(), offer, jobs::FarmerCallTimeoutMs(), groupTimeout);
    const int32_t width = order.startSize().width;
    const int32_t height = order.startSize().height;
    jobs::CorbaFrameDesk desk(orb.rootPoa.in(), order.packageFile().parent_path(), out, frames.final, width, height);
    jobs::FramePlan plan(frames.first, frames.last, skip);
    farm::Abilities needs = order.needs();
    needs.Add(farm::kAbilityFrames);
    jobs::FrameDispatcher dispatcher(link, desk, plan, needs, width, height,
                                     [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    const Clock::time_point start = Clock::now();
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    int32_t shownDone = -1;
    dispatcher.set_on_pass([&](const jobs::FrameCounts& c) {
      if (command.quiet || (!terminal && c.framesDone == shownDone)) return;
      shownDone = c.framesDone;
      const std::string line = ProgressLine(c, std::chrono::duration<double>(Clock::now() - start).count());
      std::printf(terminal ? "\r%s\033[K" : "%s\n", line.c_str());
      std::fflush(stdout);
    });
    dispatcher.set_cancelled([&] {
      ending.timedOut =
          command.timeoutSeconds > 0 && Clock::now() - start > std::chrono::seconds(command.timeoutSeconds);
      return ending.timedOut;
    });
    ending.outcome = dispatcher.Run();
    if (!command.quiet && terminal) std::printf("\n");
    ending.failed = plan.FailedFrames();
    ending.perNode = dispatcher.framesPerFarmer();
  } catch (const CORBA::Exception& e) {
    ending.outcome = jobs::JobOutcome::kFailed;
    ending.reason = "the farm could not be reached (" + farm::Describe(e) + ")";
  } catch (const std::exception& e) {
    ending.outcome = jobs::JobOutcome::kFailed;
    ending.reason = std::string("the farm could not render the animation (") + e.what() + ")";
  }
  ending.package = progress.Snapshot();
  return ending;
}

void PrintSummary(const Ending& e) {
  for (const auto& [node, count] : e.perNode) std::printf("  %-24s %d frames\n", node.c_str(), count);
  std::printf("  package sent %d times (%lld bytes), already held %d times\n", e.package.packagesSent,
              static_cast<long long>(e.package.packageBytesSent), e.package.packagesHeld);
}

}  // namespace

int RunAnimation(const farm::RenderOptions& options, const farm::FrameRange& frames, const std::string& out,
                 const RenderCommand& command, const std::vector<std::string>& orbArgs) {
  platform::StatusOr<jobs::UserScene> scene = jobs::UserScene::Plan(options);
  if (!scene) {
    std::fprintf(stderr, "lumora: %s\n", scene.status().reason().c_str());
    return demo::kExitUsage;
  }
  std::vector<int32_t> skip;
  if (options.continueTrace) skip = jobs::FramesOnDisk(out, frames.first, frames.last, frames.final);
  const int32_t toRender = frames.last - frames.first + 1 - static_cast<int32_t>(skip.size());
  if (!command.quiet && !skip.empty()) std::printf("lumora: %zu frames on disk already\n", skip.size());
  if (toRender == 0) return demo::kExitOk;
  std::error_code ec;
  const std::filesystem::path work =
      std::filesystem::temp_directory_path(ec) / ("lumora-frames-" + std::to_string(::getpid()));
  std::filesystem::create_directories(work, ec);
  Ending ending;
  {
    jobs::JobOrder order(static_cast<uint64_t>(::getpid()), {options.width, options.height}, jobs::BandPlan{}, work);
    order.set_scene(std::make_shared<const jobs::UserScene>(std::move(scene).value()));
    ending = Dispatch(order, frames, skip, out, command, orbArgs);
    order.ReleasePackage(false);
  }
  std::filesystem::remove_all(work, ec);
  if (!command.quiet) PrintSummary(ending);
  for (const auto& [frame, why] : ending.failed) {
    std::fprintf(stderr, "lumora: frame %d failed: %s\n", frame, why.c_str());
  }
  if (ending.timedOut) {
    std::fprintf(stderr, "lumora: no end after %d seconds\n", command.timeoutSeconds);
    return demo::kExitTimeout;
  }
  switch (ending.outcome) {
    case jobs::JobOutcome::kCompleted:
      std::printf("lumora: %d frames rendered at %d x %d, saved as %s\n", toRender, options.width, options.height,
                  jobs::FrameFileName(out, frames.final, frames.final).string().c_str());
      return demo::kExitOk;
    case jobs::JobOutcome::kIncomplete:
      std::fprintf(stderr, "lumora: %zu of %d frames failed\n", ending.failed.size(), toRender);
      return demo::kExitNoRender;
    case jobs::JobOutcome::kNoIdleNode:
      std::fprintf(stderr, "lumora: no render node in the work group that announces scene, frames\n");
      return demo::kExitNoRender;
    case jobs::JobOutcome::kAbandoned:
      std::fprintf(stderr, "lumora: the work group lost every render node during the animation\n");
      return demo::kExitNoRender;
    default:
      std::fprintf(stderr, "lumora: %s\n", ending.reason.empty() ? "the animation failed" : ending.reason.c_str());
      return demo::kExitNoRender;
  }
}

}  // namespace cli
