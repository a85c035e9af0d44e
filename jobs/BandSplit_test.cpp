#include "jobs/BandSplit.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(BandSplit, OneFarmerTakesTheWholePictureSentFromRowZero) {
  const std::vector<Band> bands = SplitBands(480, 1);
  ASSERT_EQ(bands.size(), 1u);
  EXPECT_EQ(bands[0].index, 1);
  EXPECT_EQ(bands[0].first_row, 1);
  EXPECT_EQ(bands[0].last_row, 480);
  const JobRows rows = RowsToRender(bands[0], 1);
  EXPECT_EQ(rows.first_row, 0);
  EXPECT_EQ(rows.last_row, 480);
}

TEST(BandSplit, ThreeFarmersOverlapTenRowsAtEverySeam) {
  const std::vector<Band> bands = SplitBands(480, 3);
  ASSERT_EQ(bands.size(), 3u);
  const int32_t own[3][2] = {{0, 159}, {161, 319}, {321, 480}};
  const int32_t sent[3][2] = {{0, 169}, {151, 329}, {311, 480}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bands[i].index, i + 1);
    EXPECT_EQ(bands[i].first_row, own[i][0]);
    EXPECT_EQ(bands[i].last_row, own[i][1]);
    const JobRows rows = RowsToRender(bands[i], 3);
    EXPECT_EQ(rows.first_row, sent[i][0]);
    EXPECT_EQ(rows.last_row, sent[i][1]);
  }
}

TEST(BandSplit, UnevenHeightGivesTheRemainderToTheLastBand) {
  // 100 / 3 = 33: 0-32, 34-65, 67-100
  const std::vector<Band> bands = SplitBands(100, 3);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0].last_row, 32);
  EXPECT_EQ(bands[1].first_row, 34);
  EXPECT_EQ(bands[1].last_row, 65);
  EXPECT_EQ(bands[2].first_row, 67);
  EXPECT_EQ(bands[2].last_row, 100);
}

TEST(BandSplit, MoreFarmersThanRowsLeavesEveryRowToTheLastBand) {
  const std::vector<Band> bands = SplitBands(2, 4);  // m = 0
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_EQ(bands[0].first_row, 0);
  EXPECT_EQ(bands[0].last_row, -1);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(bands[i].first_row, 1);
    EXPECT_EQ(bands[i].last_row, -1);
  }
  EXPECT_EQ(bands[3].first_row, 1);
  EXPECT_EQ(bands[3].last_row, 2);
  EXPECT_EQ(RowsToRender(bands[0], 4).first_row, 0);
  EXPECT_EQ(RowsToRender(bands[0], 4).last_row, 9);
  EXPECT_EQ(RowsToRender(bands[3], 4).first_row, -9);
  EXPECT_EQ(RowsToRender(bands[3], 4).last_row, 2);
}

TEST(BandSplit, NoFarmerNoBand) {
  EXPECT_TRUE(SplitBands(480, 0).empty());
  EXPECT_TRUE(SplitBands(480, -2).empty());
}

}  // namespace
}  // namespace lumora
