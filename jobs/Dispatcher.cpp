#include "jobs/Dispatcher.h"

#include <utility>

namespace lumora {

Dispatcher::Dispatcher(WorkgroupLink& group, BandTally& tally, int32_t height, PictureSize size, Sleep sleep)
    : group_(group), tally_(tally), height_(height), size_(std::move(size)), sleep_(std::move(sleep)) {}

std::vector<std::shared_ptr<FarmerLink>> Dispatcher::LiveIdle(
    const std::vector<std::shared_ptr<FarmerLink>>& farmers) {
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
    if (b.assigned && b.farmer && !tally_.Reported(b.band.index) && b.farmer->SameFarmer(farmer)) return true;
  }
  return false;
}

void Dispatcher::HandOutPass(const std::vector<std::shared_ptr<FarmerLink>>& idle) {
  std::size_t cursor = 0;
  const auto count = static_cast<int32_t>(bands_.size());
  for (BandState& b : bands_) {
    if (b.assigned || tally_.Reported(b.band.index)) continue;
    if (cursor >= idle.size()) break;
    std::shared_ptr<FarmerLink> farmer = idle[cursor++];
    int32_t width = 0;
    int32_t height = 0;
    size_(&width, &height);
    const JobRows rows = RowsToRender(b.band, count);
    const JobParameters job{b.band.index, count, width, height, rows.first_row, rows.last_row};
    b.farmer = farmer;
    b.assigned = true;
    ++hand_outs_;
    farmer->HandOut(job);
  }
}

void Dispatcher::Watch() {
  for (;;) {
    bool failure = false;
    for (BandState& b : bands_) {
      if (tally_.Reported(b.band.index)) continue;
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
      } catch (...) {
        b.assigned = false;
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
  const auto n = static_cast<int32_t>(LiveIdle(farmers).size());
  if (n == 0) return JobOutcome::kNoIdleNode;
  tally_.SetBandCount(n);
  for (const Band& band : SplitBands(height_, n)) bands_.push_back(BandState{band, nullptr, false});

  for (;;) {
    if (tally_.Complete()) return JobOutcome::kCompleted;
    const std::vector<std::shared_ptr<FarmerLink>> listed = group_.GetValidFarmer();
    if (listed.empty()) return JobOutcome::kAbandoned;
    const std::vector<std::shared_ptr<FarmerLink>> idle = LiveIdle(listed);
    if (idle.empty()) {
      sleep_(kNoIdlePause);
      continue;
    }
    HandOutPass(idle);
    Watch();
  }
}

}  // namespace lumora
