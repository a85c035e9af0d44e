#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>
#include <unistd.h>

#include "engine/BandPicture.h"
#include "engine/BandRender.h"
#include "engine/EngineOptions.h"
#include "engine/FinishedRows.h"
#include "engine/PpmImage.h"
#include "engine/RowPipe.h"
#include "tests/support/TestEnv.h"

namespace {

// Rows first..last of a still.
farm::WorkUnit Rows(int first, int last) { return {first, last, std::nullopt}; }

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
  ASSERT_TRUE(engine::ParseEngineCommandLine(
      {"/EXIT", "scene.pov", "+SR0.25", "+ER1.0", "+w32", "+h24", "-ua", "+A0.3", "+WT2", "-J"}, &o, &error))
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

// ---------------------------------------------------------------- renderer rows

TEST(RendererRowsTest, TheRendererIsNeverAskedForRowOneAlone) {
  EXPECT_EQ(engine::RendererRows(Rows(1, 1), 120), Rows(1, 2));
  EXPECT_EQ(engine::RendererRows(Rows(1, 1), 1), Rows(1, 1));  // one row is the whole picture
  EXPECT_EQ(engine::RendererRows(Rows(1, 2), 120), Rows(1, 2));
  EXPECT_EQ(engine::RendererRows(Rows(7, 7), 120), Rows(7, 7));

  engine::RendererRun run;
  run.renderer = "povray";
  run.sceneFile = "Tessel.pov";
  run.width = 160;
  run.height = 120;
  run.rows = Rows(1, 1);
  run.extraOptions = {"+SC0", "+EC1.0", "+UA"};
  const std::vector<std::string> args = engine::BandRendererArguments(run, "band.ppm");
  const std::vector<std::string> expected = {"povray", "+ITessel.pov", "+W160", "+H120", "+SR1", "+ER2", "+BS8",
                                             "+SC0",   "+EC1.0",       "+UA",   "+D",    "-P",   "+FP",  "+Oband.ppm"};
  EXPECT_EQ(args, expected);
  // A user's scene: povray's blocks, from the block boundary above the band.
  run.wholePictureBlocks = true;
  run.rows = Rows(75, 120);
  const std::vector<std::string> aligned = engine::BandRendererArguments(run, "band.ppm");
  EXPECT_EQ(std::vector<std::string>(aligned.begin() + 4, aligned.begin() + 7),
            (std::vector<std::string>{"+SR65", "+ER120", "+BS32"}));
  run.rows = Rows(65, 70);  // a block cut short would antialias row 70 unlike the whole picture
  const std::vector<std::string> inner = engine::BandRendererArguments(run, "band.ppm");
  EXPECT_EQ(std::vector<std::string>(inner.begin() + 4, inner.begin() + 6),
            (std::vector<std::string>{"+SR65", "+ER96"}));
  EXPECT_EQ(engine::BlockSize(640, 400), 32);
  EXPECT_EQ(engine::BlockSize(1280, 400), 16);
  EXPECT_EQ(engine::BlockSize(2048, 800), 8);
  EXPECT_EQ(engine::BlockSize(160, 90), 8);  // a short band still leaves in steps
  EXPECT_EQ(engine::BlockSize(160, 128), 16);
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

namespace {

// ---------------------------------------------------------------- finished rows

TEST(FinishedRowsTest, RowsLeaveInOrderOnceEveryPixelIsDrawn) {
  constexpr std::uint32_t D = engine::FinishedRows::kDrawn;
  // 3 x 4 picture, pitch 4, band rows 2 to 4.
  std::vector<std::uint32_t> px(4 * 4, 0);
  engine::FinishedRows rows(px.data(), 3, 4, 4, 2, 9);
  int row = 0;
  EXPECT_FALSE(rows.Next(&row));
  // Row 3 finished before row 2: nothing leaves until row 2 is whole.
  px[8] = px[9] = px[10] = D | 0x123;
  px[4] = px[5] = D;
  EXPECT_FALSE(rows.Next(&row));
  px[6] = D | 7;
  px[7] = 0;  // beyond the width: not looked at
  ASSERT_TRUE(rows.Next(&row));
  EXPECT_EQ(row, 2);
  EXPECT_EQ(rows.Row(2)[2], D | 7);
  ASSERT_TRUE(rows.Next(&row));
  EXPECT_EQ(row, 3);
  EXPECT_FALSE(rows.Next(&row));
  EXPECT_FALSE(rows.Done());
  px[12] = px[13] = px[14] = D;
  ASSERT_TRUE(rows.Next(&row));
  EXPECT_EQ(row, 4);  // the band's end is clamped to the picture
  EXPECT_TRUE(rows.Done());
  EXPECT_FALSE(rows.Next(&row));
}

TEST(RowPipeTest, RecordsCutAnywhereComeOutWhole) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::uint32_t a[] = {0x010203, 0x040506, 0x070809};
  ASSERT_TRUE(engine::WriteRowRecord(fds[1], 7, a, 3));
  ASSERT_TRUE(engine::WriteRowRecord(fds[1], 8, a, 0));
  close(fds[1]);
  std::string bytes;
  char buf[64];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) bytes.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  ASSERT_EQ(bytes.size(), 8u + 12u + 8u);

  engine::RowRecordReader reader(3);
  std::int32_t row = 0;
  std::vector<std::int32_t> pixels;
  for (char c : bytes.substr(0, 19)) reader.Feed(&c, 1);  // one byte short of the first record
  EXPECT_FALSE(reader.Next(&row, &pixels));
  reader.Feed(bytes.data() + 19, bytes.size() - 19);
  ASSERT_TRUE(reader.Next(&row, &pixels));
  EXPECT_EQ(row, 7);
  EXPECT_EQ(pixels, (std::vector<std::int32_t>{0x010203, 0x040506, 0x070809}));
  ASSERT_TRUE(reader.Next(&row, &pixels));
  EXPECT_EQ(row, 8);
  EXPECT_TRUE(pixels.empty());
  EXPECT_FALSE(reader.Next(&row, &pixels));

  engine::RowRecordReader narrow(2);  // a row wider than the picture
  narrow.Feed(bytes.data(), bytes.size());
  EXPECT_FALSE(narrow.Next(&row, &pixels));
  EXPECT_TRUE(narrow.broken());
}

// ---------------------------------------------------------------- band runs

// A band run in a scratch folder with a renderer script that plays povray:
// it sends preview rows down the row pipe and writes its picture.
class BandRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    run_.previewTap = dir_.path() / "libpvpreview.so";
    run_.sceneFile = "Tessel.pov";
    run_.width = 2;
    run_.height = 4;
    run_.rows = Rows(2, 4);
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  void InstallRenderer(const std::string& body) {
    const std::filesystem::path script = dir_.path() / "fake-povray";
    std::ofstream(script) << "#!/bin/bash\n"
                             "for a in \"$@\"; do case \"$a\" in +O*) out=\"${a#+O}\";; esac; done\n"
                             "echo \"$@\" > args\necho \"$LD_PRELOAD\" > preload\n"
                          << body;
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    run_.renderer = script.string();
  }

