#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

#include "engine/BandPicture.h"
#include "engine/EngineOptions.h"
#include "engine/PpmImage.h"
#include "engine/StripPlan.h"
#include "engine/StripRender.h"
#include "tests/support/TestEnv.h"

namespace {

using engine::Strip;

// ---------------------------------------------------------------- command line

TEST(EngineOptionsTest, TheNodesCommandLine) {
  engine::EngineOptions o;
  std::string error;
  ASSERT_TRUE(engine::ParseEngineCommandLine({"/Exit", "/Render", "/srv/render node/Render/Tessel.pov", "+sc0",
                                              "+sr151", "+ec1.0", "+er329", "+ORender2.bmp", "+W640", "+H480", "+UA"},
                                             &o, &error))
      << error;
  EXPECT_TRUE(o.exitWhenDone);
  EXPECT_TRUE(o.render);
  EXPECT_EQ(o.scene, "/srv/render node/Render/Tessel.pov");
  EXPECT_EQ(o.startColumn, "0");
  EXPECT_EQ(o.endColumn, "1.0");
  EXPECT_EQ(o.startRow, "151");
  EXPECT_EQ(o.endRow, "329");
  EXPECT_EQ(o.output, "Render2.bmp");
  EXPECT_EQ(o.width, 640);
  EXPECT_EQ(o.height, 480);
  EXPECT_TRUE(o.alpha);
  EXPECT_TRUE(o.passThrough.empty());
}

TEST(EngineOptionsTest, SwitchesIgnoreCaseAndOthersPassThrough) {
  engine::EngineOptions o;
  std::string error;
  ASSERT_TRUE(engine::ParseEngineCommandLine({"/EXIT", "scene.pov", "+SR0.25", "+ER1.0", "+w32", "+h24", "-ua",
                                              "+A0.3", "+WT2", "-J"},
                                             &o, &error))
      << error;
  EXPECT_TRUE(o.exitWhenDone);
  EXPECT_FALSE(o.render);
  EXPECT_EQ(o.startRow, "0.25");
  EXPECT_EQ(o.endRow, "1.0");
  EXPECT_EQ(o.width, 32);
  EXPECT_EQ(o.height, 24);
  EXPECT_FALSE(o.alpha);
  EXPECT_EQ(o.passThrough, (std::vector<std::string>{"+A0.3", "+WT2", "-J"}));

  EXPECT_FALSE(engine::ParseEngineCommandLine({"/Exit", "/Render", "+W640"}, &o, &error));  // no scene
  EXPECT_FALSE(engine::ParseEngineCommandLine({"a.pov", "b.pov"}, &o, &error));
  EXPECT_FALSE(engine::ParseEngineCommandLine({"a.pov", "+W0"}, &o, &error));
}

TEST(EngineOptionsTest, RowsAsTheRendererReadsThem) {
  EXPECT_EQ(engine::ResolveRow("0", 480, false), 1);  // 0 is the top row
  EXPECT_EQ(engine::ResolveRow("-9", 480, false), 1);
  EXPECT_EQ(engine::ResolveRow("1", 480, false), 1);
  EXPECT_EQ(engine::ResolveRow("151", 480, false), 151);
  EXPECT_EQ(engine::ResolveRow("480", 480, true), 480);
  EXPECT_EQ(engine::ResolveRow("9", 480, true), 9);
  // Fractions, as povray takes them: of 8 rows, 0.5 starts at row 5 and
  // 1.0 ends at row 8.
  EXPECT_EQ(engine::ResolveRow("0.5", 8, false), 5);
  EXPECT_EQ(engine::ResolveRow("0.0", 8, false), 1);
  EXPECT_EQ(engine::ResolveRow("1.0", 8, true), 8);
  EXPECT_EQ(engine::ResolveRow("0.5", 8, true), 4);
  EXPECT_EQ(engine::ResolveRow("2.0", 8, true), 2);  // above 1.0: a row again
  EXPECT_EQ(engine::ResolveRow("", 8, true), std::nullopt);
  EXPECT_EQ(engine::ResolveRow("12x", 8, true), std::nullopt);
}

// ---------------------------------------------------------------- strips

void ExpectCovers(const std::vector<Strip>& strips, int first, int last) {
  ASSERT_FALSE(strips.empty());
  EXPECT_EQ(strips.front().first, first);
  EXPECT_EQ(strips.back().last, last);
  for (size_t i = 0; i < strips.size(); ++i) {
    EXPECT_GE(strips[i].rows(), 1);
    if (i > 0) {
      EXPECT_EQ(strips[i].first, strips[i - 1].last + 1);
    }
  }
}

TEST(StripPlanTest, SmallFirstThenGrowingUpToAShareOfTheBand) {
  const std::vector<Strip> plan = engine::PlanStrips(1, 120, {2, 2, 6});
  // 2, 4, 8, 16, then at most ceil(120 / 6) = 20 rows; the last 10 rows
  // join the strip before them.
  const std::vector<Strip> expected = {{1, 2}, {3, 6}, {7, 14}, {15, 30}, {31, 50}, {51, 70}, {71, 90}, {91, 120}};
  EXPECT_EQ(plan, expected);
  // Of 60 rows (strips up to 10), the 6 left after row 54 make a strip of
  // their own.
  const std::vector<Strip> sixty = engine::PlanStrips(1, 60, {2, 2, 6});
  ASSERT_GE(sixty.size(), 2u);
  EXPECT_EQ(sixty[sixty.size() - 2], (Strip{45, 54}));
  EXPECT_EQ(sixty.back(), (Strip{55, 60}));
  EXPECT_EQ(engine::PlanStrips(1, 3), (std::vector<Strip>{{1, 3}}));

  EXPECT_EQ(engine::PlanStrips(311, 311), (std::vector<Strip>{{311, 311}}));
  EXPECT_EQ(engine::PlanStrips(5, 6), (std::vector<Strip>{{5, 6}}));
  EXPECT_TRUE(engine::PlanStrips(10, 9).empty());
  EXPECT_TRUE(engine::PlanStrips(1, -1).empty());
}

TEST(StripPlanTest, EveryBandIsCoveredOnceWithFewRuns) {
  for (int first : {1, 2, 151, 311}) {
    for (int rows : {1, 2, 3, 7, 64, 170, 480, 1081, 4000}) {
      const std::vector<Strip> plan = engine::PlanStrips(first, first + rows - 1);
      ExpectCovers(plan, first, first + rows - 1);
      EXPECT_EQ(plan.front().rows(), rows <= 3 ? rows : 2);
      // Growing up to the share bound, then at most `share` strips.
      const engine::StripPolicy policy;
      const int cap = std::max(policy.firstRows, (rows + policy.share - 1) / policy.share);
      int growing = 0;
      for (int size = policy.firstRows; size < cap; size *= policy.growth) ++growing;
      EXPECT_LE(plan.size(), static_cast<size_t>(growing + policy.share + 1)) << rows;
    }
  }
}

TEST(StripPlanTest, TheRendererIsNeverAskedForRowOneAlone) {
  EXPECT_EQ(engine::RendererRows({1, 1}, 120), (Strip{1, 2}));
  EXPECT_EQ(engine::RendererRows({1, 1}, 1), (Strip{1, 1}));  // one row is the whole picture
  EXPECT_EQ(engine::RendererRows({1, 2}, 120), (Strip{1, 2}));
  EXPECT_EQ(engine::RendererRows({7, 7}, 120), (Strip{7, 7}));

  engine::StripJob job;
  job.renderer = "povray";
  job.sceneFile = "Tessel.pov";
  job.width = 160;
  job.height = 120;
  job.extraOptions = {"+SC0", "+EC1.0", "+UA"};
  const std::vector<std::string> args = engine::RendererArguments(job, {1, 1}, "strip.ppm");
  const std::vector<std::string> expected = {"povray", "+ITessel.pov", "+W160", "+H120", "+SR1", "+ER2", "+SC0",
                                             "+EC1.0", "+UA",          "-D",    "-P",    "+FP",  "+Ostrip.ppm"};
  EXPECT_EQ(args, expected);
}

// ---------------------------------------------------------------- renderer runs

// A renderer run in a scratch folder (runs write their pictures into the
// current folder, as the engine works inside the scene's folder).
class StripRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    job_.sceneFile = "Tessel.pov";
    job_.width = 2;
    job_.height = 4;
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  // A renderer: a script that writes `ppm` to the picture named by +O (when
  // not empty) and exits with `status`.
  void InstallRenderer(const std::string& ppm, int status) {
    const std::filesystem::path script = dir_.path() / "fake-povray";
    std::ofstream(script) << "#!/bin/sh\n"
                             "for a in \"$@\"; do case \"$a\" in +O*) out=\"${a#+O}\";; esac; done\n"
                          << (ppm.empty() ? "" : "printf '" + ppm + "' > \"$out\"\n") << "exit " << status << "\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    job_.renderer = script.string();
  }

