// Builds both demonstration scenes through the scene maker and has POV-Ray
// render them small: the scene text must parse and give a real picture.
#include "demo/DemoScenes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scene/SceneTestSupport.h"

namespace fs = std::filesystem;
using namespace scenetest;

namespace {

class DemoScenesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty()) << "FARM_BIN_DIR not set";
    ASSERT_FALSE(out_.path().empty());
  }

  void ExpectRenders() {
    RenderResult r = RenderScene(BinDir() / "Render", out_.path(), 80, 60);
    EXPECT_EQ(r.status, 0) << r.log;
    EXPECT_EQ(r.log.find("Parse Error"), std::string::npos) << r.log;
    std::string why;
    EXPECT_TRUE(HasSeveralColours(r.picture, 80, 60, &why)) << why << "\n" << r.log;
  }

  TmpFolder out_;
};

TEST_F(DemoScenesTest, SceneOneBuildsAndRenders) {
  Maker maker;
  DemoResult built = BuildDemoScene1(maker, BinDir() / "bumpmap_.png");
  ASSERT_TRUE(built.ok()) << built.failedCall;

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
  EXPECT_NE(scene.find("uv_mapping image_map{\n png\n\"" + image.filename().string() + "\""), std::string::npos);
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
  ASSERT_TRUE(built.ok()) << built.failedCall;
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
  EXPECT_NE(built.failedCall.find("PigmentInTextureSetImage"), std::string::npos);
}

}  // namespace
