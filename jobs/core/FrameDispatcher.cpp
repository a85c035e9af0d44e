#include "jobs/core/FrameDispatcher.h"

#include <algorithm>

#include "jobs/core/BandSplit.h"

namespace jobs {

namespace {

constexpr std::chrono::milliseconds kWatchPause{100};
// The work group is asked again this often: nodes join and leave.
constexpr std::chrono::seconds kListEvery{2};
// A farmer that did not answer is not asked again before this.
constexpr std::chrono::seconds kQuietFor{5};
// With no farmer answering for this long, the job is abandoned.
constexpr std::chrono::seconds kAbandonAfter{30};

}  // namespace

FrameDispatcher::FrameDispatcher(WorkgroupLink& group, FrameDesk& desk, FramePlan& plan, farm::Abilities needs,
                                 int32_t width, int32_t height, Sleep sleep)
    : group_(group),
      desk_(desk),
      plan_(plan),
      needs_(std::move(needs)),
      width_(width),
      height_(height),
      sleep_(std::move(sleep)) {}

FrameCounts FrameDispatcher::counts() const {
  FrameCounts c;
  c.framesDone = plan_.framesDone();
  c.framesTotal = plan_.framesTotal();
  c.framesFailed = static_cast<int32_t>(plan_.FailedFrames().size());
  c.unitsOut = static_cast<int32_t>(out_.size());
  c.rowsDone = rowsDone_;
  c.rowsTotal = static_cast<int64_t>(c.framesTotal) * height_;
  return c;
}

farm::WorkUnit FrameDispatcher::RenderRows(const FrameUnit& unit) const {
  if (unit.bands <= 1) return {1, height_, unit.frame};
  const Band band = SplitBands(height_, unit.bands)[static_cast<std::size_t>(unit.band - 1)];
  farm::WorkUnit rows = RowsToRender(band, unit.bands);
  rows.frame = unit.frame;
  return rows;
}

farm::WorkUnit FrameDispatcher::OwedRows(const FrameUnit& unit) const {
  if (unit.bands <= 1) return {1, height_, std::nullopt};
  const Band band = SplitBands(height_, unit.bands)[static_cast<std::size_t>(unit.band - 1)];
  return Dispatcher::OwedRows(band, unit.bands);
}

void FrameDispatcher::RefreshFarmers() {
  const Clock::time_point now = Clock::now();
  if (!members_.empty() && now - listedAt_ < kListEvery) return;
  listedAt_ = now;
  std::vector<Member> members;
  for (const std::shared_ptr<FarmerLink>& f : group_.GetValidFarmer()) {
    if (!f) continue;
    // The link kept from before keeps what it learnt (abilities, silence).
    auto known =
        std::find_if(members_.begin(), members_.end(), [&f](const Member& m) { return m.farmer->SameFarmer(*f); });
    const bool twice =
        std::any_of(members.begin(), members.end(), [&f](const Member& m) { return m.farmer->SameFarmer(*f); });
    if (twice) continue;
    members.push_back(known != members_.end() ? *known : Member{f, {}});
  }
  members_ = std::move(members);
}

bool FrameDispatcher::Busy(const FarmerLink& farmer) const {
  return std::any_of(out_.begin(), out_.end(), [&farmer](const Attempt& a) { return a.farmer->SameFarmer(farmer); });
}

std::vector<std::shared_ptr<FarmerLink>> FrameDispatcher::IdleFarmers() {
  std::vector<std::shared_ptr<FarmerLink>> idle;
  const Clock::time_point now = Clock::now();
  for (Member& m : members_) {
    if (now < m.quietUntil || Busy(*m.farmer)) continue;
    try {
      // A farmer that cannot take frames would render every one at the
      // first frame's clock, without an error.
      if (m.farmer->IsLive() && m.farmer->IsIdle() && m.farmer->Abilities().Covers(needs_)) idle.push_back(m.farmer);
    } catch (...) {
      m.quietUntil = now + kQuietFor;
    }
  }
  return idle;
}

bool FrameDispatcher::HandOutOne(const FrameUnit& unit, const std::shared_ptr<FarmerLink>& farmer) {
  const int32_t label = plan_.LabelOf(unit);
  JobParameters job;
  job.part = label;
  job.partCount = std::max(plan_.labels(), plan_.framesTotal());
  job.width = width_;
  job.height = height_;
  job.rows = RenderRows(unit);
  Attempt a{label, unit, job.rows, farmer, 0, 0, 0};
  const FrameDesk::Heard before = desk_.Hear(unit.frame, label);
  a.endsBefore = before.ends;
  a.failuresBefore = before.failures;
  try {
    desk_.HandOut(*farmer, unit.frame, job);
  } catch (const EngagementRefused&) {
    plan_.Retry(label);
    return false;
  } catch (const FarmerUnreachable& e) {
    UnitFailed(a, e.what());
    return false;
  }
  out_.push_back(a);
  return true;
}

void FrameDispatcher::HandOutUnits(std::vector<std::shared_ptr<FarmerLink>> idle) {
  if (idle.empty()) return;
  const int32_t labelsBefore = plan_.labels();
  const std::vector<FrameUnit> units = plan_.Next(static_cast<int>(idle.size()));
  // Frames cut now get their receivers, with the rows of all their bands.
  std::map<int32_t, std::map<int32_t, farm::WorkUnit>> opened;
  for (int32_t label = labelsBefore + 1; label <= plan_.labels(); ++label) {
    const FrameUnit unit = *plan_.UnitOf(label);
    opened[unit.frame][label] = OwedRows(unit);
  }
  for (const auto& [frame, owed] : opened) desk_.Open(frame, owed);
  for (const FrameUnit& unit : units) {
    const std::vector<std::string>& tried = triedBy_[plan_.LabelOf(unit)];
    // A farmer that has not failed this unit yet, where there is one.
    auto pick = std::find_if(idle.begin(), idle.end(), [&tried](const std::shared_ptr<FarmerLink>& f) {
      return std::find(tried.begin(), tried.end(), f->Name()) == tried.end();
    });
    if (pick == idle.end()) pick = idle.begin();
    const std::shared_ptr<FarmerLink> farmer = *pick;
    idle.erase(pick);
    HandOutOne(unit, farmer);
  }
}

void FrameDispatcher::UnitDone(const Attempt& a) {
  rowsDone_ += OwedRows(a.unit).rows();
  if (!plan_.Done(a.label)) return;
  if (platform::Status saved = desk_.Finish(a.unit.frame); !saved) {
    // The frame is whole but has no file: as good as failed.
    plan_.Failed(a.label, saved.reason(), true);
    return;
  }
  ++framesPerFarmer_[a.farmer->Name()];
}

void FrameDispatcher::UnitFailed(const Attempt& a, const std::string& why, bool final) {
  triedBy_[a.label].push_back(a.farmer->Name());
  plan_.Failed(a.label, why, final);
  const std::vector<std::pair<int32_t, std::string>> failed = plan_.FailedFrames();
  const bool lost = std::any_of(failed.begin(), failed.end(), [&a](const auto& f) { return f.first == a.unit.frame; });
  if (!lost) return;
  // The frame's other units are of no use any more.
  for (const Attempt& other : out_) {
    if (other.unit.frame == a.unit.frame && other.label != a.label) desk_.Stop(*other.farmer, a.unit.frame);
  }
  out_.erase(std::remove_if(out_.begin(), out_.end(),
                            [&a](const Attempt& o) { return o.unit.frame == a.unit.frame && o.label != a.label; }),
             out_.end());
  desk_.Drop(a.unit.frame);
}

bool FrameDispatcher::WatchOne(Attempt& a) {
  const FrameDesk::Heard heard = desk_.Hear(a.unit.frame, a.label);
  if (heard.failures > a.failuresBefore) {
    UnitFailed(a, heard.lastFailure, heard.sceneWrong);
    return true;
  }
  if (heard.ends > a.endsBefore && heard.rowsThere) {
    UnitDone(a);
    return true;
  }
  bool idle = false;
  try {
    idle = a.farmer->IsIdle();
  } catch (const std::exception& e) {
    UnitFailed(a, a.farmer->Name() + " stopped answering (" + e.what() + ")");
    return true;
  }
  if (!idle) {
    a.idleUnreported = 0;
    return false;
  }
  if (heard.ends > a.endsBefore) {
    UnitFailed(a, a.farmer->Name() + " ended frame " + std::to_string(a.unit.frame) + " with rows missing");
    return true;
  }
  // A node that has just started may still answer idle; a lost end
  // report leaves it idle for good.
  if (++a.idleUnreported < Dispatcher::kLostEndPasses) return false;
  if (heard.rowsThere) {
    UnitDone(a);
  } else {
    UnitFailed(a, a.farmer->Name() + " went idle without reporting frame " + std::to_string(a.unit.frame));
  }
  return true;
}

void FrameDispatcher::WatchPass() {
  // WatchOne may drop other attempts of a lost frame: index by label.
  std::vector<int32_t> labels;
  for (const Attempt& a : out_) labels.push_back(a.label);
  for (int32_t label : labels) {
    auto it = std::find_if(out_.begin(), out_.end(), [label](const Attempt& a) { return a.label == label; });
    if (it == out_.end()) continue;
    Attempt a = *it;
    const bool over = WatchOne(a);
    it = std::find_if(out_.begin(), out_.end(), [label](const Attempt& o) { return o.label == label; });
    if (it == out_.end()) continue;
    if (over) {
      out_.erase(it);
    } else {
      *it = a;
    }
  }
}

JobOutcome FrameDispatcher::Run() {
  RefreshFarmers();
  const bool anyAble = std::any_of(members_.begin(), members_.end(), [this](const Member& m) {
    try {
      return m.farmer->Abilities().Covers(needs_);
    } catch (...) {
      return false;
    }
  });
  if (!anyAble) return JobOutcome::kNoIdleNode;
  Clock::time_point lastWork = Clock::now();
  while (!plan_.Over()) {
    if (cancelled_ && cancelled_()) {
      for (const Attempt& a : out_) desk_.Stop(*a.farmer, a.unit.frame);
      return JobOutcome::kCancelled;
    }
    RefreshFarmers();
    HandOutUnits(IdleFarmers());
    WatchPass();
    if (onPass_) onPass_(counts());
    // Nodes busy with other jobs keep the job waiting; only a farm without
    // a node that answers abandons it.
    const Clock::time_point now = Clock::now();
    const bool answering =
        std::any_of(members_.begin(), members_.end(), [now](const Member& m) { return now >= m.quietUntil; });
    if (!out_.empty() || answering) lastWork = now;
    if (out_.empty() && now - lastWork > kAbandonAfter) return JobOutcome::kAbandoned;
    if (!plan_.Over()) sleep_(kWatchPause);
  }
  return plan_.FailedFrames().empty() ? JobOutcome::kCompleted : JobOutcome::kIncomplete;
}

}  // namespace jobs
