#include "jobs/core/JobProgress.h"

#include <gtest/gtest.h>

#include "jobs/core/BandSplit.h"

namespace jobs {
namespace {

using namespace std::chrono_literals;

TEST(JobProgressTest, CreditsSeamRowsToBothSidesAndKeepsALostHandOutApart) {
  JobProgress::Clock::time_point t{};
  JobProgress progress([&] { return t; });
  const int32_t height = 480;
  const std::vector<Band> bands = SplitBands(height, 3);
  progress.Start(height, 3);
  std::vector<farm::WorkUnit> rows;
  for (const Band& b : bands) {
    rows.push_back(RowsToRender(b, 3));
    progress.BandHandedOut(b.index, rows.back(), "10.0.0." + std::to_string(b.index));
  }
  t += 2s;
  // Band 2's node sends half of its rows and is lost; the band goes to .4.
  for (int32_t line = rows[1].first; line < 240; ++line) progress.RowPlaced(line);
  progress.BandLost(2);
  progress.BandHandedOut(2, rows[1], "10.0.0.4");
  double lastFraction = 0;
  for (std::size_t k : {0, 2, 1}) {
    for (int32_t line = rows[k].first; line <= rows[k].last; ++line) {
      progress.RowPlaced(line);
      const double f = progress.Snapshot().fraction();
      EXPECT_GE(f, lastFraction);
      lastFraction = f;
    }
    t += 1s;
    progress.BandReported(static_cast<int32_t>(k) + 1);
  }
  progress.BandReported(1);  // a second end message changes nothing
  progress.RowPlaced(0);
  progress.RowPlaced(height + 1);

  const JobProgressSnapshot s = progress.Snapshot();
  EXPECT_EQ(s.rowsPlaced, height);
  EXPECT_EQ(s.rowsTotal, height);
  EXPECT_EQ(s.bandsDone, 3);
  EXPECT_EQ(s.bandsTotal, 3);
  EXPECT_EQ(s.nodesWorking, 0);
  EXPECT_DOUBLE_EQ(s.fraction(), 1.0);

  const std::vector<NodeWork> summary = progress.Summary();
  ASSERT_EQ(summary.size(), 4u);
  int32_t kept = 0;
  for (const NodeWork& w : summary) {
    if (!w.handedOutAgain) kept += w.rows;
  }
  // Two seams of 19 rows each are rendered by both neighbours.
  EXPECT_EQ(kept, height + 2 * 19);
  EXPECT_EQ(summary[1].node, "10.0.0.2");
  EXPECT_TRUE(summary[1].handedOutAgain);
  EXPECT_TRUE(summary[1].lost);
  EXPECT_FALSE(summary[1].finished);
  EXPECT_FALSE(summary[3].lost);
  EXPECT_EQ(summary[1].rows, 240 - rows[1].first);
  EXPECT_DOUBLE_EQ(summary[1].seconds, 2.0);
  EXPECT_EQ(summary[3].node, "10.0.0.4");
  EXPECT_EQ(summary[3].rows, rows[1].last - rows[1].first + 1);
  EXPECT_TRUE(summary[3].finished);
  EXPECT_DOUBLE_EQ(summary[0].seconds, 3.0);  // handed out at 0 s, reported at 3 s
  EXPECT_DOUBLE_EQ(summary[0].rowsPerSecond, summary[0].rows / 3.0);
  EXPECT_EQ(summary[0].firstRow, 1);  // band 1 is asked from the top: row 1

  // A band that reported its end with rows missing is handed out again: it
  // is not done until it reports once more.
  progress.BandLost(3);
  EXPECT_EQ(progress.Snapshot().bandsDone, 2);
  EXPECT_TRUE(progress.Summary()[2].handedOutAgain);
  // Lost there, not done there: the summary must not say both.
  EXPECT_TRUE(progress.Summary()[2].lost);
  EXPECT_FALSE(progress.Summary()[2].finished);
  progress.BandHandedOut(3, rows[2], "10.0.0.5");
  progress.BandReported(3);
  EXPECT_EQ(progress.Snapshot().bandsDone, 3);
}

}  // namespace
}  // namespace jobs
