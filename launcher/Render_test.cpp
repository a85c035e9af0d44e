#include "launcher/Render.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace launcher {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A whole line written by `echo`, read as a number; 0 while incomplete.
pid_t ReadPid(const fs::path& path) {
  std::string text = ReadFile(path);
  if (text.empty() || text.back() != '\n') return 0;
  return static_cast<pid_t>(std::stol(text));
}

// A process still runs when it exists and is not a zombie waiting for its
// (possibly careless) parent.
bool Alive(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return false;
  size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] != 'Z';
}

// Whether some thread of this process runs at nice 19.
bool SomeThreadAtLowestPriority() {
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::string stat = ReadFile(task.path() / "stat");
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    // After the name come state (field 3) ... nice (field 19).
    for (int i = 3; i <= 19 && fields >> field; ++i) {
      if (i == 19 && field == "19") return true;
    }
  }
  return false;
}

// The nice value of a process, -100 when it cannot be read.
int NiceOf(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t paren = stat.rfind(')');
  if (paren == std::string::npos) return -100;
  std::istringstream fields(stat.substr(paren + 2));
  std::string field;
  for (int i = 3; i <= 19 && fields >> field; ++i) {
    if (i == 19) return std::stoi(field);
  }
  return -100;
}

// Every test runs with a private $TMPDIR, so that its marker file meets no
// other test's.
class RenderTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/launcher_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* old = getenv("TMPDIR");
    hadTmpdir_ = old != nullptr;
    if (hadTmpdir_) oldTmpdir_ = old;
    setenv("TMPDIR", dir_.c_str(), 1);
    marker_ = dir_ / "povok.tmp";
    // Worker counts below are this test's own.
    ASSERT_TRUE(WorkersDone()) << "a worker of an earlier test still runs";
  }

  void TearDown() override {
    // Frees any gate a failed test left closed, so no child outlives it long.
    WriteFile(dir_ / "gate", "");
    if (hadTmpdir_)
      setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A command line that writes `word` into the file `name` of the test folder.
  std::string Writer(const std::string& name, const std::string& word = "done") const {
    return "sh -c 'echo " + word + " > " + (dir_ / name).string() + "'";
  }

  // A command line whose process writes its pid into `started`, then waits
  // (at most 20 s) until the file "gate" exists.
  std::string Gated(const std::string& started = "started") const {
    return "sh -c 'echo $$ > " + (dir_ / started).string() + "; i=0; while [ ! -e " + (dir_ / "gate").string() +
           " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done'";
  }

  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }
  void OpenGate() const { WriteFile(dir_ / "gate", ""); }
  bool MarkerAppears() const {
    return WaitFor([&] { return fs::exists(marker_); });
  }
  // Once no worker runs, nothing more of the renders so far can happen. An
  // accepted GO counts its worker before it returns, so an unchanged count
  // right after a GO says that it was ignored.
  static bool WorkersDone() {
    return WaitFor([] { return Render::RunningWorkers() == 0; });
  }
  // The worker drops to the lowest priority once it has started the process
  // and does nothing more until the process ends.
  static bool WorkerWaits() { return WaitFor(SomeThreadAtLowestPriority); }

  fs::path dir_;
  fs::path marker_;
  bool hadTmpdir_ = false;
  std::string oldTmpdir_;
};

TEST_F(RenderTest, ProcessThatEndsAtOnceLeavesMarkerAndNextGoIsAccepted) {
  Render render;
  EXPECT_EQ(render.GO(Writer("first").c_str()), S_OK);
  ASSERT_TRUE(MarkerAppears());
  EXPECT_EQ(ReadFile(dir_ / "first"), "done\n");
  EXPECT_EQ(fs::file_size(marker_), 0u);

  EXPECT_EQ(render.GO(Writer("second").c_str()), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Exists("second") && fs::exists(marker_); }));
  EXPECT_EQ(ReadFile(dir_ / "second"), "done\n");
}

