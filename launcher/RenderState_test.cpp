#include "launcher/RenderState.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

using Phase = RenderState::Phase;

TEST(RenderState, RenderRunsFromGoToProcessEnd) {
  RenderState s;
  EXPECT_EQ(s.phase(), Phase::Idle);
  EXPECT_FALSE(s.running());
  EXPECT_FALSE(s.ProcessStarted());  // no render asked for
  EXPECT_FALSE(s.StartFailed());

  ASSERT_TRUE(s.Go());
  EXPECT_EQ(s.phase(), Phase::Starting);
  EXPECT_TRUE(s.running());
  EXPECT_FALSE(s.Go());
  s.ProcessEnded();  // some other process: this one has not run yet
  EXPECT_EQ(s.phase(), Phase::Starting);

  ASSERT_TRUE(s.ProcessStarted());
  EXPECT_EQ(s.phase(), Phase::Rendering);
  EXPECT_FALSE(s.Go());
  EXPECT_FALSE(s.StartFailed());
  EXPECT_EQ(s.phase(), Phase::Rendering);

  s.ProcessEnded();
  EXPECT_EQ(s.phase(), Phase::Idle);
  EXPECT_FALSE(s.running());
  EXPECT_TRUE(s.Go());
}

TEST(RenderState, FailedStartHoldsUntilStop) {
  RenderState s;
  ASSERT_TRUE(s.Go());
  ASSERT_TRUE(s.StartFailed());
  EXPECT_EQ(s.phase(), Phase::Failed);
  EXPECT_TRUE(s.running());
  EXPECT_FALSE(s.Go());
  s.ProcessEnded();  // the end of an earlier process does not free it
  EXPECT_EQ(s.phase(), Phase::Failed);
  EXPECT_FALSE(s.Go());

  s.Stop();
  EXPECT_EQ(s.phase(), Phase::Idle);
  EXPECT_TRUE(s.Go());
}

TEST(RenderState, StopFromEveryPhase) {
  RenderState s;
  s.Stop();  // nothing started: harmless
  EXPECT_EQ(s.phase(), Phase::Idle);

  ASSERT_TRUE(s.Go());
  s.Stop();
  EXPECT_EQ(s.phase(), Phase::Idle);
  // The worker reports late: a stopped render does not come back.
  EXPECT_FALSE(s.ProcessStarted());
  EXPECT_FALSE(s.StartFailed());
  EXPECT_EQ(s.phase(), Phase::Idle);

  ASSERT_TRUE(s.Go());
  ASSERT_TRUE(s.ProcessStarted());
  s.Stop();
  EXPECT_EQ(s.phase(), Phase::Idle);
  s.ProcessEnded();  // the killed process's worker wakes up afterwards
  EXPECT_EQ(s.phase(), Phase::Idle);
  EXPECT_TRUE(s.Go());
}

}  // namespace
}  // namespace launcher
