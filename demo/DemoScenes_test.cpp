// Builds both demonstration scenes through the scene maker and has POV-Ray
// render them small: the scene text must parse and give a real picture.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "demo/DemoScenes.h"
#include "platform/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

fs::path BinDir() {
  const char* bin = std::getenv("FARM_BIN_DIR");
  return bin != nullptr ? fs::path(bin) : fs::path();
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RenderResult {
  int status = -1;
  std::string log;
  fs::path picture;
};

// Debian's povray.conf lets the renderer read the current folder and write
// under /tmp only, so it runs inside Render/ (where the scene's images are)
// and writes its picture into a private folder under /tmp.
RenderResult Render(const fs::path& render_folder, const fs::path& out_folder) {
  RenderResult r;
  r.picture = out_folder / "picture.png";
  fs::path log = out_folder / "povray.log";
  std::string error;
  auto child = platform::ChildProcess::Start(
      {"timeout", "240", "sh", "-c", "cd \"$1\" && exec povray -D -V +W80 +H60 +FN \"+O$2\" Tessel.pov 2>\"$3\"",
       "sh", render_folder.string(), r.picture.string(), log.string()},
      &error);
  if (!child) {
    r.log = error;
    return r;
  }
  r.status = child->Wait();
  r.log = ReadFile(log);
  return r;
}

// True when the picture holds at least two different colours.
bool HasSeveralColours(const fs::path& png, std::string* why) {
  int w = 0, h = 0, n = 0;
  unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 3);
  if (pixels == nullptr) {
    *why = "cannot read " + png.string();
    return false;
  }
  bool differs = false;
  for (int i = 1; i < w * h && !differs; ++i) {
    for (int c = 0; c < 3; ++c) differs = differs || pixels[i * 3 + c] != pixels[c];
  }
  stbi_image_free(pixels);
  if (w != 80 || h != 60) *why = "unexpected size";
  return differs && w == 80 && h == 60;
}

class DemoScenesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty()) << "FARM_BIN_DIR not set";
    char tmpl[] = "/tmp/demo_scenes_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    out_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(out_, ec);
  }

  void ExpectRenders() {
    RenderResult r = Render(BinDir() / "Render", out_);
    EXPECT_EQ(r.status, 0) << r.log;
    EXPECT_EQ(r.log.find("Parse Error"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("Possible Parse Error"), std::string::npos) << r.log;
    std::string why;
    EXPECT_TRUE(HasSeveralColours(r.picture, &why)) << why << "\n" << r.log;
  }

  fs::path out_;
};

TEST_F(DemoScenesTest, SceneOneBuildsAndRenders) {
  Maker maker;
  DemoResult built = BuildDemoScene1(maker, BinDir() / "bumpmap_.png");
  ASSERT_TRUE(built.ok()) << built.failed_call;

  // The wall picture was copied beside the scene under a UUID name and the
  // scene refers to it by that bare name.
  fs::path image;
  int files = 0;
  for (const auto& e : fs::directory_iterator(BinDir() / "Render")) {
    ++files;
    if (e.path().extension() == ".png") image = e.path();
  }
  EXPECT_EQ(files, 2);
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(image.stem().string().size(), 36u);
  std::string scene = ReadFile(BinDir() / "Render" / "Tessel.pov");
  EXPECT_NE(scene.find("uv_mapping image_map{\n png\n\"" + image.filename().string() + "\""),
            std::string::npos);
  EXPECT_EQ(ReadFile(image), ReadFile(BinDir() / "bumpmap_.png"));

  ExpectRenders();
}

TEST_F(DemoScenesTest, SceneTwoBuildsAndRendersFromAnEmptiedFolder) {
  // A stray file from an earlier scene must not survive the new Init.
  {
    Maker first;
    ASSERT_TRUE(BuildDemoScene1(first, BinDir() / "bumpmap_.png").ok());
  }
  Maker maker;
  DemoResult built = BuildDemoScene2(maker);
  ASSERT_TRUE(built.ok()) << built.failed_call;
  int files = 0;
  for (const auto& e : fs::directory_iterator(BinDir() / "Render")) {
    ++files;
    EXPECT_EQ(e.path().filename(), "Tessel.pov");
  }
  EXPECT_EQ(files, 1);
  std::string scene = ReadFile(BinDir() / "Render" / "Tessel.pov");
  EXPECT_NE(scene.find("spotlight"), std::string::npos);
  EXPECT_NE(scene.find("area_light"), std::string::npos);

  ExpectRenders();
}

TEST(DemoScenes, StopsAtTheFirstRefusedCall) {
  Maker maker;
  // A missing wall picture makes the image call fail; the script stops there.
  DemoResult built = BuildDemoScene1(maker, "/nonexistent/bumpmap_.png");
  EXPECT_EQ(built.hr, S_FALSE);
  EXPECT_NE(built.failed_call.find("PigmentInTextureSetImage"), std::string::npos);
}

}  // namespace
