#include "jobs/core/Dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "jobs/core/JobSlot.h"

namespace jobs {
namespace {

// A simulated node: a hand-out makes it busy with one band; at the next tick
// of the dispatch's clock it reports the band's end and is idle again.
struct FakeFarmer : FarmerLink {
  bool alive = true;
  // Asked from the dispatcher's watch threads, one per band held.
  std::atomic<bool> idle{true};
  bool staysIdleAfterZarvo = false;  // answers idle before its render starts
  bool finishes = true;
  int liveFailures = 0;     // IsLive calls still to fail, as over a flaky link
  int32_t shortBy = 0;      // rows left out at the end of every band it renders
  std::string failsWith;    // reports this failure instead of rendering
  bool sceneWrong = false;  // and marks it as a wrong scene
  farm::Abilities abilities;
  bool losesReport = false;  // its rows arrive, its end report never does
  std::vector<JobParameters> jobs;
  std::atomic<int> pending{0};  // band being rendered, 0 for none
  int ticksPerBand = 1;         // a slower machine needs more
  int worked = 0;
  int rowsPerTick = 0;  // > 0: rows go out one tick at a time, as a renderer sends them
  int32_t nextRow = 0;
  std::atomic<int> stops{0};
  std::function<void()> slow;  // runs in IsLive and HandOut, as a call on the wire

  bool IsLive() override {
    if (slow) slow();
    if (!alive) throw std::runtime_error("TRANSIENT");
    if (liveFailures > 0) {
      --liveFailures;
      throw std::runtime_error("TRANSIENT");
    }
    return true;
  }
  bool IsIdle() override {
    if (!alive) throw std::runtime_error("TRANSIENT");
    return idle;
  }
  bool SameFarmer(const FarmerLink& other) const override { return &other == this; }
  farm::Abilities Abilities() override { return abilities; }
  void HandOut(const JobParameters& job) override {
    if (slow) slow();
    if (!alive) throw std::runtime_error("COMM_FAILURE");
    jobs.push_back(job);
    pending = job.part;  // a second hand-out replaces the first, as a node does
    nextRow = job.rows.first;
    idle = staysIdleAfterZarvo;
  }
  std::vector<int> stoppedParts;  // the band each stop found under way (0: none)
  bool StopBand() override {
    if (!alive) throw std::runtime_error("TRANSIENT");
    ++stops;
    stoppedParts.push_back(pending);
    pending = 0;
    idle = true;
    return true;
  }
  void Tick(BandTally& tally) {
    if (!alive || pending == 0 || !finishes) return;
    if (rowsPerTick > 0) {
      const int32_t last = jobs.back().rows.last;
      for (int i = 0; i < rowsPerTick && nextRow <= last; ++i) tally.RowArrived(nextRow++);
      if (nextRow <= last) return;
      tally.Report(pending);
      pending = 0;
      idle = true;
      return;
    }
    if (++worked < ticksPerBand) return;
    worked = 0;
    if (!failsWith.empty()) {
      tally.ReportFailure(pending, failsWith, sceneWrong);
    } else {
      for (int32_t r = jobs.back().rows.first; r <= jobs.back().rows.last - shortBy; ++r) tally.RowArrived(r);
      if (!losesReport) tally.Report(pending);
    }
    pending = 0;
    idle = true;
  }
};

struct FakeGroup : WorkgroupLink {
  std::vector<std::shared_ptr<FakeFarmer>> farmers;
  bool fails = false;
  bool listsDead = true;  // the server still lists farmers that died
  int calls = 0;
  std::function<void(int)> onCall;
  std::vector<std::shared_ptr<FarmerLink>> GetValidFarmer() override {
    ++calls;
    if (onCall) onCall(calls);
    if (fails) throw std::runtime_error("server gone");
    std::vector<std::shared_ptr<FarmerLink>> out;
    for (auto& f : farmers) {
      if (f->alive || listsDead) out.push_back(f);
    }
    return out;
  }
};

struct Harness {
  FakeGroup group;
  BandTally tally;
  int ticks = 0;
  std::function<void(int)> onTick;  // runs before the farmers advance
  int32_t width = 320;
  int32_t height = 240;
  BandPlan plan;
  std::vector<std::chrono::milliseconds> pauses;

