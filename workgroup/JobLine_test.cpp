#include "workgroup/JobLine.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(JobLineTest, JobsGetFarmersInTheOrderTheyAskedAndAGoneJobLosesItsPlace) {
  workgroup::JobLine::Clock::time_point now{};
  workgroup::JobLine line(10s, [&] { return now; });
  EXPECT_EQ(line.WaitInLine("a"), 0);
  EXPECT_EQ(line.WaitInLine("b"), 1);
  EXPECT_EQ(line.WaitInLine("c"), 2);
  EXPECT_EQ(line.WaitInLine("b"), 1);  // asking again keeps the place
  line.Leave("a");
  EXPECT_EQ(line.WaitInLine("c"), 1);
  EXPECT_EQ(line.WaitInLine("b"), 0);
  line.Leave("nobody");
  EXPECT_EQ(line.WaitInLine("a"), 2);  // back again: at the end

  // b stops asking (its controller died): after the patience it is gone.
  now += 6s;
  line.WaitInLine("c");
  line.WaitInLine("a");
  now += 5s;
  EXPECT_EQ(line.WaitInLine("c"), 0);
  EXPECT_EQ(line.Jobs(), (std::vector<std::string>{"c", "a"}));
}

}  // namespace
