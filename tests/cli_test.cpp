// Every program answers --help and --version at once, without starting
// anything (no registry is running here, and none is looked for).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

TEST(CommandLine, HelpAndVersionAnswerAndExit) {
  farmtest::TempDir dir;
  for (const std::string program : {"ledgo", "kintrahub", "tessel", "vornel", "farmreg"}) {
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

}  // namespace