TEST_F(RenderTest, OldMarkerIsDeletedAndMadeAgainOnlyAtTheEnd) {
  WriteFile(marker_, "left from an earlier render");
  Render render;
  render.GO(Gated().c_str());
  EXPECT_FALSE(fs::exists(marker_));  // gone when GO returns
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "started") != 0; }));
  ASSERT_TRUE(WorkerWaits());
  EXPECT_FALSE(fs::exists(marker_));

  OpenGate();
  ASSERT_TRUE(MarkerAppears());
  EXPECT_EQ(fs::file_size(marker_), 0u);
}

TEST_F(RenderTest, StopEndsProcessAndItsChildrenThenNextGoIsAccepted) {
  Render render;
  const std::string child = (dir_ / "child").string();
  const std::string self = (dir_ / "self").string();
  render.GO(("sh -c 'sleep 30 & echo $! > " + child + "; echo $$ > " + self + "; wait'").c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(self) != 0; }));
  const pid_t shell = ReadPid(self);
  const pid_t sleeper = ReadPid(child);
  ASSERT_NE(sleeper, 0);

  const auto stopped = std::chrono::steady_clock::now();
  EXPECT_EQ(render.Stop(), S_OK);
  ASSERT_TRUE(MarkerAppears());
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 10s);
  EXPECT_FALSE(Alive(shell));
  EXPECT_TRUE(WaitFor([&] { return !Alive(sleeper); }));

  render.GO(Writer("after").c_str());
  EXPECT_TRUE(WaitFor([&] { return Exists("after"); }));
  EXPECT_TRUE(MarkerAppears());
}

TEST_F(RenderTest, StopRightAfterGoNeverLeavesAProcessBehind) {
  Render render;
  for (int i = 0; i < 5; ++i) {
    const std::string pidFile = "pid" + std::to_string(i);
    render.GO(("sh -c 'echo $$ > " + (dir_ / pidFile).string() + "; exec sleep 30'").c_str());
    render.Stop();  // may come before the worker has started the process
    ASSERT_TRUE(MarkerAppears()) << "round " << i;
    if (pid_t pid = ReadPid(dir_ / pidFile)) {
      EXPECT_FALSE(Alive(pid)) << "round " << i;
    }
  }
}

TEST_F(RenderTest, GoRightAfterStopIsNotEndedByTheStoppedProcess) {
  Render render;
  render.GO(("sh -c 'echo $$ > " + (dir_ / "old").string() + "; exec sleep 30'").c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "old") != 0; }));
  render.Stop();
  render.GO(Gated().c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "started") != 0; }));
  // Once the killed process's worker is done, the new render still runs.
  ASSERT_TRUE(WaitFor([] { return Render::RunningWorkers() == 1; }));
  EXPECT_FALSE(fs::exists(marker_));
  render.GO(Writer("third").c_str());
  EXPECT_EQ(Render::RunningWorkers(), 1);

  OpenGate();
  ASSERT_TRUE(MarkerAppears());
  ASSERT_TRUE(WorkersDone());
  EXPECT_FALSE(Exists("third"));
}

// Captures what the library writes on standard error while it lives.
class StderrToFile {
 public:
  explicit StderrToFile(const fs::path& path) : path_(path) {
    fflush(stderr);
    saved_ = dup(2);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrToFile() {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }
  std::string Text() const { return ReadFile(path_); }

 private:
  fs::path path_;
  int saved_;
};

TEST_F(RenderTest, MissingProgramShowsMessageAndBlocksGoUntilStop) {
  StderrToFile err(dir_ / "stderr");
  Render render;
  render.GO(("\"" + (dir_ / "no such folder" / "pvengine").string() + "\" +W64 +H48").c_str());
  ASSERT_TRUE(WaitFor([&] { return !err.Text().empty(); }));
  EXPECT_EQ(err.Text(), "服务程序不在规定位置!\n");
  EXPECT_FALSE(fs::exists(marker_));

  ASSERT_TRUE(WorkersDone());
  render.GO(Writer("ignored").c_str());
  EXPECT_EQ(Render::RunningWorkers(), 0);
  EXPECT_FALSE(Exists("ignored"));
  EXPECT_FALSE(fs::exists(marker_));

  render.Stop();
  render.GO(Writer("accepted").c_str());
  EXPECT_TRUE(WaitFor([&] { return Exists("accepted"); }));
  EXPECT_TRUE(MarkerAppears());
  EXPECT_EQ(err.Text(), "服务程序不在规定位置!\n");
}

TEST_F(RenderTest, SecondGoWhileRunningIsIgnored) {
  Render render;
  render.GO(Gated().c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "started") != 0; }));
  EXPECT_TRUE(WaitFor([] { return SomeThreadAtLowestPriority(); }));  // the waiting worker
  EXPECT_EQ(NiceOf(ReadPid(dir_ / "started")), NiceOf(getpid())) << "the render runs at the host's priority";
  EXPECT_EQ(render.GO(Writer("second").c_str()), S_OK);
  EXPECT_EQ(Render::RunningWorkers(), 1);
  EXPECT_FALSE(fs::exists(marker_));

  OpenGate();
  ASSERT_TRUE(MarkerAppears());
  ASSERT_TRUE(WorkersDone());
  EXPECT_FALSE(Exists("second"));
}

