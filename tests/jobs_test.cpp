// Render jobs on a real farm: the demo client vornel renders a
// demonstration scene through ledgo, kintrahub and tessel nodes, each
// program in a private folder of its own, and saves the picture.
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "registry/NameBinding.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kRenderLimit = 150s;

// Rows whose every pixel is still the initial yellow.
int YellowRows(const QImage& img) {
  int rows = 0;
  for (int y = 0; y < img.height(); ++y) {
    bool yellow = true;
    for (int x = 0; x < img.width() && yellow; ++x) yellow = img.pixel(x, y) == qRgb(255, 255, 0);
    if (yellow) ++rows;
  }
  return rows;
}

// Parent pid of a process, from /proc; -1 when it is gone.
pid_t ParentOf(pid_t pid, std::string* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return -1;
  const auto open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return -1;
  *name = stat.substr(open + 1, close - open - 1);
  std::istringstream rest(stat.substr(close + 2));
  char state;
  pid_t ppid = -1;
  rest >> state >> ppid;
  return ppid;
}

// Engines (pvengine and the povray it runs) started by the node `node`.
std::vector<pid_t> EnginesOf(pid_t node) {
  std::vector<pid_t> found;
  std::vector<pid_t> parents = {node};
  for (std::size_t i = 0; i < parents.size(); ++i) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string n = entry.path().filename().string();
      if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) continue;
      const pid_t pid = std::stoi(n);
      std::string name;
      if (ParentOf(pid, &name) == parents[i]) {
        parents.push_back(pid);
        found.push_back(pid);
      }
    }
  }
  return found;
}

// Processes that run a program from `folder` or run inside it (povray runs
// in the folder of its scene), with their names.
std::vector<std::pair<pid_t, std::string>> ProcessesIn(const fs::path& folder) {
  std::vector<std::pair<pid_t, std::string>> found;
  const std::string prefix = folder.string() + "/";
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string n = entry.path().filename().string();
    if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec;
    const std::string exe = fs::read_symlink(entry.path() / "exe", ec).string();
    const std::string cwd = fs::read_symlink(entry.path() / "cwd", ec).string();
    if (exe.rfind(prefix, 0) == 0 || cwd.rfind(prefix, 0) == 0) {
      std::string name;
      ParentOf(std::stoi(n), &name);
      found.emplace_back(std::stoi(n), name);
    }
  }
  return found;
}

class JobsTest : public ::testing::Test {
 protected:
  void SetUp() override { orb_ = std::make_unique<TestOrb>(); }
  void TearDown() override { orb_.reset(); }

  // Registry, workgroup server and `nodes` render nodes, all registered.
  void StartFarm(int nodes) {
    ASSERT_TRUE(farm_.StartRegistry());
    Process* hub = farm_.StartWorkgroup(orb_->orb());
    ASSERT_TRUE(hub && hub->Running()) << (hub ? hub->Output() : "");
    hub_ = hub;
    for (int i = 0; i < nodes; ++i) {
      Process* node = farm_.StartNode(farm_.MakeNodeFolder());
      ASSERT_TRUE(node != nullptr);
      nodes_.push_back(node);
    }
    ASSERT_TRUE(WaitUntil([&] { return Farmers() == nodes; }, 30s, 100ms)) << "farmers registered: " << Farmers();
  }

