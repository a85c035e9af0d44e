#include "jobs/core/JobSlot.h"

#include <gtest/gtest.h>

namespace jobs {
namespace {

TEST(JobSlot, DefaultSizeIs640By480AndSetImageIsStoredAsGiven) {
  JobSlot slot;
  int32_t w = 0, h = 0;
  slot.Size(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  slot.SetImage(-3, 0);
  slot.Size(&w, &h);
  EXPECT_EQ(w, -3);
  EXPECT_EQ(h, 0);
}

// A job follows SetImage from its start, also one made before the last
// SetImage; its band height stays, and a job gone drops out.
TEST(JobSlot, SetImageReachesEveryRunningJob) {
  JobSlot slot;
  auto first = std::make_shared<JobOrder>(1, JobOrder::Size{100, 50}, BandPlan(), "");
  slot.Follow(first);
  auto second = std::make_shared<JobOrder>(2, JobOrder::Size{100, 50}, BandPlan(), "");
  slot.SetImage(30, 20);
  slot.Follow(second);
  EXPECT_EQ(first->pictureSize(), (JobOrder::Size{30, 20}));
  EXPECT_EQ(second->pictureSize(), (JobOrder::Size{30, 20}));
  EXPECT_EQ(second->bandHeight(), 50);
  first.reset();
  slot.SetImage(7, 8);
  EXPECT_EQ(second->pictureSize(), (JobOrder::Size{7, 8}));
}

TEST(JobSlot, SecondStartWhileRunningDoesNothingUntilTheViewerCloses) {
  JobSlot slot;
  uint64_t first = 0, second = 0;
  ASSERT_TRUE(slot.TryStart(&first));
  EXPECT_EQ(slot.state(), JobSlot::State::kRunning);
  EXPECT_FALSE(slot.TryStart(&second));
  EXPECT_EQ(slot.held_job(), first);
  slot.ViewerClosed(first);
  EXPECT_EQ(slot.state(), JobSlot::State::kIdle);
  ASSERT_TRUE(slot.TryStart(&second));
  EXPECT_NE(second, first);
}

TEST(JobSlot, DestroyBlocksUntilInit) {
  JobSlot slot;
  uint64_t job = 0;
  ASSERT_TRUE(slot.TryStart(&job));
  slot.Destroy();
  EXPECT_EQ(slot.state(), JobSlot::State::kBlocked);
  EXPECT_FALSE(slot.viewer_held());
  EXPECT_FALSE(slot.TryStart(&job));
  slot.Init();
  EXPECT_EQ(slot.state(), JobSlot::State::kIdle);
  EXPECT_TRUE(slot.TryStart(&job));
}

TEST(JobSlot, AViewerLeftOpenByInitStillClearsBusyButNotTheNewerViewer) {
  JobSlot slot;
  uint64_t oldJob = 0, newJob = 0;
  ASSERT_TRUE(slot.TryStart(&oldJob));
  slot.Init();  // the old viewer stays open, no longer held
  ASSERT_TRUE(slot.TryStart(&newJob));
  slot.ViewerClosed(oldJob);
  EXPECT_TRUE(slot.viewer_held()) << "closing the old viewer must not forget the new one";
  EXPECT_EQ(slot.held_job(), newJob);
  uint64_t third = 0;
  EXPECT_TRUE(slot.TryStart(&third)) << "the busy flag was cleared by the closing";
}

}  // namespace
}  // namespace jobs