TEST_F(RenderTest, LongCommandLineStartsWhole) {
  // The script lies in a folder with blanks and writes one argument a line.
  const fs::path folder = dir_ / "program files";
  fs::create_directory(folder);
  const fs::path script = folder / "echo args.sh";
  WriteFile(script, "#!/bin/sh\nout=$1\nshift\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out\"\n");
  fs::permissions(script, fs::perms::owner_all);

  const std::string longArg = "+I" + std::string(280, 'x') + ".pov";
  const std::string line =
      "\"" + script.string() + "\" " + (dir_ / "argv").string() + " " + longArg + " \"two words\" +W640";
  ASSERT_GE(line.size(), 300u);
  Render render;
  render.GO(line.c_str());
  ASSERT_TRUE(MarkerAppears());
  EXPECT_EQ(ReadFile(dir_ / "argv"), longArg + "\ntwo words\n+W640\n");
}

TEST_F(RenderTest, FinishCallbackRunsOnWorkerAfterMarker) {
  Render render;
  std::promise<std::pair<std::thread::id, bool>> called;
  std::atomic<int> calls{0};
  render.SetFinishCallback([&] {
    if (calls++ == 0) called.set_value({std::this_thread::get_id(), fs::exists(marker_)});
  });
  render.GO(Writer("out").c_str());
  auto result = called.get_future();
  ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
  auto [thread, markerThere] = result.get();
  EXPECT_NE(thread, std::this_thread::get_id());
  EXPECT_TRUE(markerThere);
  ASSERT_TRUE(WorkersDone());
  EXPECT_EQ(calls.load(), 1);

  // A failed start is told by the message box, not by the callback.
  StderrToFile err(dir_ / "stderr");
  render.GO("/nonexistent/pvengine");
  ASSERT_TRUE(WaitFor([&] { return !err.Text().empty(); }));
  render.Stop();
  ASSERT_TRUE(WorkersDone());
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(RenderTest, DestroyedWhileRunningWorkerStillMakesMarkerAndLeavesObjectAlone) {
  std::atomic<bool> called{false};
  auto render = std::make_unique<Render>();
  render->SetFinishCallback([&] { called = true; });
  render->GO(Gated().c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "started") != 0; }));
  render.reset();

  OpenGate();
  ASSERT_TRUE(MarkerAppears());
  ASSERT_TRUE(WorkersDone());
  EXPECT_FALSE(called);

  // A new object can render at once.
  Render next;
  next.GO(Writer("next").c_str());
  EXPECT_TRUE(WaitFor([&] { return Exists("next"); }));
}

TEST_F(RenderTest, StopOnAnyObjectEndsTheLastStartedProcess) {
  Render first;
  Render second;
  first.GO(Gated().c_str());
  ASSERT_TRUE(WaitFor([&] { return ReadPid(dir_ / "started") != 0; }));
  const pid_t pid = ReadPid(dir_ / "started");
  second.Stop();
  ASSERT_TRUE(MarkerAppears());
  EXPECT_FALSE(Alive(pid));
}

}  // namespace
}  // namespace launcher
