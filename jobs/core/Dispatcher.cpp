#include "jobs/core/Dispatcher.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace jobs {

Dispatcher::Dispatcher(WorkgroupLink& group, BandTally& tally, const JobOrder& order, Sleep sleep,
                       std::function<Clock::time_point()> now)
    : group_(group), tally_(tally), order_(order), sleep_(std::move(sleep)), now_(std::move(now)) {}

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
    // A cut band's farmer is told to stop once the band is done; a band
    // handed to it before then would be the one stopped.
    const bool open = !tally_.Done(b.band.index) || b.stopOwed;
    if (b.assigned && b.farmer && open && b.farmer->SameFarmer(farmer)) return true;
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
  b.stopOwed = false;  // its next farmer renders no row past the cut
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
  const farm::WorkUnit owed = b.owed;
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
  const farm::WorkUnit rows = b.render;
  b.farmer = farmer;
  b.assigned = true;
  b.handedAt = b.firstRowAt = now_();
  b.arrivedBefore = tally_.ArrivedRows(b.owed);
  b.arrivals.clear();
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
    Trace(b, "handed to " + b.farmer->Name() + " rows " + std::to_string(job.rows.first) + "-" +
                 std::to_string(job.rows.last));
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

bool Dispatcher::WatchBand(BandState& b, bool live, bool idle, int32_t ends, int32_t failures) {
  const int32_t index = b.band.index;
  if (!live) {
    AttemptFailed(b, b.farmer->Name() + " stopped answering");
    return true;
  }
  b.arrivals.emplace_back(now_(), tally_.ArrivedRows(b.owed) - b.arrivedBefore);
  if (b.firstRowAt == b.handedAt && tally_.ArrivedRows(b.owed) > b.arrivedBefore) {
    b.firstRowAt = now_();
    Trace(b, "first row");
  }
  const bool failed = failures > b.failuresBefore;
  if (failed || ends > b.endsBefore) {
    // Someone ended the band: once its present farmer is idle, that
    // was this attempt, and the rows it left out are missing.
    if (idle && !tally_.Done(index)) {
      AttemptFailed(b, failed ? tally_.LastFailure(index)
                              : b.farmer->Name() + " ended with " + tally_.MissingRows(b.owed) + " missing");
      return true;
    }
  } else if (idle) {
    // The farmer has gone idle, yet no end report came: it was lost on
    // the way. After a grace for a report still in flight, the rows
    // decide: all here, they are the band; some missing, the attempt
    // failed like one that ended short.
    if (++b.idleUnreported >= kLostEndPasses) {
      const std::string missing = tally_.MissingRows(b.owed);
      if (missing.empty()) {
        tally_.Report(index);
      } else {
        AttemptFailed(b,
                      b.farmer->Name() + " went idle without reporting the band's end, with " + missing + " missing");
        return true;
      }
    }
  } else {
    b.idleUnreported = 0;
  }
  return false;
}

void Dispatcher::StopCutHolders() {
  std::vector<BandState*> owed;
  for (BandState& b : bands_) {
    // A cut band is done once its rows up to the cut are here.
    const int32_t index = b.band.index;
    if (b.cut && b.assigned && !tally_.Reported(index) && tally_.MissingRows(b.owed).empty()) tally_.Report(index);
    if (b.stopOwed && tally_.Done(index)) {
      b.stopOwed = false;
      owed.push_back(&b);
    }
  }
  RunAtOnce(owed.size(), [&](std::size_t i) {
    try {
      owed[i]->farmer->StopBand();  // the rows past the cut are another band's
    } catch (...) {
      // gone: it has nothing of ours to end
    }
  });
}