  int Run(std::string* error) {
    calls_.clear();
    return engine::RenderBand(
        run_,
        [&](int row, const std::int32_t* px) {
          calls_.push_back({row, {px, px + run_.width}});
        },
        error, &counts_);
  }

  farmtest::TempDir dir_;
  std::filesystem::path previous_;
  engine::RendererRun run_;
  engine::BandCounts counts_;
  std::vector<std::pair<int, std::vector<std::int32_t>>> calls_;
};

TEST_F(BandRenderTest, PreviewRowsComeFirstAndThePictureMendsTheRest) {
  // Row r of the picture: every pixel (r, 16 + r, 32 + r). The preview
  // sends row 2 exact, row 3 one level off, and a row outside the band;
  // row 4 only ever shows in the picture.
  InstallRenderer(
      "printf '\\002\\0\\0\\0\\002\\0\\0\\0\\002\\022\\042\\0\\002\\022\\042\\0' >&$PVENGINE_TAP_FD\n"
      "printf '\\011\\0\\0\\0\\002\\0\\0\\0\\001\\001\\001\\0\\001\\001\\001\\0' >&$PVENGINE_TAP_FD\n"
      "printf '\\003\\0\\0\\0\\002\\0\\0\\0\\004\\023\\043\\0\\003\\023\\043\\0' >&$PVENGINE_TAP_FD\n"
      "printf 'P6\\n2 4\\n255\\n"
      "\\001\\021\\041\\001\\021\\041\\002\\022\\042\\002\\022\\042"
      "\\003\\023\\043\\003\\023\\043\\004\\024\\044\\004\\024\\044' > \"$out\"\n");
  std::string error;
  ASSERT_EQ(Run(&error), 0) << error;
  const std::vector<std::pair<int, std::vector<std::int32_t>>> expected = {
      {2, {0x221202, 0x221202}}, {3, {0x231304, 0x231303}}, {3, {0x231303, 0x231303}}, {4, {0x241404, 0x241404}}};
  EXPECT_EQ(calls_, expected);
  EXPECT_EQ(counts_.previewRows, 2);
  EXPECT_EQ(counts_.correctedRows, 2);
  // One run for the band, with the preview display on and the tap loaded.
  const std::string args = farmtest::ReadFile(dir_.path() / "args");
  EXPECT_NE(args.find("+ITessel.pov +W2 +H4 +SR2 +ER4 +BS8 +D -P +FP +Opvengine-band.ppm"), std::string::npos) << args;
  EXPECT_EQ(farmtest::ReadFile(dir_.path() / "preload").substr(0, run_.previewTap.string().size()),
            run_.previewTap.string());
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pvengine-band.ppm"));
  EXPECT_FALSE(counts_.pictureBeforeExit);
}

