#include "jobs/BandSplit.h"

#include <gtest/gtest.h>

namespace jobs {
namespace {

TEST(BandSplit, OneFarmerTakesTheWholePictureSentFromRowZero) {
  const std::vector<Band> bands = SplitBands(480, 1);
  ASSERT_EQ(bands.size(), 1u);
  EXPECT_EQ(bands[0].index, 1);
  EXPECT_EQ(bands[0].firstRow, 1);
  EXPECT_EQ(bands[0].lastRow, 480);
  const JobRows rows = RowsToRender(bands[0], 1);
  EXPECT_EQ(rows.firstRow, 0);
  EXPECT_EQ(rows.lastRow, 480);
}

TEST(BandSplit, ThreeFarmersOverlapTenRowsAtEverySeam) {
  const std::vector<Band> bands = SplitBands(480, 3);
  ASSERT_EQ(bands.size(), 3u);
  const int32_t own[3][2] = {{0, 159}, {161, 319}, {321, 480}};
  const int32_t sent[3][2] = {{0, 169}, {151, 329}, {311, 480}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bands[i].index, i + 1);
    EXPECT_EQ(bands[i].firstRow, own[i][0]);
    EXPECT_EQ(bands[i].lastRow, own[i][1]);
    const JobRows rows = RowsToRender(bands[i], 3);
    EXPECT_EQ(rows.firstRow, sent[i][0]);
    EXPECT_EQ(rows.lastRow, sent[i][1]);
  }
}

TEST(BandSplit, UnevenHeightGivesTheRemainderToTheLastBand) {
  // 100 / 3 = 33: 0-32, 34-65, 67-100
  const std::vector<Band> bands = SplitBands(100, 3);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0].lastRow, 32);
  EXPECT_EQ(bands[1].firstRow, 34);
  EXPECT_EQ(bands[1].lastRow, 65);
  EXPECT_EQ(bands[2].firstRow, 67);
  EXPECT_EQ(bands[2].lastRow, 100);
}

TEST(BandSplit, MoreFarmersThanRowsLeavesEveryRowToTheLastBand) {
  const std::vector<Band> bands = SplitBands(2, 4);  // m = 0
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_EQ(bands[0].firstRow, 0);
  EXPECT_EQ(bands[0].lastRow, -1);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(bands[i].firstRow, 1);
    EXPECT_EQ(bands[i].lastRow, -1);
  }
  EXPECT_EQ(bands[3].firstRow, 1);
  EXPECT_EQ(bands[3].lastRow, 2);
  EXPECT_EQ(RowsToRender(bands[0], 4).firstRow, 0);
  EXPECT_EQ(RowsToRender(bands[0], 4).lastRow, 9);
  EXPECT_EQ(RowsToRender(bands[3], 4).firstRow, -9);
  EXPECT_EQ(RowsToRender(bands[3], 4).lastRow, 2);
}

TEST(BandSplit, NoFarmerNoBand) {
  EXPECT_TRUE(SplitBands(480, 0).empty());
  EXPECT_TRUE(SplitBands(480, -2).empty());
}

}  // namespace
}  // namespace jobs
