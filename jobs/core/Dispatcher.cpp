#include "jobs/core/Dispatcher.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace jobs {

Dispatcher::Dispatcher(WorkgroupLink& group, BandTally& tally, const JobOrder& order, Sleep sleep)
    : group_(group), tally_(tally), order_(order), sleep_(std::move(sleep)) {}

farm::WorkUnit Dispatcher::OwedRows(const Band& band, int32_t count) {
  farm::WorkUnit owed = band.rows;
  if (owed.first < 1) owed.first = 1;
  // The seam row below an inner band is its own to deliver (its render
  // covers it), so the bands together owe every row once.
  if (band.index < count) ++owed.last;
  return owed;
}

namespace {

// Runs `call(i)` for every i below `count`, each on a thread of its own,
// and waits for them all.
void RunAtOnce(std::size_t count, const std::function<void(std::size_t)>& call) {
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < count; ++i) {
    try {
      threads.emplace_back(call, i);
    } catch (const std::system_error&) {
      call(i);  // no thread to be had: this one calls in turn
    }
  }
  for (std::thread& t : threads) t.join();
}

// Calls `probe` on every farmer at once, each on a thread of its own, and
// waits for them all: every call is under its link's own time limit, so a
// pass takes about one such limit however many farmers do not answer,
// instead of one per silent farmer. A link listed twice is called once.
// Answers per farmer what `probe` answered; false for a null link and for
// one that raised.
std::vector<char> ProbeAtOnce(const std::vector<std::shared_ptr<FarmerLink>>& farmers,
                              const std::function<bool(FarmerLink&)>& probe) {
  std::vector<char> answers(farmers.size(), 0);
  std::vector<std::size_t> first(farmers.size());
  std::vector<std::size_t> asked;
  for (std::size_t i = 0; i < farmers.size(); ++i) {
    first[i] = static_cast<std::size_t>(std::find(farmers.begin(), farmers.end(), farmers[i]) - farmers.begin());
    if (farmers[i] && first[i] == i) asked.push_back(i);
  }
  RunAtOnce(asked.size(), [&](std::size_t k) {
    try {
      answers[asked[k]] = probe(*farmers[asked[k]]) ? 1 : 0;
    } catch (...) {
      // A farmer that cannot answer sits this pass out.
    }
  });
  for (std::size_t i = 0; i < farmers.size(); ++i) answers[i] = answers[first[i]];
  return answers;
}

}  // namespace

std::vector<std::shared_ptr<FarmerLink>> Dispatcher::LiveIdle(const std::vector<std::shared_ptr<FarmerLink>>& farmers) {
  std::vector<std::shared_ptr<FarmerLink>> free;
  for (const std::shared_ptr<FarmerLink>& f : farmers) {
    // A link listed twice is one farmer: one band, from one thread.
    const bool again = std::find(free.begin(), free.end(), f) != free.end();
    free.push_back(f && !again && !HoldsOpenBand(*f) ? f : nullptr);
  }
  const farm::Abilities& needs = order_.needs();
  const std::vector<char> idle = ProbeAtOnce(free, [&needs](FarmerLink& f) {
    const bool live = f.IsLive();
    // A farmer that cannot do what the job needs would render it wrong.
    return f.IsIdle() && live && (needs.words().empty() || f.Abilities().Covers(needs));
  });
  std::vector<std::shared_ptr<FarmerLink>> idleFarmers;
  for (std::size_t i = 0; i < free.size(); ++i) {
    if (idle[i]) idleFarmers.push_back(free[i]);
  }
  return idleFarmers;
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
  if (givenUp_) return;
  // A scene that does not parse fails everywhere: one attempt tells.
  if (const std::string scene = tally_.SceneError(); !scene.empty()) {
    givenUp_ = true;
    reason_ = "the scene cannot be rendered: " + scene;
    return;
  }
  if (b.failed < kMostAttempts) return;
  givenUp_ = true;
  const auto count = static_cast<int32_t>(bands_.size());
  const farm::WorkUnit owed = OwedRows(b.band, count);
  std::string farmers;
  for (const std::shared_ptr<FarmerLink>& t : b.tried) farmers += (farmers.empty() ? "" : ", ") + t->Name();
  const std::string missing = tally_.MissingRows(owed);
  reason_ = "band " + std::to_string(b.band.index) + " (rows " + std::to_string(owed.first) + "-" +
            std::to_string(owed.last) + ") failed " + std::to_string(b.failed) + " times (farmers: " + farmers +
            "; last: " + why + ")" + (missing.empty() ? "" : "; " + missing + " missing");
}