  int Farmers() {
    try {
      CORBA::Object_var obj = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 0);
      Kintra::WorkGropRegiste_var reg = Kintra::WorkGropRegiste::_narrow(obj);
      Kintra::WorkGroup_var group = reg->CreateWorkGroup("Tessel");
      Kintra::farmerlist_var list = new Kintra::farmerlist;
      group->GetValidFarmer(list.inout());
      return static_cast<int>(list->length());
    } catch (...) {
      return -1;
    }
  }

  // Starts vornel from a private copy of bin/ (its own work folder and
  // component libraries).
  Process* StartVornel(const std::vector<std::string>& args) {
    client_ = farm_.MakeNodeFolder();
    std::string why;
    if (!farm_.UseClassesOf(client_, &why)) {
      ADD_FAILURE() << why;
      return nullptr;
    }
    std::vector<std::string> argv = {(client_ / "vornel").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return farm_.StartProgram(argv, "vornel");
  }

  // Renders client_/Render/Tessel.pov with povray itself.
  QImage DirectRender(int width, int height) {
    const fs::path out = farm_.TmpDir() / "direct.png";
    Process* p = farm_.StartProgram(
        {POVRAY_PROGRAM, "+I" + (client_ / "Render" / "Tessel.pov").string(), "+L" + (client_ / "Render").string(),
         "+O" + out.string(), "+W" + std::to_string(width), "+H" + std::to_string(height), "-D", "+FN"},
        "povray");
    EXPECT_TRUE(p != nullptr);
    if (p == nullptr) return {};
    EXPECT_EQ(p->WaitExit(kRenderLimit), 0) << p->Output();
    return QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
  }

  // Runs one headless job of scene 1 and answers its exit status (-1 when
  // it did not end in time); `during` runs while it renders.
  int TimedJob(const fs::path& out, double* seconds, const std::function<void(Process*)>& during = {},
               const std::string& width = "320", const std::string& height = "240") {
    const auto start = std::chrono::steady_clock::now();
    Process* v = StartVornel({"--scene", "1", "--out", out.string(), "--width", width, "--height", height});
    if (v == nullptr) return -1;
    if (during) during(v);
    const std::optional<int> status = v->WaitExit(kRenderLimit);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    last_output_ = v->Output();
    return status.value_or(-1);
  }

  // Waits until node `i` has an engine running that it started after its
  // `starts`-th engine start; answers the engine's processes.
  std::vector<pid_t> EngineStart(std::size_t i, std::size_t starts) {
    std::vector<pid_t> engines;
    WaitUntil(
        [&] {
          engines = EnginesOf(nodes_[i]->pid());
          return !engines.empty() && Count(nodes_[i]->Output(), "tessel: engine: ") > starts;
        },
        60s, 10ms);
    return engines;
  }

  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  static int YellowRowsOf(const fs::path& file) {
    const QImage img = QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
    return img.isNull() ? -1 : YellowRows(img);
  }

  Farm farm_;
  std::unique_ptr<TestOrb> orb_;
  std::vector<Process*> nodes_;
  Process* hub_ = nullptr;
  fs::path client_;
  std::string last_output_;
};

TEST_F(JobsTest, ThreeNodesRenderScene2AsPovrayDoes) {
  StartFarm(3);
  const fs::path out = farm_.TmpDir() / "x.png";
  Process* v = StartVornel({"--scene", "2", "--out", out.string(), "--width", "320", "--height", "240"});
  ASSERT_TRUE(v != nullptr);
  ASSERT_EQ(v->WaitExit(kRenderLimit), 0) << v->Output();

  QImage farmPicture = QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(farmPicture.width(), 320);
  ASSERT_EQ(farmPicture.height(), 240);
  EXPECT_EQ(YellowRows(farmPicture), 0);
  EXPECT_FALSE(fs::exists(client_ / "Render.zip")) << "the package is deleted at the end of the job";
  // Off a terminal, progress comes in tenths, then one line per node.
  const std::string o = v->Output();
  EXPECT_NE(o.find("] 100.0 %  240/240 rows"), std::string::npos) << o;
  EXPECT_EQ(o.find("] 100.0 %"), o.rfind("] 100.0 %")) << o;
  // Where bands start: balancing may cut one short at its end.
  for (const char* band : {"    1        1-", "    2      71-", "    3     151-"}) {
    EXPECT_NE(o.find(band), std::string::npos) << band << "\n" << o;
  }

  // Same scene, one povray: every channel of every pixel within 32 levels
  // and on average within 0.5; the area light's jitter differs between the
  // renderer runs of a band and a single run (seen: mean 0.04, worst 9).
  const QImage direct = DirectRender(320, 240);
  ASSERT_EQ(direct.size(), farmPicture.size());
  double sum = 0;
  int worst = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const QRgb a = farmPicture.pixel(x, y), b = direct.pixel(x, y);
      for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
        sum += std::abs(d);
        worst = std::max(worst, std::abs(d));
      }
    }
  }
  const double mean = sum / (320.0 * 240.0 * 3.0);
  std::printf("farm against povray: mean difference %.3f, worst %d\n", mean, worst);
  if (const char* keep = std::getenv("JOBS_TEST_KEEP")) {
    fs::copy_file(out, fs::path(keep) / "farm-scene2.png", fs::copy_options::overwrite_existing);
    direct.save(QString::fromStdString((fs::path(keep) / "direct-scene2.png").string()));
  }
  EXPECT_LE(worst, 32) << "mean difference " << mean;
  EXPECT_LE(mean, 0.5) << "worst difference " << worst;
}

