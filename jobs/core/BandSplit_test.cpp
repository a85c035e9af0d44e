#include "jobs/core/BandSplit.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace jobs {
namespace {

// The first row as the "OneFrame" message carries it: band 1 from row 0.
int32_t SentFirst(const Band& band, int32_t count) {
  return farm::OutgoingFirstRow(band.index, RowsToRender(band, count));
}

TEST(BandSplit, OneFarmerTakesTheWholePictureSentFromRowZero) {
  const std::vector<Band> bands = SplitBands(480, 1);
  ASSERT_EQ(bands.size(), 1u);
  EXPECT_EQ(bands[0].index, 1);
  EXPECT_EQ(bands[0].rows.first, 1);
  EXPECT_EQ(bands[0].rows.last, 480);
  const farm::WorkUnit rows = RowsToRender(bands[0], 1);
  EXPECT_EQ(SentFirst(bands[0], 1), 0);
  EXPECT_EQ(rows.last, 480);
}

TEST(BandSplit, ThreeFarmersOverlapTenRowsAtEverySeam) {
  const std::vector<Band> bands = SplitBands(480, 3);
  ASSERT_EQ(bands.size(), 3u);
  const int32_t own[3][2] = {{1, 159}, {161, 319}, {321, 480}};
  const int32_t sent[3][2] = {{0, 169}, {151, 329}, {311, 480}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bands[i].index, i + 1);
    EXPECT_EQ(bands[i].rows.first, own[i][0]);
    EXPECT_EQ(bands[i].rows.last, own[i][1]);
    const farm::WorkUnit rows = RowsToRender(bands[i], 3);
    EXPECT_EQ(SentFirst(bands[i], 3), sent[i][0]);
    EXPECT_EQ(rows.last, sent[i][1]);
  }
  EXPECT_EQ(RowsToRender(bands[0], 3), (farm::WorkUnit{1, 169}));
}

TEST(BandSplit, UnevenHeightGivesTheRemainderToTheLastBand) {
  // 100 / 3 = 33: 1-32, 34-65, 67-100
  const std::vector<Band> bands = SplitBands(100, 3);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0].rows.last, 32);
  EXPECT_EQ(bands[1].rows.first, 34);
  EXPECT_EQ(bands[1].rows.last, 65);
  EXPECT_EQ(bands[2].rows.first, 67);
  EXPECT_EQ(bands[2].rows.last, 100);
}

TEST(BandSplit, MoreFarmersThanRowsLeavesEveryRowToTheLastBand) {
  const std::vector<Band> bands = SplitBands(2, 4);  // m = 0
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_EQ(SentFirst(bands[0], 4), 0);
  EXPECT_EQ(bands[0].rows.last, -1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bands[i].rows.first, 1);
    EXPECT_EQ(bands[i].rows.last, -1);
    EXPECT_TRUE(bands[i].rows.empty());
  }
  EXPECT_EQ(bands[3].rows.first, 1);
  EXPECT_EQ(bands[3].rows.last, 2);
  EXPECT_EQ(SentFirst(bands[0], 4), 0);
  EXPECT_EQ(RowsToRender(bands[0], 4).last, 9);
  EXPECT_EQ(SentFirst(bands[1], 4), -9);
  EXPECT_EQ(RowsToRender(bands[1], 4).last, 9);
  EXPECT_EQ(SentFirst(bands[3], 4), -9);
  EXPECT_EQ(RowsToRender(bands[3], 4).last, 2);
}

TEST(BandSplit, NoFarmerNoBand) {
  EXPECT_TRUE(SplitBands(480, 0).empty());
  EXPECT_TRUE(SplitBands(480, -2).empty());
}

// An own scene's bands: whole blocks, seams near an even split, every row
// owned once, never more bands than blocks.
TEST(BandSplit, SplitBlocksCoversEveryRowOnceInWholeBlocks) {
  EXPECT_EQ(SplitBlocks(240, 2, 32)[0].rows.last, 128);
  const std::vector<Band> few = SplitBlocks(100, 8, 32);
  ASSERT_EQ(few.size(), 4u);
  EXPECT_EQ(few.back().rows.first, 97);
  for (int32_t height : {1, 31, 32, 33, 240, 768, 1000}) {
    for (int32_t count : {1, 2, 3, 7, 40}) {
      const std::vector<Band> bands = SplitBlocks(height, count, 32);
      ASSERT_FALSE(bands.empty());
      int32_t next = 1;
      for (const Band& b : bands) {
        EXPECT_EQ(b.rows.first, next) << height << "/" << count;
        EXPECT_LE(b.rows.first, b.rows.last);
        EXPECT_EQ((b.rows.first - 1) % 32, 0);
        next = b.rows.last + 1;
      }
      EXPECT_EQ(next, height + 1) << height << "/" << count;
      EXPECT_LE(bands.size(), static_cast<std::size_t>(count));
    }
  }
  EXPECT_TRUE(SplitBlocks(0, 2, 32).empty());
}
// The holder and the taker end together at the rates measured; an own
// scene's taker starts on a block's first row; no split where it cannot pay.
TEST(BandSplit, CutRowEndsHolderAndTakerTogetherOnlyWhereItPays) {
  SplitView v;
  v.nextRow = 101;
  v.owedLast = 1000;
  v.holderRate = 50;
  v.takerRate = 150;
  v.startSeconds = 0.3;
  const int32_t m = CutRow(v);
  const double holder = (m - v.nextRow + 1) / v.holderRate;
  const double taker = v.startSeconds + (v.owedLast - m + kSeamWidening) / v.takerRate;
  EXPECT_NEAR(holder, taker, 1.0 / v.takerRate + 1.0 / v.holderRate) << m;
  EXPECT_GT(m, v.nextRow);

  v.blockSize = kOwnSceneBlockRows;
  const int32_t aligned = CutRow(v);
  EXPECT_EQ((aligned + 1 - kSeamWidening - 2) % kOwnSceneBlockRows, 0) << aligned;  // a block's second row
  EXPECT_LE(std::abs(aligned - m), kOwnSceneBlockRows / 2);

  SplitView fewRows = v;
  fewRows.nextRow = fewRows.owedLast - 2 * kSplitLeastRows + 2;
  fewRows.holderRate = 1;  // slow, but only a few rows are left
  EXPECT_EQ(CutRow(fewRows), 0);
  SplitView nearEnd = v;
  nearEnd.holderRate = 1000;  // 0.9 s left
  EXPECT_EQ(CutRow(nearEnd), 0);
  SplitView slowTaker = v;
  slowTaker.takerRate = 0.5;
  EXPECT_EQ(CutRow(slowTaker), 0);
  SplitView fastTaker = v;
  fastTaker.takerRate = 1e6;
  fastTaker.blockSize = 1;
  fastTaker.startSeconds = 0;
  EXPECT_EQ(CutRow(fastTaker), fastTaker.nextRow);  // the holder keeps only the row it renders now
}

}  // namespace
}  // namespace jobs
