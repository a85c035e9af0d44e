#include "jobs/core/FrameDispatcher.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace jobs {
namespace {

class FakeFarmer : public FarmerLink {
 public:
  FakeFarmer(std::string name, farm::Abilities abilities) : name_(std::move(name)), abilities_(std::move(abilities)) {}
  std::string Name() const override { return name_; }
  bool IsLive() override { return true; }
  bool IsIdle() override { return true; }
  bool SameFarmer(const FarmerLink& other) const override { return other.Name() == name_; }
  farm::Abilities Abilities() override { return abilities_; }
  void HandOut(const JobParameters&) override {}

 private:
  std::string name_;
  farm::Abilities abilities_;
};

class FakeGroup : public WorkgroupLink {
 public:
  std::vector<std::shared_ptr<FarmerLink>> farmers;
  std::vector<std::shared_ptr<FarmerLink>> GetValidFarmer() override { return farmers; }
};

// Each attempt at a frame ends as its script says: 'o' whole, 'f' a
// failure report, 's' a failure the scene itself caused.
class FakeDesk : public FrameDesk {
 public:
  struct Given {
    std::string farmer;
    int32_t frame;
    JobParameters job;
  };
  std::map<int32_t, std::string> script;
  std::map<int32_t, std::map<int32_t, farm::WorkUnit>> opened;
  std::vector<Given> given;
  std::vector<int32_t> finished, dropped;

  void Open(int32_t frame, const std::map<int32_t, farm::WorkUnit>& owed) override { opened[frame] = owed; }
  void HandOut(FarmerLink& farmer, int32_t frame, const JobParameters& job) override {
    given.push_back({farmer.Name(), frame, job});
    std::string& steps = script[frame];
    const char step = steps.empty() ? 'o' : steps.front();
    if (!steps.empty()) steps.erase(0, 1);
    Heard& h = heard_[job.part];
    if (step == 'o') {
      ++h.ends;
      h.rowsThere = true;
    } else {
      ++h.failures;
      h.lastFailure = "failed on " + farmer.Name();
      h.sceneWrong = step == 's';
    }
  }
  void Stop(FarmerLink&, int32_t) override {}
  Heard Hear(int32_t, int32_t label) override { return heard_[label]; }
  platform::Status Finish(int32_t frame) override {
    finished.push_back(frame);
    return platform::Status::Ok();
  }
  void Drop(int32_t frame) override { dropped.push_back(frame); }

 private:
  std::map<int32_t, Heard> heard_;
};

farm::Abilities Able() { return farm::Abilities({farm::kAbilityScene, farm::kAbilityFrames}); }

TEST(FrameDispatcherTest, FramesGoToAbleNodesAFailedFrameToAnotherNodeAndASceneFailureEndsOnlyItsFrame) {
  FakeGroup group;
  group.farmers = {std::make_shared<FakeFarmer>("A", Able()), std::make_shared<FakeFarmer>("B", Able()),
                   std::make_shared<FakeFarmer>("old", farm::Abilities({farm::kAbilityScene}))};
  FakeDesk desk;
  desk.script = {{1, "fo"}, {3, "s"}};
  FramePlan plan(1, 3);
  FrameDispatcher dispatcher(group, desk, plan, Able(), 64, 48, [](std::chrono::milliseconds) {});
  EXPECT_EQ(dispatcher.Run(), JobOutcome::kIncomplete);

  std::vector<std::string> frame1;
  for (const FakeDesk::Given& g : desk.given) {
    EXPECT_NE(g.farmer, "old") << "a node without frames would render the first frame's clock";
    EXPECT_EQ(g.job.rows, (farm::WorkUnit{1, 48, g.frame}));  // whole frames, the frame riding along
    if (g.frame == 1) frame1.push_back(g.farmer);
  }
  ASSERT_EQ(frame1.size(), 2u);
  EXPECT_NE(frame1[0], frame1[1]);  // the retry went to the other node, though the first was idle too
  EXPECT_EQ(desk.finished, (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(desk.dropped, (std::vector<int32_t>{3}));
  const auto failed = plan.FailedFrames();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].first, 3);
  EXPECT_EQ(desk.script[3], "");  // one attempt: the scene fails on every node
}

TEST(FrameDispatcherTest, TheLastFrameIsCutIntoBandsThatOweEveryRowOnce) {
  FakeGroup group;
  for (const char* name : {"A", "B", "C"}) group.farmers.push_back(std::make_shared<FakeFarmer>(name, Able()));
  FakeDesk desk;
  FramePlan plan(5, 5);
  FrameDispatcher dispatcher(group, desk, plan, Able(), 64, 100, [](std::chrono::milliseconds) {});
  EXPECT_EQ(dispatcher.Run(), JobOutcome::kCompleted);
  ASSERT_EQ(desk.opened[5].size(), 3u);
  int32_t next = 1;
  for (const auto& [label, owed] : desk.opened[5]) {
    EXPECT_EQ(owed.first, next) << "label " << label;
    next = owed.last + 1;
  }
  EXPECT_EQ(next, 101);
  EXPECT_EQ(desk.given.size(), 3u);
  EXPECT_EQ(desk.finished, (std::vector<int32_t>{5}));
}

}  // namespace
}  // namespace jobs