TEST_F(JobsTest, ABandWhoseNodeIsKilledIsRenderedByAnother) {
  StartFarm(3);
  const fs::path out = farm_.TmpDir() / "killed.png";
  Process* v = StartVornel({"--scene", "1", "--out", out.string(), "--width", "480", "--height", "360"});
  ASSERT_TRUE(v != nullptr);
  // Wait until the second node renders its band, then kill it and its engine.
  std::vector<pid_t> engines;
  ASSERT_TRUE(WaitUntil(
      [&] {
        engines = EnginesOf(nodes_[1]->pid());
        return !engines.empty() || !v->Running();
      },
      60s, 10ms));
  ASSERT_TRUE(v->Running()) << v->Output();
  std::this_thread::sleep_for(200ms);
  nodes_[1]->Kill();
  for (pid_t e : engines) kill(e, SIGKILL);

  ASSERT_EQ(v->WaitExit(kRenderLimit), 0) << v->Output();
  // The killed node's band (its engine writes Render<k>.bmp) was started
  // again on one of the others.
  const std::string killedLog = nodes_[1]->Output();
  const auto at = killedLog.find("+ORender");
  ASSERT_NE(at, std::string::npos) << killedLog;
  const std::string bandOutput = killedLog.substr(at, killedLog.find(".bmp", at) - at + 4);
  EXPECT_NE((nodes_[0]->Output() + nodes_[2]->Output()).find(bandOutput), std::string::npos)
      << bandOutput << " was not rendered again";
  // The summary counts the killed node's band as lost there, not done.
  EXPECT_NE(v->Output().find("  lost\n"), std::string::npos) << v->Output();
  QImage picture = QImage(QString::fromStdString(out.string()));
  ASSERT_EQ(picture.height(), 360);
  EXPECT_EQ(YellowRows(picture.convertToFormat(QImage::Format_RGB32)), 0);
}

TEST_F(JobsTest, RenderNet2WalksIdleRunningBlockedAndBackWithRealJobs) {
  StartFarm(1);
  client_ = farm_.MakeNodeFolder();
  fs::create_directories(client_ / "Render");
  std::ofstream(client_ / "Render" / "Tessel.pov") << "camera { location <0, 1, -4> look_at <0, 0, 0> }\n"
                                                      "light_source { <5, 5, -5> color rgb 1 }\n"
                                                      "sphere { <0, 0, 0>, 1 pigment { color rgb <0.2, 0.4, 0.9> } }\n"
                                                      "plane { y, -1 pigment { color rgb 0.8 } }\n";
  fs::copy_file(TestProgramDir() / "jobs_host", client_ / "jobs_host");
  const fs::path out = farm_.TmpDir() / "host.png";
  Process* host = farm_.StartProgram({(client_ / "jobs_host").string(), out.string()}, "jobs_host");
  ASSERT_TRUE(host != nullptr);
  ASSERT_EQ(host->WaitExit(kRenderLimit), 0) << host->Output();
  const std::string o = host->Output();
  for (const char* line :
       {"first state=1 reason=\n", "second-while-busy state=0 reason=a render job is still busy",
        "first-ended state=2 reason=\n", "saved=1 viewers=1\n", "after-destory viewers=0\n",
        "third-while-blocked state=0 reason=a render job is still busy", "third-after-init state=1 reason=\n",
        "third-ended state=2 reason=\n", "after-close viewers=0 saved-after-close=0\n",
        "fourth-after-close state=1 reason=\n", "fourth-ended state=2 reason=\n",
        "fifth-viewer-closed state=7 reason=the render job was cancelled\n",
        "sixth-init state=7 reason=the render job was cancelled\n"}) {
    EXPECT_NE(o.find(line), std::string::npos) << "missing: " << line << "\n" << o;
  }
  const QImage picture = QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.width(), 64);
  ASSERT_EQ(picture.height(), 48);
  EXPECT_EQ(YellowRows(picture), 0);
  EXPECT_NE(picture.pixel(32, 24), qRgb(255, 255, 0));
}

