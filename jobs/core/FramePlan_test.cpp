#include "jobs/core/FramePlan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace jobs {
namespace {

std::vector<int32_t> Labels(const FramePlan& plan, const std::vector<FrameUnit>& units) {
  std::vector<int32_t> labels;
  for (const FrameUnit& u : units) labels.push_back(plan.LabelOf(u));
  return labels;
}

TEST(FramePlanTest, WholeFramesWhileTheyLastThenBandsRetriesAndFailedFrames) {
  FramePlan plan(1, 6, {2});  // frame 2 is on disk already
  EXPECT_EQ(plan.framesTotal(), 5);
  EXPECT_EQ(plan.Next(2), (std::vector<FrameUnit>{{1, 1, 1}, {3, 1, 1}}));
  EXPECT_EQ(plan.Next(1), (std::vector<FrameUnit>{{4, 1, 1}}));
  EXPECT_TRUE(plan.Done(1));
  // Frame 3's node fails: the unit goes out again under its label, ahead
  // of new frames; two frames left for three nodes are cut into bands,
  // two for the first and one for the second.
  plan.Failed(2, "node gone");
  EXPECT_EQ(plan.Next(4), (std::vector<FrameUnit>{{3, 1, 1}, {5, 1, 2}, {5, 2, 2}, {6, 1, 1}}));
  const std::vector<FrameUnit> none = plan.Next(3);
  EXPECT_TRUE(none.empty());
  // Labels name one (frame, band) each, both ways.
  const std::vector<FrameUnit> all = {{1, 1, 1}, {3, 1, 1}, {4, 1, 1}, {5, 1, 2}, {5, 2, 2}, {6, 1, 1}};
  EXPECT_EQ(Labels(plan, all), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  for (int32_t label = 1; label <= 6; ++label) EXPECT_EQ(plan.UnitOf(label), all[label - 1]);
  EXPECT_FALSE(plan.UnitOf(0));
  EXPECT_FALSE(plan.UnitOf(7));

  EXPECT_FALSE(plan.Done(4)) << "half of frame 5";
  EXPECT_TRUE(plan.Done(5));
  EXPECT_TRUE(plan.Done(6));
  EXPECT_TRUE(plan.Done(3));
  plan.Failed(2, "parse error");
  EXPECT_EQ(plan.Next(2), (std::vector<FrameUnit>{{3, 1, 1}}));
  EXPECT_FALSE(plan.Over());
  plan.Failed(2, "frame 3: #error");
  EXPECT_TRUE(plan.Next(2).empty()) << "three failures end the frame";
  EXPECT_TRUE(plan.Over());
  EXPECT_EQ(plan.framesDone(), 4);
  EXPECT_EQ(plan.FailedFrames(), (std::vector<std::pair<int32_t, std::string>>{{3, "frame 3: #error"}}));
  plan.Failed(1, "late");  // a whole frame stays whole
  EXPECT_EQ(plan.framesDone(), 4);
}

TEST(FramePlanTest, FramesAreNamedAsPovrayNamesThem) {
  EXPECT_EQ(FrameFileName("out/scene.png", 7, 10), "out/scene07.png");
  EXPECT_EQ(FrameFileName("out/scene.png", 7, 9), "out/scene7.png");
  EXPECT_EQ(FrameFileName("scene.png", 12, 120), "scene012.png");
  EXPECT_EQ(FrameFileName("a.b/shot1.tga", 3, 20), "a.b/shot103.tga");

  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("frames-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "anim02.png") << "x";
  std::ofstream(dir / "anim4.png") << "x";  // another animation's name
  std::ofstream(dir / "anim10.png") << "x";
  EXPECT_EQ(FramesOnDisk(dir / "anim.png", 1, 10, 20), (std::vector<int32_t>{2, 10}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace jobs