  engine::StripRender::State WaitForResult(engine::StripRender& run) {
    engine::StripRender::State state = engine::StripRender::State::kRunning;
    farmtest::WaitUntil([&] { return (state = run.Poll()) != engine::StripRender::State::kRunning; },
                        std::chrono::seconds(10));
    return state;
  }

  farmtest::TempDir dir_;
  std::filesystem::path previous_;
  engine::StripJob job_;
};

TEST_F(StripRenderTest, TheStripsRowsAreTakenFromTheWholePictureWhichIsThenRemoved) {
  // 2 x 4 pixels, written in octal; every pixel of row r is (r, 16 + r, 32 + r).
  InstallRenderer("P6\\n2 4\\n255\\n"
                  "\\001\\021\\041\\001\\021\\041\\002\\022\\042\\002\\022\\042"
                  "\\003\\023\\043\\003\\023\\043\\004\\024\\044\\004\\024\\044",
                  0);
  std::string error;
  auto run = engine::StripRender::Start(job_, {2, 3}, 7, &error);
  ASSERT_TRUE(run) << error;
  ASSERT_EQ(WaitForResult(*run), engine::StripRender::State::kPictureReady);
  std::vector<std::int32_t> pixels;
  ASSERT_TRUE(run->ReadRows(&pixels, &error)) << error;
  EXPECT_EQ(pixels, (std::vector<std::int32_t>{0x221202, 0x221202, 0x231303, 0x231303}));
  // The picture is not kept around for the rest of the band.
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pvengine-strip7.ppm"));
  EXPECT_EQ(run->Wait(), 0);
}

