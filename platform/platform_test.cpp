#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/Confinement.h"
#include "platform/Desktop.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Texts.h"

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

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ChildProcess, StandardStreamsNiceSignalsAndStops) {
  const auto dir = std::filesystem::temp_directory_path() / ("childprocess_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "in") << "in\n";
  const int in = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
  const int err = open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(in, 0);
  ASSERT_GE(err, 0);
  platform::ChildProcess::Options options;
  options.stdinFd = in;
  options.stderrFd = err;
  options.outputFile = dir / "out";
  options.nice = 5;
  options.batch = true;
  // Set for the child alone: one new variable, one the parent has.
  setenv("CHILD_PROCESS_TEST_KEPT", "parent's", 1);
  options.env = {{"CHILD_PROCESS_TEST_NEW", "a b"}, {"CHILD_PROCESS_TEST_KEPT", "child's"}};
  std::string error;
  // Field 41 of stat is the scheduling policy: 3 for SCHED_BATCH.
  auto child = platform::ChildProcess::Start(
      {"sh", "-c",
       "cat; nice; cut -d' ' -f41 /proc/self/stat; echo e >&2; "
       "echo \"$CHILD_PROCESS_TEST_NEW|$CHILD_PROCESS_TEST_KEPT\"; env | grep -c CHILD_PROCESS_TEST_KEPT="},
      options, &error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(child->Wait(), 0);
  close(in);
  close(err);
  EXPECT_EQ(Slurp(dir / "out"), "in\n5\n3\na b|child's\n1\n");
  EXPECT_EQ(std::getenv("CHILD_PROCESS_TEST_NEW"), nullptr);
  EXPECT_STREQ(std::getenv("CHILD_PROCESS_TEST_KEPT"), "parent's");
  unsetenv("CHILD_PROCESS_TEST_KEPT");
  EXPECT_EQ(Slurp(dir / "err"), "e\n");

  // An ignored signal stays ignored across exec unless asked otherwise.
  signal(SIGUSR1, SIG_IGN);
  const std::vector<std::string> selfKill = {"sh", "-c", "kill -USR1 $$"};
  auto ignoring = platform::ChildProcess::Start(selfKill, &error);
  ASSERT_TRUE(ignoring) << error;
  EXPECT_EQ(ignoring->Wait(), 0);
  platform::ChildProcess::Options defaults;
  defaults.defaultSignals = true;
  auto dying = platform::ChildProcess::Start(selfKill, defaults, &error);
  ASSERT_TRUE(dying) << error;
  EXPECT_EQ(dying->Wait(), 128 + SIGUSR1);
  signal(SIGUSR1, SIG_DFL);

  auto sleeper = platform::ChildProcess::Start({"sleep", "30"}, &error);
  ASSERT_TRUE(sleeper) << error;
  EXPECT_FALSE(sleeper->Poll());
  ASSERT_TRUE(sleeper->Signal(SIGSTOP));
  bool stopped = false;
  for (int i = 0; i < 1000 && !stopped; ++i) {
    stopped = sleeper->PollStopped();
    if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(sleeper->Poll());
  EXPECT_TRUE(sleeper->Terminate());
  EXPECT_EQ(sleeper->Wait(), 128 + SIGKILL);
  EXPECT_EQ(sleeper->Poll(), 128 + SIGKILL);
  EXPECT_FALSE(sleeper->Signal(SIGCONT));

  options = {};
  options.outputFile = dir / "missing" / "out";
  EXPECT_FALSE(platform::ChildProcess::Start({"true"}, options, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// A confined child writes in its folder only, reads nothing outside its
// rules and starts no other program; limits hold in the child.
TEST(ChildProcess, ConfinementAndLimitsHoldInTheChild) {
  if (platform::LandlockAbi() == 0) GTEST_SKIP() << "no Landlock in this kernel";
  const auto dir = std::filesystem::temp_directory_path() / ("confined_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "job");
  std::ofstream(dir / "secret") << "s\n";
  platform::ConfinementRules rules;
  rules.read = {"/usr/lib", "/lib", "/lib64", "/etc/ld.so.cache"};
  rules.write = {dir / "job"};
  rules.execute = {"/bin/sh", "/lib64/ld-linux-x86-64.so.2"};
  auto confinement = platform::Confinement::Prepare(rules);
  ASSERT_TRUE(confinement) << confinement.status().reason();
  platform::ChildProcess::Options options;
  options.confinement = confinement->get();
  options.outputFile = dir / "job" / "out";
  const std::string d = dir.string();
  std::string error;
  auto child = platform::ChildProcess::Start({"/bin/sh", "-c",
                                              "echo in > " + d + "/job/in; echo out > " + d + "/out; read s < " + d +
                                                  "/secret && echo read; /bin/true && echo ran; "
                                                  "echo done"},
                                             options, &error);
  ASSERT_TRUE(child) << error;
  EXPECT_EQ(child->Wait(), 0);
  const std::string said = Slurp(dir / "job" / "out");
  EXPECT_TRUE(std::filesystem::exists(dir / "job" / "in"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
  EXPECT_EQ(said.find("read"), std::string::npos) << said;
  EXPECT_EQ(said.find("ran"), std::string::npos) << said;
  EXPECT_NE(said.find("done"), std::string::npos) << said;
  EXPECT_TRUE(platform::ChildProcess::Start({"/bin/true"}, &error)) << error;  // the parent is not confined

  platform::ChildProcess::Options limited;
  limited.limits = {{RLIMIT_FSIZE, 1 << 20}};
  // A file written past the limit ends the writer there.
  limited.outputFile = dir / "big";
  auto big = platform::ChildProcess::Start({"head", "-c", "2000000", "/dev/zero"}, limited, &error);
  ASSERT_TRUE(big) << error;
  EXPECT_EQ(big->Wait(), 128 + SIGXFSZ);
  EXPECT_EQ(std::filesystem::file_size(dir / "big"), 1u << 20);
  std::filesystem::remove_all(dir);
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

// Sets or (with nullptr) unsets a variable for one scope.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

TEST(Texts, TheFirstSetLocaleVariableDecidesAndBoxesShowTheTranslation) {
  {
    EnvVar all("LC_ALL", ""), messages("LC_MESSAGES", nullptr), lang("LANG", "en_GB.UTF-8");
    EXPECT_TRUE(platform::EnglishLocale());
  }
  {
    EnvVar all("LC_ALL", "zh_CN.UTF-8"), lang("LANG", "en_US.UTF-8");
    EXPECT_FALSE(platform::EnglishLocale()) << "LC_ALL comes first";
  }
  {
    EnvVar all("LC_ALL", nullptr), messages("LC_MESSAGES", "en_US.UTF-8"), lang("LANG", "C.UTF-8");
    EXPECT_TRUE(platform::EnglishLocale());
  }
  {
    EnvVar all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", nullptr);
    EXPECT_FALSE(platform::EnglishLocale()) << "the built-in texts are the default";
  }
  platform::SetTextTranslation([](const std::string& t) { return t == "先运行基础服务" ? "run the servers" : t; });
  std::string seen;
  auto previous = platform::SetMessageBoxPresenter([&](const std::string& t, const std::string&) { seen = t; });
  platform::MessageBox("先运行基础服务");
  EXPECT_EQ(seen, "run the servers");
  platform::MessageBox("error");
  EXPECT_EQ(seen, "error") << "a text without a translation is shown as it is";
  platform::SetMessageBoxPresenter(previous);
  platform::SetTextTranslation(nullptr);
}

TEST(Desktop, ARuntimeFolderOfItsOwnWhenNoneIsSet) {
  const std::filesystem::path tmp = std::filesystem::temp_directory_path() / ("rt-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(tmp);
  EnvVar runtime("XDG_RUNTIME_DIR", nullptr), tmpdir("TMPDIR", tmp.c_str());
  const std::filesystem::path expected = tmp / ("runtime-" + std::to_string(getuid()));
  std::filesystem::create_directories(expected);
  chmod(expected.c_str(), 0755);  // left open by someone: closed again
  platform::EnsureRuntimeFolder();
  ASSERT_NE(std::getenv("XDG_RUNTIME_DIR"), nullptr);
  EXPECT_EQ(std::filesystem::path(std::getenv("XDG_RUNTIME_DIR")), expected);
  struct stat info {};
  ASSERT_EQ(stat(expected.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  setenv("XDG_RUNTIME_DIR", "/somewhere/else", 1);
  platform::EnsureRuntimeFolder();
  EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/somewhere/else") << "a set variable is left alone";
  std::filesystem::remove_all(tmp);
}

TEST(Folders, TempFolderFollowsTmpdir) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/var/tmp/x", 1);
  EXPECT_EQ(platform::TempFolder(), std::filesystem::path("/var/tmp/x"));
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(platform::TempFolder(), std::filesystem::path("/tmp"));
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
  EXPECT_EQ(platform::ExecutableFolder(), platform::ModuleFolder(reinterpret_cast<const void*>(&platform::TempFolder)));
}

}  // namespace
