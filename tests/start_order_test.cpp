// The farm's programs may start in any order and the name registry may
// restart: the programs wait for what they need, publish and join when it
// appears, and the farm renders within 10 s of the last start.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Farm.h"

namespace farmtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kRenderWithin = 10s;

// A private farm whose programs the test starts one by one.
class FarmStartTest : public ::testing::Test {
 protected:
  // Starts one program without waiting for it to be ready.
  Process* Start(const std::string& program) {
    Process* p = nullptr;
    if (program == "ledgo") p = farm_.StartProgram({(BinDir() / "ledgo").string()}, "ledgo");
    if (program == "kintrahub") {
      p = farm_.StartProgram({(BinDir() / "kintrahub").string(), "-ORBendPoint", farm_.WorkgroupEndpoint()},
                             "kintrahub");
    }
    if (program == "tessel") p = farm_.StartNode(farm_.MakeNodeFolder());
    lastStart_ = Clock::now();
    return p;
  }

  // Renders a small picture with vornel again and again until one render
  // succeeds or no render started within kRenderWithin of the last start
  // did. Answers the seconds from the last start to the saved picture.
  double RenderSoon() {
    if (client_.empty()) {
      client_ = farm_.MakeNodeFolder();
      std::string why;
      EXPECT_TRUE(farm_.UseClassesOf(client_, &why)) << why;
    }
    const fs::path out = farm_.TmpDir() / "order.png";
    std::string tried;
    while (Clock::now() < lastStart_ + kRenderWithin) {
      fs::remove(out);
      Process* v = farm_.StartProgram({(client_ / "vornel").string(), "--scene", "2", "--out", out.string(), "--width",
                                       "64", "--height", "48", "--quiet", "--timeout", "20"},
                                      "vornel");
      if (v == nullptr) break;
      if (v->WaitExit(30s) == 0 && fs::exists(out)) {
        const double seconds = std::chrono::duration<double>(Clock::now() - lastStart_).count();
        std::printf("rendered %.1f s after the last start\n", seconds);
        return seconds;
      }
      tried = v->Output();
      std::this_thread::sleep_for(300ms);
    }
    ADD_FAILURE() << "no render within " << kRenderWithin.count() << " s of the last start; last try:\n" << tried;
    return -1;
  }

  Farm farm_;
  fs::path client_;
  Clock::time_point lastStart_ = Clock::now();
};

class StartOrderTest : public FarmStartTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_P(StartOrderTest, FarmRendersSoonAfterTheLastStart) {
  std::vector<Process*> programs;
  for (const std::string& program : GetParam()) {
    programs.push_back(Start(program));
    ASSERT_NE(programs.back(), nullptr) << program;
    std::this_thread::sleep_for(1500ms);  // the programs before wait for this one
  }
  const double seconds = RenderSoon();
  EXPECT_GE(seconds, 0);
  for (Process* p : programs) EXPECT_TRUE(p->Running()) << p->Output();
  // Each said what it waited for while the others were missing.
  const std::vector<std::string>& order = GetParam();
  const auto before = [&](const std::string& a, const std::string& b) {
    return std::find(order.begin(), order.end(), a) < std::find(order.begin(), order.end(), b);
  };
  if (before("kintrahub", "ledgo")) {
    Process* hub = programs[std::find(order.begin(), order.end(), "kintrahub") - order.begin()];
    EXPECT_NE(hub->Output().find("waiting for the name registry at 127.0.0.1:" + std::to_string(farm_.RegistryPort())),
              std::string::npos)
        << hub->Output();
  }
  if (before("tessel", "kintrahub")) {
    Process* node = programs[std::find(order.begin(), order.end(), "tessel") - order.begin()];
    EXPECT_NE(node->Output().find("waiting to join the work group"), std::string::npos) << node->Output();
  }
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, StartOrderTest,
                         ::testing::Values(std::vector<std::string>{"ledgo", "kintrahub", "tessel"},
                                           std::vector<std::string>{"ledgo", "tessel", "kintrahub"},
                                           std::vector<std::string>{"kintrahub", "ledgo", "tessel"},
                                           std::vector<std::string>{"kintrahub", "tessel", "ledgo"},
                                           std::vector<std::string>{"tessel", "ledgo", "kintrahub"},
                                           std::vector<std::string>{"tessel", "kintrahub", "ledgo"}),
                         [](const ::testing::TestParamInfo<std::vector<std::string>>& info) {
                           return info.param[0] + "_" + info.param[1] + "_" + info.param[2];
                         });

// An orderly end of the registry deletes its table; the workgroup server
// publishes itself again in the new one and the farm renders on.
TEST_F(FarmStartTest, TheFarmRendersAgainSoonAfterTheRegistryRestarts) {
  Process* ledgo = Start("ledgo");
  Process* hub = Start("kintrahub");
  ASSERT_NE(Start("tessel"), nullptr);
  ASSERT_GE(RenderSoon(), 0);
  ledgo->Signal(SIGTERM);
  ASSERT_EQ(ledgo->WaitExit(10s), 0) << ledgo->Output();
  std::this_thread::sleep_for(2s);
  ASSERT_NE(Start("ledgo"), nullptr);
  EXPECT_GE(RenderSoon(), 0);
  EXPECT_EQ(Count(hub->Output(), "published \"WorkGroup\""), 2u) << hub->Output();
}

}  // namespace
}  // namespace farmtest