bool Dispatcher::Watch() {
  for (;;) {
    if (Cancelled()) return false;
    StopCutHolders();
    bool failure = false;
    bool freed = false;
    std::vector<BandState*> out;
    for (BandState& b : bands_) {
      const int32_t index = b.band.index;
      if (tally_.Done(index)) {
        if (!b.doneSeen && b.assigned && b.farmer) {
          Trace(b, "done");
          const double rate = RateOf(b);
          if (rate > 0) {
            std::erase_if(paces_, [&b](const Pace& p) { return p.farmer->SameFarmer(*b.farmer); });
            paces_.push_back({b.farmer, rate, std::chrono::duration<double>(b.firstRowAt - b.handedAt).count()});
          }
          freed = true;
        }
        b.doneSeen = true;
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
      out.push_back(&b);
    }
    // Every farmer asked at once: one that does not answer costs the pass
    // one call time limit, not one each. The counts are read before the
    // farmers answer idle, so an end judged is one sent before that answer.
    std::vector<int32_t> ends(out.size()), failures(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      ends[i] = tally_.Ends(out[i]->band.index);
      failures[i] = tally_.Failures(out[i]->band.index);
    }
    std::vector<char> live(out.size(), 0), idle(out.size(), 0);
    RunAtOnce(out.size(), [&](std::size_t i) {
      try {
        out[i]->farmer->IsLive();
        live[i] = 1;
        idle[i] = out[i]->farmer->IsIdle() ? 1 : 0;
      } catch (...) {
        live[i] = 0;
      }
    });
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (WatchBand(*out[i], live[i] != 0, idle[i] != 0, ends[i], failures[i])) failure = true;
    }
    if (freed && !tally_.Complete()) lookForIdle_ = 10;
    if (tally_.Complete() || failure) return true;
    sleep_(kWatchPause);
    if (lookForIdle_ > 0) {
      --lookForIdle_;
      return true;
    }
  }
}

void Dispatcher::Trace(const BandState& b, const std::string& what) const {
  if (!trace_) return;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%8.3f", std::chrono::duration<double>(now_() - runAt_).count());
  trace_(std::string(stamp) + " band " + std::to_string(b.band.index) + " " + what);
}

double Dispatcher::RateOf(const BandState& b) const {
  const Clock::time_point now = now_();
  const int32_t rows = tally_.ArrivedRows(b.owed) - b.arrivedBefore;
  if (order_.scene()) {
    // An own scene's rows come a row of blocks at a time, at uneven moments:
    // its pace is counted from the hand-out, start-up included, which errs
    // on the slow side (a split then leaves the holder short, and the
    // holder, done first, splits the taker's band in turn).
    const double seconds = std::chrono::duration<double>(now - b.handedAt).count();
    return seconds > 0.05 && rows > 0 ? rows / seconds : 0;
  }
  Clock::time_point from = b.firstRowAt;
  int32_t rowsFrom = 0;
  // A scene's rows cost more towards one end or the other: the rows a
  // farmer did last tell the cost of the rows next to them better than its
  // whole band does. Over the later half of the time, where that half
  // still holds a fair number of rows (rows arrive in bursts).
  constexpr int32_t kLeastRecentRows = 16;
  const Clock::time_point half = b.firstRowAt + (now - b.firstRowAt) / 2;
  for (auto a = b.arrivals.rbegin(); a != b.arrivals.rend(); ++a) {
    if (a->first > half) continue;
    if (a->first > b.firstRowAt && rows - a->second >= kLeastRecentRows) {
      from = a->first;
      rowsFrom = a->second;
    }
    break;
  }
  const double seconds = std::chrono::duration<double>(now - from).count();
  return seconds > 0.05 && rows > rowsFrom ? (rows - rowsFrom) / seconds : 0;
}

const Dispatcher::Pace* Dispatcher::PaceOf(const FarmerLink& farmer) const {
  for (const Pace& p : paces_) {
    if (p.farmer->SameFarmer(farmer)) return &p;
  }
  return nullptr;
}

Dispatcher::BandState* Dispatcher::SplitCandidate(const FarmerLink& taker, SplitView* view, int32_t* cut, bool* later) {
  BandState* best = nullptr;
  double bestLeft = 0;
  for (BandState& b : bands_) {
    if (!b.assigned || !b.farmer || b.doneSeen || tally_.Done(b.band.index)) continue;
    if (b.firstRowAt == b.handedAt || RateOf(b) == 0) {
      *later = true;  // no rate to go by yet
      continue;
    }
    SplitView v;
    v.nextRow = tally_.FirstMissing(b.owed);
    v.owedLast = b.owed.last;
    v.holderRate = RateOf(b);
    // What the taker showed itself, else what the holder shows.
    const Pace* pace = PaceOf(taker);
    // Its rate came from other rows, whose cost may differ: halfway (on a
    // log scale) to the holder's, so that a wrong guess leaves the taker
    // short and the holder, done first, splits the taker's band in turn.
    v.takerRate = pace ? std::sqrt(pace->rowsPerSecond * v.holderRate) : v.holderRate;
    v.startSeconds = pace ? pace->startSeconds : std::chrono::duration<double>(b.firstRowAt - b.handedAt).count();
    v.blockSize = order_.scene() ? kOwnSceneBlockRows : 1;
    const int32_t m = CutRow(v);
    if (m == 0) continue;
    const double left = (v.owedLast - v.nextRow + 1) / v.holderRate;
    if (best == nullptr || left > bestLeft) {
      best = &b;
      bestLeft = left;
      *view = v;
      *cut = m;
    }
  }
  return best;
}