TEST_F(BandRenderTest, ThePictureIsReadWhenTheTapSaysItIsWritten) {
  // The picture comes first, then the tap's word, then a preview row that
  // must not undo the exact one; the renderer ends only once the engine has
  // handed on the picture's rows (it waits for the file to go).
  InstallRenderer(
      "printf 'P6\\n2 4\\n255\\n"
      "\\001\\021\\041\\001\\021\\041\\002\\022\\042\\002\\022\\042"
      "\\003\\023\\043\\003\\023\\043\\004\\024\\044\\004\\024\\044' > \"$out\"\n"
      "printf '\\0\\0\\0\\0\\0\\0\\0\\0' >&$PVENGINE_TAP_FD\n"
      "printf '\\003\\0\\0\\0\\002\\0\\0\\0\\004\\023\\043\\0\\003\\023\\043\\0' >&$PVENGINE_TAP_FD\n"
      "for i in $(seq 100); do [ -e \"$out\" ] || break; sleep 0.1; done\n"
      "[ -e \"$out\" ] && exit 4\n"
      "[ \"$PVENGINE_TAP_PICTURE\" = \"$PWD/$out\" ] || exit 5\n");
  std::string error;
  ASSERT_EQ(Run(&error), 0) << error;
  const std::vector<std::pair<int, std::vector<std::int32_t>>> expected = {
      {2, {0x221202, 0x221202}}, {3, {0x231303, 0x231303}}, {4, {0x241404, 0x241404}}};
  EXPECT_EQ(calls_, expected);
  EXPECT_EQ(counts_.previewRows, 0);
  EXPECT_TRUE(counts_.pictureBeforeExit);
}

TEST_F(BandRenderTest, ExactRowsComeFromTheRendererItselfAndEveryRowMustCome) {
  // povray-rows sends each row once, in whatever order its blocks finish,
  // through the pipe it is given, and writes no picture. It runs as batch
  // work (scheduling policy 3, field 41 of stat).
  run_.exactRows = true;
  InstallRenderer(
      "[ \"$PVENGINE_ROW_RANGE\" = '2 4' ] || exit 5\n"
      "[ \"$(cut -d' ' -f41 /proc/self/stat)\" = 3 ] || exit 6\n"
      "printf '\\003\\0\\0\\0\\002\\0\\0\\0\\003\\023\\043\\0\\003\\023\\043\\0' >&$PVENGINE_ROW_FD\n"
      "printf '\\002\\0\\0\\0\\002\\0\\0\\0\\002\\022\\042\\0\\002\\022\\042\\0' >&$PVENGINE_ROW_FD\n"
      "case \" $* \" in *' last '*) exit 0;; esac\n"
      "printf '\\004\\0\\0\\0\\002\\0\\0\\0\\004\\024\\044\\0\\004\\024\\044\\0' >&$PVENGINE_ROW_FD\n");
  std::string error;
  ASSERT_EQ(Run(&error), 0) << error;
  const std::vector<std::pair<int, std::vector<std::int32_t>>> expected = {
      {3, {0x231303, 0x231303}}, {2, {0x221202, 0x221202}}, {4, {0x241404, 0x241404}}};
  EXPECT_EQ(calls_, expected);
  EXPECT_EQ(counts_.correctedRows, 0);
  const std::string args = farmtest::ReadFile(dir_.path() / "args");
  EXPECT_NE(args.find("+ITessel.pov +W2 +H4 +SR2 +ER4 +BS8 -D -P -F"), std::string::npos) << args;
  EXPECT_EQ(args.find("+O"), std::string::npos) << args;
  EXPECT_EQ(farmtest::ReadFile(dir_.path() / "preload").find("pvpreview"), std::string::npos);

  // Ending well with a row of the band never sent is a failure.
  run_.extraOptions = {"last"};  // the fake renderer's cue to stop early
  EXPECT_EQ(Run(&error), 1);
  EXPECT_NE(error.find("1 of the band's 3 rows never came"), std::string::npos) << error;
}

TEST_F(BandRenderTest, ARendererThatFailsOrLeavesNoPictureFails) {
  InstallRenderer(
      "printf '\\002\\0\\0\\0\\002\\0\\0\\0\\002\\022\\042\\0\\002\\022\\042\\0' >&$PVENGINE_TAP_FD\n"
      "exit 3\n");
  std::string error;
  EXPECT_EQ(Run(&error), 3);
  EXPECT_EQ(calls_.size(), 1u);  // what came before the end was handed on
  InstallRenderer("exit 0\n");
  EXPECT_EQ(Run(&error), 1);
  EXPECT_FALSE(error.empty());
  InstallRenderer("printf 'P6\\n3 4\\n255\\n' > \"$out\"\n");  // another size than asked
  EXPECT_EQ(Run(&error), 1);
  run_.renderer = (dir_.path() / "no-such-renderer").string();
  EXPECT_EQ(Run(&error), 127);
}

}  // namespace