// A farm shared by several clients: a job that finds every node busy waits
// for one, says so, and starts as nodes come free; none fails, none is left
// with yellow rows.
TEST_F(JobsTest, ClientsStartedTogetherShareTwoNodesAndAllGetWholePictures) {
  StartFarm(2);
  for (int clients : {2, 4}) {
    SCOPED_TRACE(clients);
    const std::string size = clients == 2 ? "512" : "320";
    const std::string height = clients == 2 ? "384" : "240";
    std::vector<Process*> runs;
    std::vector<fs::path> outs;
    for (int i = 0; i < clients; ++i) {
      outs.push_back(farm_.TmpDir() / ("shared" + std::to_string(clients) + "-" + std::to_string(i) + ".png"));
      runs.push_back(StartVornel({"--scene", "1", "--out", outs.back().string(), "--width", size, "--height", height}));
      ASSERT_TRUE(runs.back() != nullptr);
    }
    int waited = 0;
    for (int i = 0; i < clients; ++i) {
      ASSERT_EQ(runs[i]->WaitExit(kRenderLimit), 0) << runs[i]->Output();
      EXPECT_EQ(YellowRowsOf(outs[i]), 0) << outs[i];
      waited += runs[i]->Output().find("waiting for a free node, 2 busy") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(waited, 1) << "nobody waited: the clients did not overlap";
  }
}

// Cancelling a headless job (Ctrl-C, SIGTERM, its own time limit) tells the
// nodes to stop: none renders on for nobody, and the next job starts at once.
TEST_F(JobsTest, ACancelledJobLeavesNoNodeRenderingAndTheNextStartsAtOnce) {
  StartFarm(2);
  struct Way {
    int signal;  // 0: --timeout
    int exit;
  };
  std::size_t starts[2] = {0, 0};
  for (const Way way : {Way{SIGINT, 130}, Way{SIGTERM, 143}, Way{0, 5}}) {
    SCOPED_TRACE(way.signal);
    const fs::path out = farm_.TmpDir() / "cancelled.png";
    std::vector<std::string> args = {"--scene", "1", "--out", out.string(), "--width", "1600", "--height", "1200"};
    if (way.signal == 0) args.insert(args.end(), {"--timeout", "6"});
    Process* v = StartVornel(args);
    ASSERT_TRUE(v != nullptr);
    for (std::size_t i = 0; i < 2; ++i) {
      ASSERT_FALSE(EngineStart(i, starts[i]).empty()) << nodes_[i]->Output() << v->Output();
      ++starts[i];
    }
    if (way.signal != 0) v->Signal(way.signal);
    ASSERT_EQ(v->WaitExit(30s), way.exit) << v->Output();
    const auto ended = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_TRUE(WaitUntil([&] { return EnginesOf(nodes_[i]->pid()).empty(); }, 5s, 50ms))
          << "node " << i << " still renders\n"
          << nodes_[i]->Output();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - ended, 5s);
    for (Process* node : nodes_) {
      // Stopped by the controller, not left to notice that it is gone.
      EXPECT_EQ(node->Output().find("the boss has not answered"), std::string::npos) << node->Output();
    }

    double seconds = 0;
    EXPECT_EQ(TimedJob(farm_.TmpDir() / "next.png", &seconds), 0) << last_output_;
    EXPECT_EQ(last_output_.find("waiting for a free node"), std::string::npos) << last_output_;
    for (std::size_t i = 0; i < 2; ++i) starts[i] = Count(nodes_[i]->Output(), "tessel: engine: ");
  }
}

