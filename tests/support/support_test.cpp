#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/FakeFarmer.h"
#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;

// A test process that dies without its destructors (an abort, the test
// runner's time limit) takes the programs it started with it. Runs first,
// while this process has no other threads, since it forks.
TEST(Harness, ProgramsDieWithTheTestProcess) {
  TempDir dir;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t test = fork();
  ASSERT_GE(test, 0);
  if (test == 0) {
    close(fds[0]);
    auto sleeper = Process::Start({"/bin/sleep", "30"}, dir.path() / "orphan.log");
    const pid_t pid = sleeper ? sleeper->pid() : -1;
    (void)!write(fds[1], &pid, sizeof(pid));
    pause();
    _exit(0);
  }
  close(fds[1]);
  pid_t orphan = -1;
  ASSERT_EQ(read(fds[0], &orphan, sizeof(orphan)), static_cast<ssize_t>(sizeof(orphan)));
  close(fds[0]);
  ASSERT_GT(orphan, 0);
  kill(test, SIGKILL);
  waitpid(test, nullptr, 0);
  // Gone, or a zombie waiting for init: either way no longer running.
  auto gone = [orphan] {
    const std::string stat = ReadFile("/proc/" + std::to_string(orphan) + "/stat");
    const size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
  };
  EXPECT_TRUE(WaitUntil(gone, 5s));
  if (!gone()) kill(orphan, SIGKILL);
}

TEST(Harness, ProcessStatusSignalsAndLog) {
  TempDir dir;
  auto quick = Process::Start({"/bin/sh", "-c", "echo out; echo err >&2; exit 7"}, dir.path() / "a.log");
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->WaitExit(5s), 7);
  EXPECT_NE(quick->Output().find("out\n"), std::string::npos);
  EXPECT_NE(quick->Output().find("err\n"), std::string::npos);

  auto sleeper = Process::Start({"/bin/sleep", "30"}, dir.path() / "b.log");
  ASSERT_TRUE(sleeper);
  EXPECT_FALSE(sleeper->WaitExit(50ms).has_value());
  sleeper->Signal(SIGSTOP);
  EXPECT_TRUE(sleeper->Running());
  sleeper->Signal(SIGTERM);
  sleeper->Signal(SIGCONT);
  EXPECT_EQ(sleeper->WaitExit(5s), 128 + SIGTERM);

  std::string error;
  EXPECT_FALSE(Process::Start({"/nonexistent/program"}, dir.path() / "c.log", &error));
  EXPECT_FALSE(error.empty());
}

// A suspended program has stopped by the time Suspend answers, also one
// that was busy on a processor when the signal was sent.
TEST(Harness, SuspendWaitsUntilTheProgramHasStopped) {
  TempDir dir;
  auto busy = Process::Start({"/bin/sh", "-c", "while :; do :; done"}, dir.path() / "d.log");
  ASSERT_TRUE(busy);
  ASSERT_TRUE(busy->Suspend(10s));
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(busy->pid()) + "/task")) {
    const std::string stat = ReadFile(task.path() / "stat");
    const size_t close = stat.rfind(')');
    ASSERT_NE(close, std::string::npos) << stat;
    EXPECT_EQ(stat.substr(close + 2, 1), "T") << stat;
  }
  EXPECT_TRUE(busy->Running());
  busy->Kill();
  EXPECT_EQ(busy->WaitExit(5s), 128 + SIGKILL);
}

// A TestOrb that ends before its thread reached the ORB's loop ends quietly.
TEST(Harness, TestOrbMayEndAtOnce) {
  for (int i = 0; i < 5; ++i) TestOrb orb;
}

TEST(Harness, TempDirAndEnvAreUndone) {
  std::filesystem::path kept;
  {
    TempDir dir;
    kept = dir.path();
    std::ofstream(kept / "f") << "x";
    ScopedEnv env("FARMTEST_PROBE_VAR", "1");
    EXPECT_STREQ(std::getenv("FARMTEST_PROBE_VAR"), "1");
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
  EXPECT_EQ(std::getenv("FARMTEST_PROBE_VAR"), nullptr);
  EXPECT_NE(FreeTcpPort(), 0);
}

TEST(Harness, TestOrbServesCallsWhileTestWaits) {
  TestOrb orb;
  PortableServer::Servant_var<FakeFarmer> farmer = new FakeFarmer("abc");
  CORBA::Object_var obj = orb.Activate(farmer.in());
  // Through the stringified form, as another process would see it.
  CORBA::Object_var again = orb.FromString(orb.ToString(obj));
  Kintra::Farmer_var f = Kintra::Farmer::_narrow(again);
  ASSERT_FALSE(CORBA::is_nil(f));
  CORBA::String_var id = f->ID();
  EXPECT_STREQ(id.in(), "abc");
  farmer->live = false;
  EXPECT_FALSE(f->IsLive());
  EXPECT_EQ(farmer->idCalls, 1);
  orb.Deactivate(farmer.in());
  EXPECT_THROW(f->IsLive(), CORBA::OBJECT_NOT_EXIST);
}

}  // namespace
}  // namespace farmtest