std::size_t Dispatcher::PickFarmer(const BandState& b, const std::vector<std::shared_ptr<FarmerLink>>& idle,
                                   const std::vector<bool>& used,
                                   const std::vector<std::shared_ptr<FarmerLink>>& listed) {
  // A farmer that failed this band gets it again only when every farmer
  // of the work group has failed it.
  bool everyoneTried = true;
  for (const std::shared_ptr<FarmerLink>& f : listed) {
    if (f && !Tried(b, *f)) everyoneTried = false;
  }
  for (std::size_t i = 0; i < idle.size(); ++i) {
    if (!used[i] && (everyoneTried || !Tried(b, *idle[i]))) return i;
  }
  return idle.size();
}

JobParameters Dispatcher::BeginHandOut(BandState& b, const std::shared_ptr<FarmerLink>& farmer) {
  const auto count = static_cast<int32_t>(bands_.size());
  // The size as it is now: the host may have changed it since the job began.
  const JobOrder::Size size = order_.pictureSize();
  const farm::WorkUnit rows = RowsToRender(b.band, count);
  b.farmer = farmer;
  b.assigned = true;
  b.endsBefore = tally_.Ends(b.band.index);
  b.idleUnreported = 0;
  b.failuresBefore = tally_.Failures(b.band.index);
  ++handOuts_;
  return JobParameters{b.band.index, count, size.width, size.height, rows};
}

bool Dispatcher::EndHandOut(BandState& b, const JobParameters& job, const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
    if (progress_) progress_->BandHandedOut(b.band.index, job.rows, b.farmer->Name());
    return true;
  } catch (const EngagementRefused&) {
    b.assigned = false;  // busy after all: it holds nothing of ours
  } catch (const FarmerUnreachable& e) {
    AttemptFailed(b, std::string("hand-out failed: ") + e.what());
  }
  return false;
}

int Dispatcher::HandOutPass(const std::vector<std::shared_ptr<FarmerLink>>& idle,
                            const std::vector<std::shared_ptr<FarmerLink>>& listed) {
  std::vector<bool> used(idle.size(), false);
  std::vector<BandState*> picked;
  std::vector<JobParameters> jobs;
  for (BandState& b : bands_) {
    if (b.assigned || tally_.Done(b.band.index)) continue;
    const std::size_t pick = PickFarmer(b, idle, used, listed);
    if (pick == idle.size()) continue;
    used[pick] = true;
    picked.push_back(&b);
    jobs.push_back(BeginHandOut(b, idle[pick]));
  }
  // Every farmer engaged at once: one that stops answering costs the pass
  // one call time limit, not one each.
  std::vector<std::exception_ptr> errors(picked.size());
  RunAtOnce(picked.size(), [&](std::size_t i) {
    try {
      picked[i]->farmer->HandOut(jobs[i]);
    } catch (...) {
      errors[i] = std::current_exception();
    }
  });
  int handed = 0;
  for (std::size_t i = 0; i < picked.size(); ++i) {
    if (EndHandOut(*picked[i], jobs[i], errors[i])) ++handed;
  }
  return handed;
}

bool Dispatcher::Watch() {
  for (;;) {
    if (Cancelled()) return false;
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
    if (tally_.Complete() || failure) return true;
    sleep_(kWatchPause);
  }
}

