#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"

namespace {

TEST(SplitCommandLine, BlanksQuotesAndEscapes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SplitCommandLine("a  b\tc"), (V{"a", "b", "c"}));
  EXPECT_EQ(platform::SplitCommandLine("\"/my dir/pv engine\" +W640"), (V{"/my dir/pv engine", "+W640"}));
  EXPECT_EQ(platform::SplitCommandLine("'a \"b' c\\ d"), (V{"a \"b", "c d"}));
  EXPECT_EQ(platform::SplitCommandLine("x \"\" y"), (V{"x", "", "y"}));
  EXPECT_EQ(platform::SplitCommandLine("   "), V{});
}

TEST(ChildProcess, ExitStatusTerminateAndMissingProgram) {
  std::string error;
  auto ok = platform::ChildProcess::Start({"sh", "-c", "exit 3"}, &error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(ok->Wait(), 3);
  EXPECT_EQ(ok->Wait(), 3);
  EXPECT_FALSE(ok->Terminate());

  auto sleeper = platform::ChildProcess::Start({"sleep", "30"}, &error);
  ASSERT_TRUE(sleeper) << error;
  auto begin = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(sleeper->Terminate());
  });
  EXPECT_EQ(sleeper->Wait(), 128 + 9);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));

  auto missing = platform::ChildProcess::Start({"/nonexistent/program", "x"}, &error);
  EXPECT_FALSE(missing);
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
}

TEST(MessageBox, PresenterCapturesAndRestores) {
  std::string seen;
  auto previous = platform::SetMessageBoxPresenter([&](const std::string& t, const std::string&) { seen = t; });
  platform::MessageBox("先运行基础服务");
  EXPECT_EQ(seen, "先运行基础服务");
  platform::SetMessageBoxPresenter(previous);

  testing::internal::CaptureStderr();
  platform::MessageBox("error");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error\n");
}

TEST(Folders, TempFolderFollowsTmpdir) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/var/tmp/x", 1);
  EXPECT_EQ(platform::TempFolder(), std::filesystem::path("/var/tmp/x"));
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(platform::TempFolder(), std::filesystem::path("/tmp"));
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  EXPECT_EQ(platform::ExecutableFolder(), platform::ModuleFolder(reinterpret_cast<const void*>(&platform::TempFolder)));
}

}  // namespace
