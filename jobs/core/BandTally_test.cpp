#include "jobs/core/BandTally.h"

#include <gtest/gtest.h>

#include "idl/BandLabel.h"

namespace jobs {
namespace {

TEST(BandFromLabel, ReadsTheBandNumberOfRenderKZip) {
  EXPECT_EQ(farm::ParseBandLabel("Render1.zip"), 1);
  EXPECT_EQ(farm::ParseBandLabel("Render12.zip"), 12);
  for (const char* bad :
       {"", "Render.zip", "Render0.zip", "render1.zip", "Render1.ZIP", "Render-1.zip", "Render+1.zip", "Render 1.zip",
        "Render1.zip ", " Render1.zip", "Render1x.zip", "Render99999999999.zip", "Finish", "Render1"}) {
    EXPECT_FALSE(farm::ParseBandLabel(bad).has_value()) << '"' << bad << '"';
  }
}

TEST(BandTally, EveryBandMustReportOnceRepeatsDoNotCount) {
  BandTally tally;
  EXPECT_FALSE(tally.Complete());
  EXPECT_FALSE(tally.Report(1));  // no band count yet
  tally.SetBandCount(3);
  EXPECT_FALSE(tally.Complete());
  EXPECT_TRUE(tally.Report(2));
  EXPECT_TRUE(tally.Report(2));  // band 2 rendered a second time
  EXPECT_TRUE(tally.Report(1));
  EXPECT_EQ(tally.reported_count(), 2);
  EXPECT_FALSE(tally.Complete()) << "three end messages, but band 3 is still out";
  EXPECT_FALSE(tally.Reported(3));
  EXPECT_TRUE(tally.Report(3));
  EXPECT_TRUE(tally.Complete());
  EXPECT_EQ(tally.messages(), 5);
}

TEST(BandTally, BandsOutsideTheJobAndUnlabelledEndsCompleteNothing) {
  BandTally tally;
  tally.SetBandCount(1);
  EXPECT_FALSE(tally.Report(0));
  EXPECT_FALSE(tally.Report(2));
  EXPECT_FALSE(tally.Report(-1));
  tally.ReportUnlabelled();
  tally.ReportUnlabelled();
  EXPECT_FALSE(tally.Complete());
  EXPECT_EQ(tally.messages(), 5);
  EXPECT_TRUE(tally.Report(1));
  EXPECT_TRUE(tally.Complete());
}

}  // namespace
}  // namespace jobs