TEST_F(JobsTest, WithoutAFarmVornelSaysWhyAndEnds) {
  const fs::path out = farm_.TmpDir() / "none.png";
  // No registry at all.
  Process* v = StartVornel({"--scene", "2", "--out", out.string(), "--width", "64", "--height", "48"});
  ASSERT_TRUE(v != nullptr);
  EXPECT_EQ(v->WaitExit(60s), 3);
  const std::string where = "no name registry answered at 127.0.0.1:" + std::to_string(farm_.RegistryPort());
  EXPECT_NE(v->Output().find(where), std::string::npos) << v->Output();
  EXPECT_NE(v->Output().find("请按照说明方式启动各级服务程序"), std::string::npos) << v->Output();
  EXPECT_TRUE(fs::exists(client_ / "Render.zip")) << "a failed job leaves its package";

  // A registry and a workgroup server, but no node.
  ASSERT_TRUE(farm_.StartRegistry());
  Process* hub = farm_.StartWorkgroup(orb_->orb());
  ASSERT_TRUE(hub && hub->Running());
  v = StartVornel({"--scene", "2", "--out", out.string(), "--width", "64", "--height", "48"});
  EXPECT_EQ(v->WaitExit(60s), 3);
  EXPECT_NE(v->Output().find("no render node in the work group"), std::string::npos) << v->Output();
  EXPECT_EQ(v->Output().find("waiting for a free node"), std::string::npos) << v->Output();
  EXPECT_EQ(v->Output().find("请按照说明方式启动各级服务程序"), std::string::npos) << "the quiet end tells nobody";
  EXPECT_TRUE(fs::exists(client_ / "Render.zip")) << "the quiet end leaves the package";

  // The workgroup server gone, its reference still in the registry.
  hub->Kill();
  v = StartVornel({"--scene", "2", "--out", out.string(), "--width", "64", "--height", "48"});
  EXPECT_EQ(v->WaitExit(60s), 3);
  EXPECT_NE(v->Output().find("no workgroup server is running"), std::string::npos) << v->Output();
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(JobsTest, TheDemoScriptStopsEveryProgramAlsoWhenInterruptedTwice) {
  const fs::path out = farm_.TmpDir() / "demo.png";
  Process* demo = farm_.StartProgram(
      {(SourceDir() / "scripts" / "demo").string(), "--bin", BinDir().string(), "--out", out.string()}, "demo");
  ASSERT_TRUE(demo != nullptr);
  ASSERT_TRUE(demo->WaitForOutput("demo: rendering", 90s)) << demo->Output();
  const std::string log = demo->Output();
  const std::string marker = "starting the farm in ";
  const auto at = log.find(marker);
  ASSERT_NE(at, std::string::npos) << log;
  const fs::path work = log.substr(at + marker.size(), log.find(" (", at) - at - marker.size());
  ASSERT_TRUE(fs::is_directory(work)) << work;
  // Until a renderer runs: engines run in process groups of their own.
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& [pid, name] : ProcessesIn(work)) {
          if (name.rfind("povray", 0) == 0) return true;
        }
        return false;
      },
      60s, 20ms))
      << demo->Output();

  // Ctrl-C reaches the script's whole process group; press it twice, the
  // second time while the script is cleaning up.
  ::kill(-demo->pid(), SIGINT);
  std::this_thread::sleep_for(300ms);
  ::kill(-demo->pid(), SIGINT);
  ASSERT_TRUE(demo->WaitExit(30s).has_value()) << demo->Output();
  std::vector<std::pair<pid_t, std::string>> left;
  EXPECT_TRUE(WaitUntil(
      [&] {
        left = ProcessesIn(work);
        return left.empty();
      },
      5s, 100ms));
  std::string names;
  for (const auto& [pid, name] : left) {
    names += name + " ";
    ::kill(pid, SIGKILL);
  }
  EXPECT_TRUE(left.empty()) << "still running: " << names << "\n" << demo->Output();
  EXPECT_FALSE(fs::exists(work));
  EXPECT_NE(demo->Output().find("demo: interrupted"), std::string::npos) << demo->Output();
}