bool Dispatcher::SplitOff(BandState& holder, int32_t cut, const std::shared_ptr<FarmerLink>& taker) {
  BandState added;
  added.band.index = tally_.AddBand(farm::WorkUnit{cut + 1, holder.owed.last, std::nullopt});
  added.band.rows = farm::WorkUnit{cut + 1, holder.band.rows.last, std::nullopt};
  added.owed = farm::WorkUnit{cut + 1, holder.owed.last, std::nullopt};
  added.render = farm::WorkUnit{cut + 1 - kSeamWidening, holder.render.last, std::nullopt};
  if (progress_) progress_->AddBand();
  const std::size_t holderAt = static_cast<std::size_t>(&holder - bands_.data());
  bands_.push_back(std::move(added));
  BandState& b = bands_.back();
  BandState& h = bands_[holderAt];
  const JobParameters job = BeginHandOut(b, taker);
  std::exception_ptr error;
  try {
    taker->HandOut(job);
  } catch (...) {
    error = std::current_exception();
  }
  if (!EndHandOut(b, job, error)) {
    // Nobody has it: the holder keeps its whole band, and this one owes nothing.
    tally_.SetOwed(b.band.index, farm::WorkUnit{1, 0, std::nullopt});
    tally_.Report(b.band.index);
    b.doneSeen = true;
    return false;
  }
  h.cut = true;
  h.stopOwed = true;
  h.owed.last = cut;
  h.band.rows.last = cut - 1;
  h.render.last = std::min(h.render.last, cut + kSeamWidening);
  tally_.SetOwed(h.band.index, h.owed);
  if (progress_) progress_->BandCut(h.band.index, cut);
  Trace(h, "cut at row " + std::to_string(cut) + " for band " + std::to_string(b.band.index));
  return true;
}

bool Dispatcher::Balance(const std::vector<std::shared_ptr<FarmerLink>>& idle) {
  bool any = false;
  bool asked = false;
  for (const std::shared_ptr<FarmerLink>& taker : idle) {
    SplitView view;
    int32_t cut = 0;
    BandState* holder = SplitCandidate(*taker, &view, &cut, &any);
    if (holder == nullptr) continue;
    any = true;
    if (!asked) {
      // Farmers idle now may be promised to jobs that asked before this one.
      asked = true;
      const int ahead = group_.WaitInLine();
      group_.LeaveLine();
      if (ahead > 0) return true;
    }
    SplitOff(*holder, cut, taker);
  }
  return any;
}

void Dispatcher::CutBands(int32_t count) {
  const int32_t height = order_.bandHeight();
  // An own scene's bands are whole blocks of povray's, which need no overlap.
  const std::vector<Band> split =
      order_.scene() ? SplitBlocks(height, count, kOwnSceneBlockRows) : SplitBands(height, count);
  count = static_cast<int32_t>(split.size());
  tally_.SetBandCount(count);
  std::vector<farm::WorkUnit> owed;
  for (const Band& band : split) {
    BandState state;
    state.band = band;
    state.render = order_.scene() ? band.rows : RowsToRender(band, count);
    state.owed = order_.scene() ? band.rows : OwedRows(band, count);
    owed.push_back(state.owed);
    bands_.push_back(std::move(state));
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
  runAt_ = now_();
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
  CutBands(order_.plan().BandCount(liveAtStart, order_.bandHeight()));

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
    StopCutHolders();  // before a holder can be found idle and handed a band
    if (!BandsWaiting()) {
      // Everything is out: idle farmers may take rows off the holders.
      if (lookForIdle_ > 0) {
        const std::vector<std::shared_ptr<FarmerLink>> idle = LiveIdle(listed);
        // Keep looking while a holder has yet to show a row to go by.
        if (!idle.empty()) lookForIdle_ = Balance(idle) ? std::max(lookForIdle_, 2) : 0;
      }
      if (!Watch()) return JobOutcome::kCancelled;
      continue;
    }
    std::vector<std::shared_ptr<FarmerLink>> idle = LiveIdle(listed);
    const int ahead = group_.WaitInLine();
    inLine_ = true;
    if (ahead > 0) idle.clear();  // the free farmers go to the jobs before ours: busy for us
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
