#include "demo/HeadlessRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace demo {
namespace {

struct Parsed {
  bool ok = false;
  bool wanted = false;
  HeadlessOptions options;
  std::string error;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vornel");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Parsed p;
  p.ok = ParseHeadless(static_cast<int>(args.size()), argv.data(), &p.options, &p.wanted, &p.error);
  return p;
}

TEST(ParseHeadless, ReadsARunAndLeavesOrbOptionsToTheOrb) {
  Parsed p = Parse({});
  EXPECT_TRUE(p.ok);
  EXPECT_FALSE(p.wanted);

  p = Parse({"-ORBendPoint", "giop:tcp:127.0.0.1:", "--scene", "2", "--out", "x.PNG", "--width", "320", "--height",
             "240", "--timeout", "60"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.wanted);
  EXPECT_EQ(p.options.scene, 2);
  EXPECT_EQ(p.options.out, "x.PNG");
  EXPECT_EQ(p.options.width, 320);
  EXPECT_EQ(p.options.height, 240);
  EXPECT_EQ(p.options.timeoutSeconds, 60);

  EXPECT_TRUE(Parse({"--scene", "1", "--out", "a/b.tga", "--timeout", "2147483"}).ok);
}

TEST(ParseHeadless, RefusesWhatCannotRenderOrSaveBeforeRendering) {
  const std::vector<std::vector<std::string>> bad = {
      {"--scene", "3", "--out", "x.png"},
      {"--scene", "1"},
      {"--out", "x.png"},
      {"--scene", "1", "--out", "x.gif"},  // no picture format: would fail only after the render
      {"--scene", "1", "--out", "x"},
      {"--scene", "1", "--out", "x.png", "--width", "wide"},
      {"--scene", "1", "--out", "x.png", "--timeout", "-1"},
      {"--scene", "1", "--out", "x.png", "--timeout", "2147484"},  // beyond 32-bit milliseconds
      {"--scene", "1", "--out", "x.png", "--bogus"},
  };
  for (const auto& args : bad) {
    const Parsed p = Parse(args);
    std::string line;
    for (const std::string& a : args) line += a + " ";
    EXPECT_FALSE(p.ok) << line;
    EXPECT_FALSE(p.error.empty()) << line;
    EXPECT_EQ(p.error.find('\n'), std::string::npos) << line;
  }
  EXPECT_NE(Parse({"--scene", "1", "--out", "x.gif"}).error.find(".png"), std::string::npos);
}

}  // namespace
}  // namespace demo