// A paused machine, a killed engine and a restarted workgroup server, one
// after the other on one farm of two nodes; each job must end with every row.
TEST_F(JobsTest, PausedNodesKilledEnginesAndARestartedServerStillGiveTheWholePicture) {
  StartFarm(2);
  double clean = 0, paused = 0, killed = 0, after_restart = 0;
  const fs::path out = farm_.TmpDir() / "p.png";
  ASSERT_EQ(TimedJob(out, &clean), 0) << last_output_;

  // The second node and its engine stop, as on a machine that hangs.
  std::vector<pid_t> frozen;
  const std::size_t starts1 = Count(nodes_[1]->Output(), "tessel: engine: ");
  ASSERT_EQ(TimedJob(out, &paused,
                     [&](Process*) {
                       frozen = EngineStart(1, starts1);
                       std::this_thread::sleep_for(300ms);
                       for (pid_t e : frozen) kill(e, SIGSTOP);
                       ASSERT_TRUE(nodes_[1]->Suspend(10s));
                     }),
            0)
      << last_output_;
  EXPECT_EQ(YellowRowsOf(out), 0);
  nodes_[1]->Signal(SIGCONT);
  for (pid_t e : frozen) kill(e, SIGCONT);
  // The server dropped the paused node; it joins again by itself, once.
  EXPECT_TRUE(WaitUntil([&] { return Farmers() == 2; }, 15s, 200ms)) << Farmers();

  // The first node's engine dies in the middle of its band.
  const std::size_t starts0 = Count(nodes_[0]->Output(), "tessel: engine: ");
  ASSERT_EQ(TimedJob(out, &killed,
                     [&](Process*) {
                       const std::vector<pid_t> engines = EngineStart(0, starts0);
                       std::this_thread::sleep_for(300ms);
                       for (pid_t e : engines) kill(e, SIGKILL);
                     }),
            0)
      << last_output_;
  EXPECT_EQ(YellowRowsOf(out), 0);
  EXPECT_NE(nodes_[0]->Output().find("engine ended with status 137"), std::string::npos) << nodes_[0]->Output();

  // The workgroup server restarts on its endpoint: both nodes come back
  // within 15 s, listed once each, and the next job uses both.
  hub_->Kill();
  ASSERT_TRUE(WaitUntil([&] { return Farmers() == -1; }, 10s, 100ms));
  const auto restarted = std::chrono::steady_clock::now();
  Process* hub = farm_.StartWorkgroup(orb_->orb());
  ASSERT_TRUE(hub && hub->Running());
  EXPECT_TRUE(WaitUntil([&] { return Farmers() == 2; }, 15s, 100ms)) << Farmers();
  const double back = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
  std::this_thread::sleep_for(6s);  // another look of every node
  EXPECT_EQ(Farmers(), 2) << "a node is listed twice";
  ASSERT_TRUE(WaitUntil([&] { return EnginesOf(nodes_[0]->pid()).empty() && EnginesOf(nodes_[1]->pid()).empty(); }, 60s,
                        100ms));
  const std::size_t before[2] = {Count(nodes_[0]->Output(), "tessel: engine: "),
                                 Count(nodes_[1]->Output(), "tessel: engine: ")};
  ASSERT_EQ(TimedJob(out, &after_restart), 0) << last_output_;
  EXPECT_EQ(YellowRowsOf(out), 0);
  for (int i = 0; i < 2; ++i) EXPECT_GT(Count(nodes_[i]->Output(), "tessel: engine: "), before[i]) << i;
  std::printf("nodes back in the work group %.1f s after its server restarted\n", back);
  std::printf("seconds per job: clean %.1f, a paused node %.1f, a killed engine %.1f, after the restart %.1f\n", clean,
              paused, killed, after_restart);
}

// Frozen nodes cost a job one probe time all together, not one each: with
// half the farm stopped, a tiny job ends about as soon as on the whole farm.
TEST_F(JobsTest, HalfTheFarmFrozenDelaysATinyJobByOneProbeTimeOnly) {
  constexpr int kNodes = 8;
  StartFarm(kNodes);
  const fs::path out = farm_.TmpDir() / "tiny.png";
  double whole = 0, halfFrozen = 0;
  ASSERT_EQ(TimedJob(out, &whole, {}, "64", "48"), 0) << last_output_;
  ASSERT_TRUE(WaitUntil([&] { return Farmers() == kNodes; }, 30s, 200ms)) << Farmers();
  std::vector<Process*> frozen;
  for (int i = 1; i < kNodes; i += 2) frozen.push_back(nodes_[i]);
  for (Process* n : frozen) ASSERT_TRUE(n->Suspend(10s));
  const int status = TimedJob(out, &halfFrozen, {}, "64", "48");
  for (Process* n : frozen) n->Signal(SIGCONT);
  ASSERT_EQ(status, 0) << last_output_;
  EXPECT_EQ(YellowRowsOf(out), 0);
  std::printf("tiny job, %d nodes: %.2f s; with %zu frozen: %.2f s\n", kNodes, whole, frozen.size(), halfFrozen);
  // The server's probe time is 2 s; probed one after another the frozen
  // nodes would add 8 s. The margin is for a loaded machine.
  EXPECT_LT(halfFrozen, whole + 4.5);
}