  std::shared_ptr<FakeFarmer> Add() {
    auto f = std::make_shared<FakeFarmer>();
    group.farmers.push_back(f);
    return f;
  }
  // The job's order, sized as the host set it last (`width` x `height`)
  // and following the host's later SetImage calls on `slot`; its bands are
  // cut from `splitHeight` rows.
  farm::Abilities needs;
  JobOutcome Run(int32_t splitHeight, Dispatcher** out = nullptr) {
    order = std::make_shared<JobOrder>(1, JobOrder::Size{width, splitHeight}, plan, std::filesystem::path());
    order->set_needs(needs);
    slot.SetImage(width, height);
    slot.Follow(order);
    dispatcher = std::make_unique<Dispatcher>(
        group, tally, *order,
        [this](std::chrono::milliseconds pause) {
          pauses.push_back(pause);
          if (++ticks > 1000) throw std::runtime_error("the job never ended");
          if (onTick) onTick(ticks);
          for (auto& f : group.farmers) f->Tick(tally);
        },
        [this] { return Dispatcher::Clock::time_point(std::chrono::milliseconds(100 * ticks)); });
    if (out) *out = dispatcher.get();
    return dispatcher->Run();
  }
  JobSlot slot;
  std::shared_ptr<JobOrder> order;
  std::unique_ptr<Dispatcher> dispatcher;
};

// A job that needs an ability goes only to farmers that announce it; a
// band whose scene is wrong ends the job after that one attempt, with the
// renderer's message.
TEST(Dispatcher, OwnScenesGoToAbleFarmersAndAWrongSceneEndsTheJobAtOnce) {
  Harness h;
  auto plain = h.Add(), able = h.Add();
  able->abilities = farm::Abilities({farm::kAbilityScene});
  h.needs = farm::Abilities({farm::kAbilityScene});
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  EXPECT_TRUE(plain->jobs.empty());
  ASSERT_EQ(able->jobs.size(), 1u);  // the whole picture as one band
  EXPECT_EQ(able->jobs[0].partCount, 1);

  Harness none;
  none.Add();
  none.needs = farm::Abilities({farm::kAbilityScene});
  EXPECT_EQ(none.Run(240), JobOutcome::kNoIdleNode);

  Harness wrong;
  auto a = wrong.Add(), b = wrong.Add();
  for (auto& f : {a, b}) {
    f->failsWith = "File 'x.pov' line 3: Parse Error: Expected '}'";
    f->sceneWrong = true;
  }
  Dispatcher* d = nullptr;
  EXPECT_EQ(wrong.Run(240, &d), JobOutcome::kIncomplete);
  EXPECT_EQ(wrong.dispatcher->hand_outs(), 2);  // no band handed out again
  EXPECT_NE(d->reason().find("x.pov' line 3"), std::string::npos) << d->reason();
}

TEST(Dispatcher, ThreeIdleFarmersGetOneBandEachWithTheOneFrameRows) {
  Harness h;
  auto a = h.Add(), b = h.Add(), c = h.Add();
  h.width = 640;
  h.height = 480;
  EXPECT_EQ(h.Run(480), JobOutcome::kCompleted);
  const int32_t sent[3][2] = {{0, 169}, {151, 329}, {311, 480}};
  const std::shared_ptr<FakeFarmer> farmers[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(farmers[i]->jobs.size(), 1u);
    const JobParameters& j = farmers[i]->jobs[0];
    EXPECT_EQ(j.part, i + 1);
    EXPECT_EQ(j.partCount, 3);
    EXPECT_EQ(j.width, 640);
    EXPECT_EQ(j.height, 480);
    EXPECT_EQ(farm::OutgoingFirstRow(j.part, j.rows), sent[i][0]);  // as the "OneFrame" message carries it
    EXPECT_EQ(j.rows.last, sent[i][1]);
  }
  EXPECT_TRUE(h.tally.Complete());
}

TEST(Dispatcher, UnderASharedPlanTheFasterFarmerTakesMoreOfTheSmallerBands) {
  Harness h;
  auto fast = h.Add(), slow = h.Add();
  slow->ticksPerBand = 6;
  h.plan.bandsPerFarmer = 4;
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  EXPECT_EQ(fast->jobs.size() + slow->jobs.size(), 8u);
  EXPECT_GE(fast->jobs.size(), 6u);
  const std::vector<Band> split = SplitBands(240, 8);
  std::vector<bool> seen(9, false);
  for (const auto& f : {fast, slow}) {
    for (const JobParameters& j : f->jobs) {
      EXPECT_EQ(j.partCount, 8);
      EXPECT_EQ(j.rows, RowsToRender(split[j.part - 1], 8));
      seen[j.part] = true;
    }
  }
  for (int band = 1; band <= 8; ++band) EXPECT_TRUE(seen[band] && h.tally.Reported(band)) << band;
  // Waiting bands look for an idle farmer at the watch's pace.
  for (auto pause : h.pauses) EXPECT_EQ(pause, std::chrono::milliseconds(100));
}

TEST(Dispatcher, TheBandPlanComesFromTheEnvironmentOnlyWhenItIsAWholeNumberInRange) {
  unsetenv("LUMORA_BANDS_PER_NODE");
  EXPECT_EQ(BandPlanFromEnvironment().bandsPerFarmer, 1);
  const std::pair<const char*, int32_t> cases[] = {{"3", 3},  {"64", 64}, {"1", 1},  {"0", 1},
                                                   {"65", 1}, {"-2", 1},  {"3x", 1}, {"", 1}};
  for (const auto& [text, expected] : cases) {
    setenv("LUMORA_BANDS_PER_NODE", text, 1);
    EXPECT_EQ(BandPlanFromEnvironment().bandsPerFarmer, expected) << text;
  }
  unsetenv("LUMORA_BANDS_PER_NODE");
  EXPECT_EQ((BandPlan{5}).BandCount(3, 768), 15);
  EXPECT_EQ(BandPlan().BandCount(3, 768), 3);
  // No band under kLeastBandRows rows: a small picture on many farmers
  // goes to fewer of them, and one too small for two goes to one.
  EXPECT_EQ(BandPlan().BandCount(64, 120), 120 / BandPlan::kLeastBandRows);
  EXPECT_EQ((BandPlan{4}).BandCount(2, 120), 120 / BandPlan::kLeastBandRows);
  EXPECT_EQ(BandPlan().BandCount(8, 10), 1);
}

TEST(Dispatcher, ABandWhoseFarmerDiesIsHandedToAnotherAndTheJobWaitsForIt) {
  Harness h;
  auto a = h.Add(), b = h.Add(), c = h.Add();
  b->finishes = false;
  h.onTick = [&](int tick) {
    if (tick == 3) b->alive = false;  // killed in the middle of its band
  };
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  ASSERT_EQ(b->jobs.size(), 1u);
  const int handedAgain = static_cast<int>(a->jobs.size() + c->jobs.size()) - 2;
  ASSERT_EQ(handedAgain, 1);
  const JobParameters& again = a->jobs.size() == 2 ? a->jobs[1] : c->jobs[1];
  EXPECT_EQ(again.part, 2);
  EXPECT_EQ(again.rows, b->jobs[0].rows);
  for (int band = 1; band <= 3; ++band) EXPECT_TRUE(h.tally.Reported(band));
}

TEST(Dispatcher, ALostEndReportLeavesNoJobWaitingWhetherOrNotTheBandsRowsAllCame) {
  {
    Harness h;
    auto a = h.Add(), b = h.Add();
    b->losesReport = true;
    EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
    EXPECT_EQ(a->jobs.size(), 1u);
    EXPECT_EQ(b->jobs.size(), 1u);  // not rendered again: its rows are the band
    EXPECT_TRUE(h.tally.Reported(2));
    // Not before the grace for a report still on its way.
    EXPECT_GE(h.ticks, Dispatcher::kLostEndPasses);
  }
  {
    Harness h;
    auto a = h.Add(), b = h.Add();
    b->losesReport = true;
    b->shortBy = 30;  // its engine died short of the band, and the report was lost
    EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
    ASSERT_EQ(a->jobs.size(), 2u) << "band 2 goes to the farmer that did not fail it";
    EXPECT_EQ(a->jobs[1].part, 2);
    EXPECT_EQ(h.tally.MissingRows(), "");
    EXPECT_GE(h.ticks, Dispatcher::kLostEndPasses);
  }
}

TEST(Dispatcher, ABandHandedOutAgainCarriesTheSizeOfNowButKeepsTheRowsOfTheFirstSplit) {
  Harness h;
  auto a = h.Add(), b = h.Add();
  a->finishes = false;
  b->finishes = false;
  h.onTick = [&](int tick) {
    if (tick == 2) {
      b->alive = false;           // band 2 is lost
      h.slot.SetImage(800, 600);  // the host calls SetImage during the job
      a->finishes = true;
    }
  };
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  ASSERT_EQ(b->jobs.size(), 1u);
  EXPECT_EQ(b->jobs[0].width, 320);
  EXPECT_EQ(b->jobs[0].height, 240);
  ASSERT_EQ(a->jobs.size(), 2u);
  const JobParameters& again = a->jobs[1];
  EXPECT_EQ(again.part, 2);
  EXPECT_EQ(again.width, 800);
  EXPECT_EQ(again.height, 600);
  EXPECT_EQ(again.rows.first, 111);  // 240 / 2 = 120: band 2 is 121..240, widened by 10
  EXPECT_EQ(again.rows.last, 240);
  // The job's own order carries the size; the next job starts from it too.
  EXPECT_EQ(h.order->pictureSize(), (JobOrder::Size{800, 600}));
  EXPECT_EQ(h.order->bandHeight(), 240);
}

TEST(Dispatcher, RepeatedEndsOfOneBandDoNotEndTheJobWhileAnotherIsOut) {
  Harness h;
  auto a = h.Add(), b = h.Add();
  b->finishes = false;
  h.onTick = [&](int tick) {
    h.tally.Report(1);  // band 1 keeps reporting, as after a second render
    if (tick == 20) b->finishes = true;
  };
  EXPECT_EQ(h.Run(100), JobOutcome::kCompleted);
  EXPECT_GE(h.ticks, 20) << "the job ended before band 2 reported";
  EXPECT_TRUE(h.tally.Reported(2));
}

TEST(Dispatcher, AReportedBandIsNeitherWatchedNorHandedOutAgain) {
  Harness h;
  auto a = h.Add(), b = h.Add();
  b->finishes = false;
  h.onTick = [&](int tick) {
    if (tick == 2) a->alive = false;  // dies after band 1 reported
    if (tick == 6) b->finishes = true;
  };
  EXPECT_EQ(h.Run(100), JobOutcome::kCompleted);
  EXPECT_EQ(h.dispatcher->hand_outs(), 2);
  EXPECT_EQ(b->jobs.size(), 1u);
}

TEST(Dispatcher, AFarmerHoldingABandGetsNoSecondBandEvenIfItStillAnswersIdle) {
  Harness h;
  auto a = h.Add(), b = h.Add(), c = h.Add();
  a->staysIdleAfterZarvo = true;
  b->finishes = false;
  h.onTick = [&](int tick) {
    if (tick == 1) b->alive = false;  // a failure right after the first pass
  };
  EXPECT_EQ(h.Run(300), JobOutcome::kCompleted);
  ASSERT_GE(a->jobs.size(), 1u);
  EXPECT_EQ(a->jobs[0].part, 1);
  // Band 1 was never replaced on a before a reported it.
  for (std::size_t i = 1; i < a->jobs.size(); ++i) EXPECT_NE(a->jobs[i].part, 1);
  for (int band = 1; band <= 3; ++band) EXPECT_TRUE(h.tally.Reported(band)) << band;
}

TEST(Dispatcher, ABandLeftWithoutANewFarmerIsHandedOutEvenIfItsOldFarmerAnswersAgain) {
  Harness h;
  auto a = h.Add(), b = h.Add(), c = h.Add();
  a->finishes = b->finishes = c->finishes = false;
  c->staysIdleAfterZarvo = true;  // answers idle before its render starts
  h.onTick = [&](int tick) {
    if (tick == 1) {
      b->alive = false;     // band 2 is lost for good
      c->liveFailures = 1;  // band 3's farmer misses one probe only
    }
    if (tick == 2) a->finishes = c->finishes = true;
  };
  // The next pass gives band 2 to c, which drops band 3 for it; band 3 has
  // no farmer left but c, which answers every probe from then on.
  EXPECT_EQ(h.Run(300), JobOutcome::kCompleted);
  ASSERT_GE(c->jobs.size(), 2u);
  EXPECT_EQ(c->jobs[0].part, 3);
  EXPECT_EQ(c->jobs[1].part, 2);
  int band3 = 0;
  for (const auto& f : {a, b, c})
    for (const JobParameters& j : f->jobs) band3 += j.part == 3 ? 1 : 0;
  EXPECT_EQ(band3, 2) << "band 3 was not handed out again";
  for (int band = 1; band <= 3; ++band) EXPECT_TRUE(h.tally.Reported(band)) << band;
}

TEST(Dispatcher, OnlyAWorkGroupWithoutAnsweringFarmersEndsTheJobAtOnce) {
  Harness h;
  EXPECT_EQ(h.Run(240), JobOutcome::kNoIdleNode);
  Harness dead;
  dead.Add()->alive = false;
  EXPECT_EQ(dead.Run(240), JobOutcome::kNoIdleNode);
}

// A work group whose line holds `ahead` jobs before ours until it is set to 0.
struct LineGroup : FakeGroup {
  int ahead = 0;
  int asked = 0;
  int left = 0;
  int WaitInLine() override {
    ++asked;
    return ahead;
  }
  void LeaveLine() override { ++left; }
};

// A farm busy with other jobs: the job cuts a band for every farmer, says
// it waits and how many are busy, takes no farmer while jobs before it wait
// in line, and starts once they are free and its turn has come.
TEST(Dispatcher, AJobWaitsForBusyFarmersAndForItsTurnThenTakesThem) {
  LineGroup group;
  auto a = std::make_shared<FakeFarmer>(), b = std::make_shared<FakeFarmer>();
  group.farmers = {a, b};
  a->idle = b->idle = false;
  group.ahead = 1;
  BandTally tally;
  JobProgress progress;
  JobOrder order(1, {10, 100}, BandPlan(), std::filesystem::path());
  int ticks = 0;
  bool sawWaiting = false;
  Dispatcher d(group, tally, order, [&](std::chrono::milliseconds) {
    ++ticks;
    if (ticks > 100) throw std::runtime_error("stuck");
    if (ticks == 1) {
      const JobProgressSnapshot s = progress.Snapshot();
      sawWaiting = s.waiting && s.nodesBusy == 2;
    }
    if (ticks == 3) a->idle = b->idle = true;  // free, but another job is first in line
    if (ticks == 3) EXPECT_TRUE(a->jobs.empty() && b->jobs.empty());
    if (ticks == 5) group.ahead = 0;
    for (auto& f : group.farmers) f->Tick(tally);
  });
  d.set_progress(&progress);
  EXPECT_EQ(d.Run(), JobOutcome::kCompleted);
  EXPECT_TRUE(sawWaiting);
  EXPECT_FALSE(progress.Snapshot().waiting);
  EXPECT_GE(ticks, 5);
  ASSERT_EQ(a->jobs.size(), 1u);
  ASSERT_EQ(b->jobs.size(), 1u);
  EXPECT_EQ(a->jobs[0].partCount, 2);
  EXPECT_GE(group.asked, 3);
  EXPECT_GE(group.left, 1);  // out of line once both bands were out
}

struct StoppableFarmer : FakeFarmer {
  int stops = 0;
  bool StopBand() override {
    ++stops;
    return true;
  }
};

// A cancel ends the job at the next step, and every farmer holding one of
// its open bands is told to stop it; a farmer whose band is done is not.
TEST(Dispatcher, ACancelledJobEndsAndStopsTheFarmersOfItsOpenBands) {
  LineGroup group;
  auto a = std::make_shared<StoppableFarmer>(), b = std::make_shared<StoppableFarmer>();
  group.farmers = {a, b};
  b->finishes = false;
  BandTally tally;
  JobOrder order(1, {10, 100}, BandPlan(), std::filesystem::path());
  int ticks = 0;
  bool cancel = false;
  Dispatcher d(group, tally, order, [&](std::chrono::milliseconds) {
    if (++ticks == 3) cancel = true;
    if (ticks > 100) throw std::runtime_error("stuck");
    for (auto& f : group.farmers) f->Tick(tally);
  });
  d.set_cancelled([&] { return cancel; });
  EXPECT_EQ(d.Run(), JobOutcome::kCancelled);
  EXPECT_EQ(ticks, 3);
  d.StopBands();
  EXPECT_EQ(a->stops, 0);
  EXPECT_EQ(b->stops, 1);
  EXPECT_EQ(group.left, group.asked > 0 ? 1 : 0);
}

TEST(Dispatcher, NoIdleFarmerAfterTheCountWaitsOneSecondThenHandsOut) {
  Harness h;
  auto a = h.Add(), b = h.Add();
  std::vector<std::chrono::milliseconds> pauses;
  h.group.onCall = [&](int call) {
    if (call == 2) a->idle = b->idle = false;  // both taken by another job after the count
  };
  JobOrder order(1, {10, 100}, BandPlan(), std::filesystem::path());
  order.SetPictureSize({10, 10});
  Dispatcher d(h.group, h.tally, order, [&](std::chrono::milliseconds p) {
    pauses.push_back(p);
    if (pauses.size() > 100) throw std::runtime_error("stuck");
    if (pauses.size() == 1) a->idle = b->idle = true;
    for (auto& f : h.group.farmers) f->Tick(h.tally);
  });
  EXPECT_EQ(d.Run(), JobOutcome::kCompleted);
  ASSERT_GE(pauses.size(), 2u);
  EXPECT_EQ(pauses[0], std::chrono::milliseconds(1000));
  EXPECT_EQ(pauses[1], std::chrono::milliseconds(100));
  EXPECT_EQ(a->jobs.size() + b->jobs.size(), 2u);
}

TEST(Dispatcher, AnEmptyWorkGroupAbandonsAndAFailingServerRaises) {
  {
    Harness h;
    auto a = h.Add();
    a->finishes = false;
    h.group.listsDead = false;
    h.onTick = [&](int tick) {
      if (tick == 2) a->alive = false;
    };
    EXPECT_EQ(h.Run(240), JobOutcome::kAbandoned);
  }
  {
    Harness h;
    auto a = h.Add();
    a->finishes = false;
    h.onTick = [&](int tick) {
      if (tick == 2) {
        a->alive = false;
        h.group.fails = true;
      }
    };
    EXPECT_THROW(h.Run(240), std::runtime_error);
  }
}

TEST(Dispatcher, ABandEndedShortGoesToAnotherFarmerAndThreeFailuresEndTheJob) {
  {
    Harness h;
    auto a = h.Add(), b = h.Add();
    b->shortBy = 30;  // its engine died before the end of the band
    EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
    ASSERT_EQ(b->jobs.size(), 1u);
    ASSERT_EQ(a->jobs.size(), 2u) << "band 2 goes to the farmer that did not fail it";
    EXPECT_EQ(a->jobs[1].part, 2);
    EXPECT_EQ(h.tally.MissingRows(), "");
  }
  {
    Harness h;
    auto a = h.Add(), b = h.Add();
    a->failsWith = b->failsWith = "the engine ended with status 1";
    EXPECT_EQ(h.Run(240), JobOutcome::kIncomplete);
    const std::string& why = h.dispatcher->reason();
    EXPECT_NE(why.find("band 1 (rows 1-120) failed 3 times"), std::string::npos) << why;
    EXPECT_NE(why.find("status 1"), std::string::npos) << why;
    EXPECT_NE(why.find("rows 1-120 missing"), std::string::npos) << why;
    EXPECT_EQ(a->jobs.size() + b->jobs.size(), 6u) << "three attempts at each band, no more";
  }
}

TEST(Dispatcher, TheLateEndOfAFarmerThatLostItsBandCutsNothingShort) {
  Harness h;
  auto a = h.Add(), b = h.Add();
  a->finishes = b->finishes = false;
  h.onTick = [&](int tick) {
    if (tick == 1) b->liveFailures = 1;  // paused: band 2 is lost
    if (tick == 3) a->finishes = true;   // band 1 done; a takes band 2
    if (tick == 4) a->finishes = false;  // a renders band 2 slowly...
    if (tick == 6) {
      h.tally.Report(2);  // ...while b wakes up and ends band 2 without its rows
      b->pending = 0;
      b->idle = true;
    }
    if (tick == 12) a->finishes = true;
  };
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  EXPECT_GE(h.ticks, 12) << "the job ended before band 2's rows arrived";
  ASSERT_EQ(a->jobs.size(), 2u);
  EXPECT_EQ(a->jobs[1].part, 2);
  EXPECT_EQ(h.dispatcher->hand_outs(), 3) << "a's attempt at band 2 was not given up";
}

// Farmers are probed and engaged all at once: a farmer slow to answer
// holds up the others no longer than itself.
TEST(Dispatcher, FarmersAreProbedAndEngagedAllAtOnce) {
  Harness h;
  std::atomic<int> inFlight{0}, most{0};
  const auto call = [&] {
    const int now = ++inFlight;
    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    --inFlight;
  };
  for (int i = 0; i < 4; ++i) h.Add()->slow = call;
  EXPECT_EQ(h.Run(240), JobOutcome::kCompleted);
  EXPECT_EQ(most.load(), 4);
  for (auto& f : h.group.farmers) EXPECT_EQ(f->jobs.size(), 1u);
}

// An idle farmer takes the rows a slower one has not reached: the job ends
// well before the slow farmer alone would, every row arrives, the slow
// farmer is stopped at the cut and its band counts as done. When the taker
// dies, its band goes out again and the picture is still whole.
TEST(Dispatcher, AnIdleFarmerTakesTheRowsASlowerOneHasNotReached) {
  for (const bool takerDies : {false, true}) {
    SCOPED_TRACE(takerDies);
    Harness h;
    auto fast = h.Add(), slow = h.Add();
    fast->rowsPerTick = 10;
    slow->rowsPerTick = 2;
    if (takerDies) {
      h.onTick = [&](int) {
        if (fast->jobs.size() == 2 && fast->nextRow > fast->jobs[1].rows.first + 20) fast->alive = false;
      };
    }
    h.height = 480;
    EXPECT_EQ(h.Run(480), JobOutcome::kCompleted);
    EXPECT_EQ(h.tally.MissingRows(), "");
    ASSERT_GE(fast->jobs.size(), 2u);
    const JobParameters& taken = fast->jobs[1];
    EXPECT_EQ(taken.part, 3);
    EXPECT_EQ(taken.rows.last, 480);
    EXPECT_GT(taken.rows.first, 260);
    EXPECT_EQ(slow->stops, 1);
    EXPECT_TRUE(h.tally.Done(2));
    if (!takerDies) {
      // The taker's guess is cautious: the slow farmer, done first, may
      // take back a part of the split-off band.
      EXPECT_LE(h.dispatcher->hand_outs(), 4);
      EXPECT_LT(h.ticks, 70);  // the slow farmer alone needs 125 ticks for its band
    } else {
      EXPECT_GE(h.dispatcher->hand_outs(), 4);
      EXPECT_FALSE(fast->alive);
    }
  }
  // A cut holder that runs through its whole band before the watch sees
  // the cut done is idle and may take rows back, but the stop owed for the
  // cut band must not end the band it takes.
  Harness late;
  auto quick = late.Add(), holder = late.Add();
  quick->rowsPerTick = 10;
  holder->rowsPerTick = 2;
  int takenAt = 0;
  late.onTick = [&](int tick) {
    if (quick->jobs.size() != 2) return;
    quick->rowsPerTick = 1;  // slower on its new rows: worth splitting again
    if (takenAt == 0) takenAt = tick;
    if (tick == takenAt + 3) holder->rowsPerTick = 1000;  // once the taker's rate is known
  };
  late.height = 480;
  EXPECT_EQ(late.Run(480), JobOutcome::kCompleted);
  for (int part : holder->stoppedParts) EXPECT_TRUE(part == 0 || part == 2) << part;
  // Farmers that end together split nothing.
  Harness even;
  auto a = even.Add(), b = even.Add();
  a->rowsPerTick = b->rowsPerTick = 5;
  EXPECT_EQ(even.Run(240), JobOutcome::kCompleted);
  EXPECT_EQ(even.dispatcher->hand_outs(), 2);
}

}  // namespace
}  // namespace jobs
