#include "jobs/Dispatcher.h"

#include <utility>

namespace jobs {

Dispatcher::Dispatcher(WorkgroupLink& group, BandTally& tally, int32_t height, PictureSize size, Sleep sleep,
                       BandPlan plan)
    : group_(group), tally_(tally), height_(height), size_(std::move(size)), sleep_(std::move(sleep)), plan_(plan) {}

RowRange Dispatcher::OwedRows(const Band& band, int32_t count) {
  const int32_t first = band.firstRow < 1 ? 1 : band.firstRow;
  // The seam row below an inner band is its own to deliver (its render
  // covers it), so the bands together owe every row once.
  const int32_t last = band.index < count ? band.lastRow + 1 : band.lastRow;
  return {first, last};
}

std::vector<std::shared_ptr<FarmerLink>> Dispatcher::LiveIdle(const std::vector<std::shared_ptr<FarmerLink>>& farmers) {
  std::vector<std::shared_ptr<FarmerLink>> idle;
  for (const std::shared_ptr<FarmerLink>& f : farmers) {
    if (!f || HoldsOpenBand(*f)) continue;
    try {
      const bool live = f->IsLive();
      const bool is_idle = f->IsIdle();
      if (live && is_idle) idle.push_back(f);
    } catch (...) {
      // A farmer that cannot answer sits this pass out.
    }
  }
  return idle;
}

bool Dispatcher::HoldsOpenBand(const FarmerLink& farmer) const {
  for (const BandState& b : bands_) {
    if (b.assigned && b.farmer && !tally_.Done(b.band.index) && b.farmer->SameFarmer(farmer)) return true;
  }
  return false;
}

bool Dispatcher::Tried(const BandState& b, const FarmerLink& farmer) {
  for (const std::shared_ptr<FarmerLink>& t : b.tried) {
    if (t->SameFarmer(farmer)) return true;
  }
  return false;
}

void Dispatcher::AttemptFailed(BandState& b, const std::string& why) {
  b.assigned = false;
  if (progress_) progress_->BandLost(b.band.index);
  ++b.failed;
  if (b.farmer) b.tried.push_back(b.farmer);
  b.lastFailure = why;
  if (b.failed < kMostAttempts || given_up_) return;
  given_up_ = true;
  const auto count = static_cast<int32_t>(bands_.size());
  const RowRange owed = OwedRows(b.band, count);
  std::string farmers;
  for (const std::shared_ptr<FarmerLink>& t : b.tried) farmers += (farmers.empty() ? "" : ", ") + t->Name();
  const std::string missing = tally_.MissingRows(owed);
  reason_ = "band " + std::to_string(b.band.index) + " (rows " + std::to_string(owed.first) + "-" +
            std::to_string(owed.last) + ") failed " + std::to_string(b.failed) + " times (farmers: " + farmers +
            "; last: " + why + ")" + (missing.empty() ? "" : "; " + missing + " missing");
}

int Dispatcher::HandOutPass(const std::vector<std::shared_ptr<FarmerLink>>& idle,
                            const std::vector<std::shared_ptr<FarmerLink>>& listed) {
  std::vector<bool> used(idle.size(), false);
  const auto count = static_cast<int32_t>(bands_.size());
  int handed = 0;
  for (BandState& b : bands_) {
    if (b.assigned || tally_.Done(b.band.index)) continue;
    // A farmer that failed this band gets it again only when every farmer
    // of the work group has failed it.
    bool everyone_tried = true;
    for (const std::shared_ptr<FarmerLink>& f : listed) {
      if (f && !Tried(b, *f)) everyone_tried = false;
    }
    std::size_t pick = idle.size();
    for (std::size_t i = 0; i < idle.size() && pick == idle.size(); ++i) {
      if (!used[i] && (everyone_tried || !Tried(b, *idle[i]))) pick = i;
    }
    if (pick == idle.size()) continue;
    used[pick] = true;
    std::shared_ptr<FarmerLink> farmer = idle[pick];
    int32_t width = 0;
    int32_t height = 0;
    size_(&width, &height);
    const JobRows rows = RowsToRender(b.band, count);
    const JobParameters job{b.band.index, count, width, height, rows.firstRow, rows.lastRow};
    b.farmer = farmer;
    b.assigned = true;
    b.endsBefore = tally_.Ends(b.band.index);
    b.idleUnreported = 0;
    b.failuresBefore = tally_.Failures(b.band.index);
    ++hand_outs_;
    try {
      farmer->HandOut(job);
      ++handed;
      if (progress_) progress_->BandHandedOut(b.band.index, rows.firstRow, rows.lastRow, farmer->Name());
    } catch (const EngagementRefused&) {
      b.assigned = false;  // busy after all: it holds nothing of ours
    } catch (const FarmerUnreachable& e) {
      AttemptFailed(b, std::string("hand-out failed: ") + e.what());
    }
  }
  return handed;
}

void Dispatcher::Watch() {
  for (;;) {
    bool failure = false;
    for (BandState& b : bands_) {
      const int32_t index = b.band.index;
      if (tally_.Done(index)) {
        if (progress_) progress_->BandReported(index);
        continue;
      }
      // A band that lost its farmer and found no new one yet sends the loop
      // back to the hand-out, even when its old farmer answers again: that
      // farmer may since render another band, and only a failure ends the
      // watch before the job does.
      if (!b.farmer || !b.assigned) {
        b.assigned = false;
        failure = true;
        continue;
      }
      try {
        b.farmer->IsLive();
        const bool failed = tally_.Failures(index) > b.failuresBefore;
        if (failed || tally_.Ends(index) > b.endsBefore) {
          // Someone ended the band: once its present farmer is idle, that
          // was this attempt, and the rows it left out are missing.
          if (b.farmer->IsIdle() && !tally_.Done(index)) {
            AttemptFailed(b, failed ? tally_.LastFailure(index)
                                    : b.farmer->Name() + " ended with " +
                                          tally_.MissingRows(OwedRows(b.band, static_cast<int32_t>(bands_.size()))) +
                                          " missing");
            failure = true;
          }
        } else if (b.farmer->IsIdle()) {
          // The farmer has gone idle, yet no end report came: it was lost on
          // the way. After a grace for a report still in flight, the rows
          // decide: all here, they are the band; some missing, the attempt
          // failed like one that ended short.
          if (++b.idleUnreported >= kLostEndPasses) {
            const std::string missing = tally_.MissingRows(OwedRows(b.band, static_cast<int32_t>(bands_.size())));
            if (missing.empty()) {
              tally_.Report(index);
            } else {
              AttemptFailed(
                  b, b.farmer->Name() + " went idle without reporting the band's end, with " + missing + " missing");
              failure = true;
            }
          }
        } else {
          b.idleUnreported = 0;
        }
      } catch (...) {
        AttemptFailed(b, b.farmer->Name() + " stopped answering");
        failure = true;
      }
    }
    if (tally_.Complete() || failure) return;
    sleep_(kWatchPause);
  }
}

JobOutcome Dispatcher::Run() {
  const std::vector<std::shared_ptr<FarmerLink>> farmers = group_.GetValidFarmer();
  if (farmers.empty()) return JobOutcome::kNoIdleNode;
  const auto idle_at_start = static_cast<int32_t>(LiveIdle(farmers).size());
  if (idle_at_start == 0) return JobOutcome::kNoIdleNode;
  const int32_t n = plan_.BandCount(idle_at_start);
  tally_.SetBandCount(n);
  std::vector<RowRange> owed;
  for (const Band& band : SplitBands(height_, n)) {
    BandState state;
    state.band = band;
    bands_.push_back(std::move(state));
    owed.push_back(OwedRows(band, n));
  }
  tally_.SetRows(height_, owed);
  if (progress_) progress_->Start(height_, n);

  for (;;) {
    if (tally_.Complete()) {
      for (const BandState& b : bands_) {
        if (progress_) progress_->BandReported(b.band.index);
      }
      return JobOutcome::kCompleted;
    }
    if (given_up_) return JobOutcome::kIncomplete;
    const std::vector<std::shared_ptr<FarmerLink>> listed = group_.GetValidFarmer();
    if (listed.empty()) return JobOutcome::kAbandoned;
    const std::vector<std::shared_ptr<FarmerLink>> idle = LiveIdle(listed);
    if (idle.empty()) {
      sleep_(plan_.shared() ? kWatchPause : kNoIdlePause);
      continue;
    }
    // Idle farmers, but none may take the waiting bands: pause rather than
    // ask the work group again at once.
    if (HandOutPass(idle, listed) == 0) sleep_(kWatchPause);
    if (given_up_) continue;
    Watch();
  }
}

}  // namespace jobs