void Dispatcher::CutBands(int32_t count) {
  const int32_t height = order_.bandHeight();
  tally_.SetBandCount(count);
  std::vector<farm::WorkUnit> owed;
  for (const Band& band : SplitBands(height, count)) {
    BandState state;
    state.band = band;
    bands_.push_back(std::move(state));
    owed.push_back(OwedRows(band, count));
  }
  tally_.SetRows(height, owed);
  if (progress_) progress_->Start(height, count);
}

bool Dispatcher::BandsWaiting() const {
  for (const BandState& b : bands_) {
    if (!b.assigned && !tally_.Done(b.band.index)) return true;
  }
  return false;
}

JobOutcome Dispatcher::Run() {
  const JobOutcome outcome = Loop();
  if (inLine_) group_.LeaveLine();
  inLine_ = false;
  return outcome;
}

JobOutcome Dispatcher::Loop() {
  if (Cancelled()) return JobOutcome::kCancelled;
  const std::vector<std::shared_ptr<FarmerLink>> farmers = group_.GetValidFarmer();
  int32_t liveAtStart = 0;
  // One that does not answer, or cannot do what the job needs, gets no band
  // cut for it; with none able the job ends rather than waits for ever.
  const farm::Abilities& needs = order_.needs();
  const auto able = [&needs](FarmerLink& f) {
    return f.IsLive() && (needs.words().empty() || f.Abilities().Covers(needs));
  };
  for (char live : ProbeAtOnce(farmers, able)) liveAtStart += live;
  if (liveAtStart == 0) return JobOutcome::kNoIdleNode;
  CutBands(order_.plan().BandCount(liveAtStart));

  for (;;) {
    if (Cancelled()) return JobOutcome::kCancelled;
    if (tally_.Complete()) {
      for (const BandState& b : bands_) {
        if (progress_) progress_->BandReported(b.band.index);
      }
      return JobOutcome::kCompleted;
    }
    if (givenUp_) return JobOutcome::kIncomplete;
    const std::vector<std::shared_ptr<FarmerLink>> listed = group_.GetValidFarmer();
    if (listed.empty()) return JobOutcome::kAbandoned;
    std::vector<std::shared_ptr<FarmerLink>> idle = LiveIdle(listed);
    if (BandsWaiting()) {
      const int ahead = group_.WaitInLine();
      inLine_ = true;
      if (ahead > 0) idle.clear();  // the free farmers go to the jobs before ours: busy for us
    }
    int32_t busy = -static_cast<int32_t>(idle.size());
    for (const std::shared_ptr<FarmerLink>& f : listed) busy += f ? 1 : 0;
    if (idle.empty()) {
      if (progress_ && handOuts_ == 0) progress_->Waiting(busy);
      sleep_(order_.plan().shared() ? kWatchPause : kNoIdlePause);
      continue;
    }
    // Idle farmers, but none may take the waiting bands: pause rather than
    // ask the work group again at once.
    if (HandOutPass(idle, listed) == 0) sleep_(kWatchPause);
    if (inLine_ && !BandsWaiting()) {
      group_.LeaveLine();  // the next job in line may have the next free farmer
      inLine_ = false;
    }
    if (givenUp_) continue;
    if (!Watch()) return JobOutcome::kCancelled;
  }
}

void Dispatcher::StopBands() {
  std::vector<std::shared_ptr<FarmerLink>> holders;
  for (const BandState& b : bands_) {
    if (!b.assigned || !b.farmer || tally_.Done(b.band.index)) continue;
    bool listed = false;  // each farmer once: its link is not shared between threads
    for (const std::shared_ptr<FarmerLink>& h : holders) listed = listed || h->SameFarmer(*b.farmer);
    if (!listed) holders.push_back(b.farmer);
  }
  std::vector<std::thread> stops;
  for (const std::shared_ptr<FarmerLink>& f : holders) {
    try {
      stops.emplace_back([f] {
        try {
          f->StopBand();
        } catch (...) {
          // gone: it ends the band by itself once it misses its boss
        }
      });
    } catch (const std::system_error&) {
      try {
        f->StopBand();
      } catch (...) {
      }
    }
  }
  for (std::thread& t : stops) t.join();
}

}  // namespace jobs