TEST_F(StripRenderTest, ARunWithoutAFittingPictureFailsWithItsStatus) {
  InstallRenderer("", 3);
  std::string error;
  auto run = engine::StripRender::Start(job_, {1, 4}, 0, &error);
  ASSERT_TRUE(run) << error;
  EXPECT_EQ(WaitForResult(*run), engine::StripRender::State::kFailed);
  EXPECT_EQ(run->Wait(), 3);

  InstallRenderer("P6\\n3 4\\n255\\n", 0);  // another size than asked
  run = engine::StripRender::Start(job_, {1, 4}, 1, &error);
  ASSERT_TRUE(run) << error;
  EXPECT_EQ(WaitForResult(*run), engine::StripRender::State::kFailed);
  run.reset();
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pvengine-strip1.ppm"));

  // A run given up while it renders leaves none of its files behind.
  job_.renderer = (dir_.path() / "slow-povray").string();
  std::ofstream(job_.renderer) << "#!/bin/sh\n"
                                  ": > pvengine-strip3.pov-state\n"
                                  ": > pvengine-strip3.ppm\n"
                                  "exec sleep 30\n";
  std::filesystem::permissions(job_.renderer, std::filesystem::perms::owner_all);
  run = engine::StripRender::Start(job_, {1, 4}, 3, &error);
  ASSERT_TRUE(run) << error;
  ASSERT_TRUE(farmtest::WaitUntil([&] { return std::filesystem::exists(dir_.path() / "pvengine-strip3.ppm"); },
                                  std::chrono::seconds(10)));
  EXPECT_EQ(run->Poll(), engine::StripRender::State::kRunning);
  run.reset();
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pvengine-strip3.pov-state"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pvengine-strip3.ppm"));

  job_.renderer = (dir_.path() / "no-such-renderer").string();
  EXPECT_FALSE(engine::StripRender::Start(job_, {1, 4}, 2, &error));
  EXPECT_FALSE(error.empty());
}

