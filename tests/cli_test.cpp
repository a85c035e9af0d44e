// Every program answers --help and --version at once, without starting
// anything (no registry is running here, and none is looked for).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

TEST(CommandLine, HelpAndVersionAnswerAndExit) {
  farmtest::TempDir dir;
  for (const std::string program : {"ledgo", "kintrahub", "tessel", "vornel", "farmreg", "lumora"}) {
    for (const std::string option : {"--help", "--version"}) {
      auto p = farmtest::Process::Start({(farmtest::BinDir() / program).string(), option},
                                        dir.path() / (program + option + ".log"));
      ASSERT_NE(p, nullptr);
      ASSERT_EQ(p->WaitExit(30s), 0) << program << " " << option << ": " << p->Output();
      const std::string out = p->Output();
      if (option == "--version") {
        EXPECT_EQ(out, program + " 1.0\n");
      } else {
        EXPECT_EQ(out.rfind("usage: " + program, 0), 0u) << out;
        if (program != "farmreg") {
          EXPECT_NE(out.find("LEDGO_PORT"), std::string::npos) << out;
        }
        if (program != "ledgo" && program != "farmreg") {
          EXPECT_NE(out.find("-ORBendPoint"), std::string::npos) << out;
        }
      }
    }
  }
}

// Bad values are refused before anything starts, with a line that says what
// was wrong and what to do, and the status each --help gives (2).
TEST(CommandLine, BadValuesAreRefusedBeforeAnythingStarts) {
  farmtest::TempDir dir;
  // A node folder that lacks its engine.
  const std::filesystem::path lone = dir.path() / "lone";
  std::filesystem::create_directories(lone);
  std::filesystem::copy_file(farmtest::BinDir() / "tessel", lone / "tessel");
  struct Case {
    std::string program;  // in bin/, or a path
    std::vector<std::string> args;
    std::string ledgoPort;  // LEDGO_PORT for the run ("" unset)
    std::string says;
  };
  const std::string out = (dir.path() / "x.png").string();
  const std::vector<Case> cases = {
      {"ledgo", {}, "abc", "LEDGO_PORT=abc is not a UDP port number; give a number from 1 to 65535"},
      {"tessel", {}, "70000", "LEDGO_PORT=70000 is not a UDP port number"},
      {"vornel", {"--scene", "1", "--out", out}, "0", "LEDGO_PORT=0 is not a UDP port number"},
      {"ledgo", {"--frobnicate"}, "", "unknown argument \"--frobnicate\""},
      {"tessel", {"--frobnicate"}, "", "unknown argument \"--frobnicate\"; this program takes only ORB options"},
      {"kintrahub", {"-ORBendPoint"}, "", "the ORB option -ORBendPoint needs a value"},
      {"vornel", {"--scene", "1", "--out", out, "--width", "0"}, "", "--width must be 1 to 65535 pixels"},
      {"vornel", {"--scene", "1", "--out", out, "--height", "100000"}, "", "--height must be 1 to 65535 pixels"},
      {"vornel", {"--scene", "1", "--out", out, "--width", "65535", "--height", "65535"}, "", "at most 268435456"},
      {"vornel", {"--scene", "1", "--out", (dir.path() / "missing" / "x.png").string()}, "", "there is no folder"},
      {(lone / "tessel").string(), {}, "", "no executable " + (lone / "pvengine").string()},
  };
  int n = 0;
  for (const Case& c : cases) {
    farmtest::ScopedEnv port("LEDGO_PORT", c.ledgoPort);
    std::vector<std::string> argv = {
        c.program.find('/') == std::string::npos ? (farmtest::BinDir() / c.program).string() : c.program};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    auto p = farmtest::Process::Start(argv, dir.path() / ("refused-" + std::to_string(++n) + ".log"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->WaitExit(30s), 2) << c.program << " " << c.says << ": " << p->Output();
    EXPECT_NE(p->Output().find(c.says), std::string::npos) << c.program << ": " << p->Output();
  }

  // The engine answers --help instead of complaining about a missing scene.
  auto engine = farmtest::Process::Start({(farmtest::BinDir() / "pvengine").string(), "--help"}, dir.path() / "e.log");
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->WaitExit(30s), 0);
  EXPECT_EQ(engine->Output().rfind("usage: pvengine", 0), 0u) << engine->Output();
}

}  // namespace