// A node refuses to start without its engine (cli_test); one whose engine
// goes missing while it runs fails its band, which the other node renders.
TEST_F(JobsTest, ANodeWithoutItsEngineBesideAGoodOneOnlyDelaysTheJob) {
  ASSERT_TRUE(farm_.StartRegistry());
  Process* hub = farm_.StartWorkgroup(orb_->orb());
  ASSERT_TRUE(hub && hub->Running());
  const fs::path broken = farm_.MakeNodeFolder();
  nodes_.push_back(farm_.StartNode(broken));
  nodes_.push_back(farm_.StartNode(farm_.MakeNodeFolder()));
  ASSERT_TRUE(WaitUntil([&] { return Farmers() == 2; }, 30s, 100ms));
  fs::remove(broken / "pvengine");
  const fs::path out = farm_.TmpDir() / "b.png";
  double seconds = 0;
  ASSERT_EQ(TimedJob(out, &seconds), 0) << last_output_;
  EXPECT_EQ(YellowRowsOf(out), 0);
  EXPECT_NE(nodes_[0]->Output().find("服务程序不在规定位置!"), std::string::npos) << nodes_[0]->Output();
  EXPECT_EQ(Count(nodes_[1]->Output(), "tessel: engine: "), 2u) << "the good node renders both bands";
  std::printf("a node without its engine: the job took %.1f s\n", seconds);
}

TEST_F(JobsTest, ABandThatFailsThreeTimesEndsTheJobWithItsReasonAndThePartialPicture) {
  StartFarm(1);
  const fs::path out = farm_.TmpDir() / "f.png";
  double seconds = 0;
  const int status = TimedJob(out, &seconds, [&](Process* v) {
    for (std::size_t attempt = 0; attempt < 3 && v->Running(); ++attempt) {
      const std::vector<pid_t> engines = EngineStart(0, attempt);
      if (engines.empty()) {
        ADD_FAILURE() << "attempt " << attempt << ": no engine started\n" << nodes_[0]->Output();
        return;
      }
      // Some rows arrive: the renderer has traced a third of the band (its
      // progress shows in the engine's log), and the engine dies long before
      // the band is done. One renderer run renders the band, and the exact
      // rows leave as soon as its picture is written, so a fixed wait could
      // outlast it.
      WaitUntil(
          [&] {
            std::error_code ec;
            const fs::path cwd = fs::read_symlink("/proc/" + std::to_string(engines.front()) + "/cwd", ec);
            if (ec) return false;
            const std::string log = ReadFile(cwd / "pvengine.log");
            const std::size_t at = log.rfind("Rendered ");
            long done = 0, all = 0;
            return at != std::string::npos && std::sscanf(log.c_str() + at, "Rendered %ld of %ld", &done, &all) == 2 &&
                   done * 3 >= all;
          },
          30s, 5ms);
      for (pid_t e : engines) kill(e, SIGKILL);
    }
  });
  EXPECT_EQ(status, 3) << last_output_;
  EXPECT_NE(last_output_.find("band 1 (rows 1-240) failed 3 times"), std::string::npos) << last_output_;
  EXPECT_NE(last_output_.find("signal 9"), std::string::npos) << last_output_;
  const int yellow = YellowRowsOf(out);
  EXPECT_GT(yellow, 0) << "the picture is incomplete";
  EXPECT_LT(yellow, 240) << "the rows that arrived are kept";
}

TEST_F(JobsTest, AWorkgroupServerThatStopsAnsweringMidJobEndsTheJobWithAReason) {
  StartFarm(2);
  ScopedEnv limit("LUMORA_WORKGROUP_TIMEOUT_MS", "1500");
  const fs::path out = farm_.TmpDir() / "hung.png";
  const std::size_t starts = Count(nodes_[1]->Output(), "tessel: engine: ");
  Process* v = StartVornel({"--scene", "1", "--out", out.string(), "--width", "1280", "--height", "960"});
  ASSERT_TRUE(v != nullptr);
  // The server's host hangs, and then a node dies: the controller must ask
  // the server for farmers again, and gets no answer.
  const std::vector<pid_t> engines = EngineStart(1, starts);
  ASSERT_FALSE(engines.empty()) << nodes_[1]->Output();
  ASSERT_TRUE(hub_->Suspend(10s));
  nodes_[1]->Kill();
  for (pid_t e : engines) kill(e, SIGKILL);
  const std::optional<int> status = v->WaitExit(60s);
  hub_->Signal(SIGCONT);
  ASSERT_TRUE(status.has_value()) << "the job waited for the server for good\n" << v->Output();
  EXPECT_EQ(*status, 3) << v->Output();
  EXPECT_NE(v->Output().find("the workgroup server did not answer within 1.5 s"), std::string::npos) << v->Output();
}

}  // namespace
}  // namespace farmtest