// ---------------------------------------------------------------- pictures

TEST(PpmImageTest, HeaderWithCommentsAndTheStartOfThePixels) {
  const std::string head = "P6\n# Software: POV-Ray\n# Render Date: today\n160 120\n255\n";
  engine::PpmHeader h;
  ASSERT_EQ(engine::ParsePpmHeader(head + "pixels", &h), engine::PpmParse::kOk);
  EXPECT_EQ(h.width, 160);
  EXPECT_EQ(h.height, 120);
  EXPECT_EQ(h.maxValue, 255);
  EXPECT_EQ(h.dataOffset, head.size());
  EXPECT_EQ(h.totalBytes(), head.size() + 160u * 120u * 3u);

  // Cut anywhere inside the header: more is needed.
  for (size_t n = 0; n < head.size(); ++n) {
    EXPECT_EQ(engine::ParsePpmHeader(head.substr(0, n), &h), engine::PpmParse::kNeedMore) << n;
  }
  EXPECT_EQ(engine::ParsePpmHeader("P3\n1 1\n255\n", &h), engine::PpmParse::kBad);
  EXPECT_EQ(engine::ParsePpmHeader("P6\n1 x\n255\n", &h), engine::PpmParse::kBad);
  EXPECT_EQ(engine::ParsePpmHeader("P6\n1 1\n0\n", &h), engine::PpmParse::kBad);
  EXPECT_EQ(engine::ParsePpmHeader("GIF89a", &h), engine::PpmParse::kBad);
}

TEST(PpmImageTest, RowsBecomeColorrefsWithRedInTheLowByte) {
  engine::PpmHeader h;
  ASSERT_EQ(engine::ParsePpmHeader(std::string("P6 2 1 255\n"), &h), engine::PpmParse::kOk);
  const unsigned char row8[] = {0x11, 0x22, 0x33, 0xFF, 0x00, 0x80};
  std::int32_t out[2];
  engine::PpmRowToColorref(row8, h, out);
  EXPECT_EQ(out[0], 0x332211);
  EXPECT_EQ(out[1], 0x8000FF);

  ASSERT_EQ(engine::ParsePpmHeader(std::string("P6 2 1 65535\n"), &h), engine::PpmParse::kOk);
  EXPECT_EQ(h.rowBytes(), 12u);
  const unsigned char row16[] = {0xFF, 0xFF, 0x00, 0x00, 0x80, 0x00, 0x01, 0x01, 0x7F, 0xFF, 0xFF, 0xFE};
  engine::PpmRowToColorref(row16, h, out);
  EXPECT_EQ(out[0], 0x8000FF);  // blue 0x8000 of 0xFFFF rounds to 0x80
  EXPECT_EQ(out[1], 0xFF7F01);
}

}  // namespace

namespace {

namespace fs = std::filesystem;

TEST(BandPictureTest, RowsLandWhereTheirNumberSaysAndTheRestIsBlack) {
  farmtest::TempDir dir;
  engine::BandPicture picture(3, 4);
  const std::int32_t row2[] = {0x0000FF, 0x00FF00, 0xFF0000};
  picture.PutRow(2, row2);
  picture.PutRow(0, row2);  // outside: ignored
  picture.PutRow(5, row2);
  const fs::path file = dir.path() / "Render1.bmp";
  ASSERT_TRUE(picture.SaveBmp(file));
  int w = 0, h = 0, n = 0;
  unsigned char* rgb = stbi_load(file.c_str(), &w, &h, &n, 3);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 4);
  const std::vector<unsigned char> pixels(rgb, rgb + 3 * 4 * 3);
  stbi_image_free(rgb);
  const std::vector<unsigned char> expected = {0,   0, 0, 0, 0,   0, 0, 0, 0,    // row 1
                                               255, 0, 0, 0, 255, 0, 0, 0, 255,  // row 2
                                               0,   0, 0, 0, 0,   0, 0, 0, 0,    // row 3
                                               0,   0, 0, 0, 0,   0, 0, 0, 0};   // row 4
  EXPECT_EQ(pixels, expected);
  EXPECT_FALSE(picture.SaveBmp(dir.path() / "missing" / "x.bmp"));
}

}  // namespace
