// A user's own POV-Ray scene on a real farm: `lumora render` sends a scene
// from Debian's povray-examples, with its include file moved into a
// sub-folder named as a library folder, to two nodes; the picture equals
// povray's own. A scene that does not parse ends after one attempt with
// povray's message, and a refused option never reaches a node.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
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

constexpr auto kRenderLimit = 200s;
const fs::path kExamples = "/usr/share/povray-3.7/scenes/objects/quartic";

// The peak signal-to-noise ratio of `a` against `b` in dB; 1000 for equal
// pictures, 0 for pictures of different sizes.
double Psnr(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 0;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) sum += double(d) * d;
    }
  }
  if (sum == 0) return 1000;
  const double mse = sum / (3.0 * a.width() * a.height());
  return 10 * std::log10(255.0 * 255.0 / mse);
}

class ScenesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kExamples / "grafbic.pov")) GTEST_SKIP() << "povray-examples is not installed";
    orb_ = std::make_unique<TestOrb>();
    ASSERT_TRUE(farm_.StartRegistry());
    Process* hub = farm_.StartWorkgroup(orb_->orb());
    ASSERT_TRUE(hub && hub->Running()) << (hub ? hub->Output() : "");
    for (int i = 0; i < 2; ++i) {
      folders_.push_back(farm_.MakeNodeFolder());
      nodes_.push_back(farm_.StartNode(folders_.back()));
    }
    ASSERT_TRUE(WaitUntil([&] { return Farmers() == 2; }, 30s, 100ms));
    client_ = farm_.MakeNodeFolder();
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

  // Runs `lumora render args...` in `folder`; its exit status, -1 when it did
  // not end in time.
  int Lumora(const fs::path& folder, std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), {(client_ / "lumora").string(), "render"});
    return RunIn(folder, args, "lumora", output);
  }

  // The same for povray alone (no display).
  int Povray(const fs::path& folder, std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), {POVRAY_PROGRAM, "-D"});
    return RunIn(folder, args, "povray", output);
  }

  int RunIn(const fs::path& folder, const std::vector<std::string>& command, const std::string& name,
            std::string* output) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.string()};
    argv.insert(argv.end(), command.begin(), command.end());
    Process* p = farm_.StartProgram(argv, name);
    if (p == nullptr) return -1;
    const int status = p->WaitExit(kRenderLimit).value_or(-1);
    *output = p->Output();
    return status;
  }

  Farm farm_;
  std::unique_ptr<TestOrb> orb_;
  std::vector<Process*> nodes_;
  std::vector<fs::path> folders_;
  fs::path client_;
};

// The processes below `root` (a node's engine and renderer), from /proc.
std::vector<pid_t> Descendants(pid_t root) {
  std::vector<pid_t> found;
  std::vector<std::pair<pid_t, pid_t>> all;  // pid, parent
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string n = entry.path().filename().string();
    if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    all.emplace_back(std::stoi(n), parent);
  }
  std::vector<pid_t> parents = {root};
  for (std::size_t i = 0; i < parents.size(); ++i) {
    for (const auto& [pid, parent] : all) {
      if (parent == parents[i]) {
        parents.push_back(pid);
        found.push_back(pid);
      }
    }
  }
  return found;
}

// Pixels that differ between two pictures of one size.
int Differing(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  }
  return n;
}

TEST_F(ScenesTest, AnExampleSceneWithAnIncludeInASubFolderRendersAsPovrayDoes) {
  const fs::path scene = farm_.TmpDir() / "myscene";
  fs::create_directories(scene / "inc");
  fs::copy_file(kExamples / "grafbic.pov", scene / "grafbic.pov");
  fs::copy_file(kExamples / "axisbox.inc", scene / "inc" / "axisbox.inc");
  // The picture is povray's to the bit, also with antialiasing and jitter,
  // which povray decides per block: the bands keep a whole picture's blocks.
  struct Run {
    std::vector<std::string> options;
    double minPsnr;
    int mostDiffering;
  };
  for (const Run& run :
       {Run{{"+W240", "+H180", "-A", "+Linc"}, 1000, 0}, Run{{"+W240", "+H180", "+A0.3", "+Linc"}, 1000, 0}}) {
    SCOPED_TRACE(run.options[2]);
    std::string output;
    std::vector<std::string> args = {"grafbic.pov", "--out", (farm_.TmpDir() / "farm.png").string()};
    args.insert(args.end(), run.options.begin(), run.options.end());
    ASSERT_EQ(Lumora(scene, args, &output), 0) << output;
    EXPECT_NE(output.find("saved to"), std::string::npos) << output;

    std::vector<std::string> direct = {"grafbic.pov", "+FP", "+O" + (farm_.TmpDir() / "direct.ppm").string()};
    direct.insert(direct.end(), run.options.begin(), run.options.end());
    std::string povrayLog;
    ASSERT_EQ(Povray(scene, direct, &povrayLog), 0) << povrayLog;

    const QImage farmPicture =
        QImage(QString::fromStdString((farm_.TmpDir() / "farm.png").string())).convertToFormat(QImage::Format_RGB32);
    const QImage directPicture =
        QImage(QString::fromStdString((farm_.TmpDir() / "direct.ppm").string())).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(farmPicture.size(), QSize(240, 180));
    EXPECT_GE(Psnr(farmPicture, directPicture), run.minPsnr);
    EXPECT_LE(Differing(farmPicture, directPicture), run.mostDiffering);
  }
  // Both nodes took part.
  for (Process* node : nodes_) EXPECT_NE(node->Output().find("engine: "), std::string::npos) << node->Output();
}

// An uneven farm: the second node's renderers run a tenth of the time, so
// the first, done early, takes the rows the second has not reached as a
// band of its own. The picture is still povray's to the bit.
TEST_F(ScenesTest, OnAnUnevenFarmTheIdleNodeTakesTheSlowOnesRowsAndThePictureStaysPovrays) {
  const fs::path scene = farm_.TmpDir() / "uneven";
  fs::create_directories(scene / "inc");
  fs::copy_file(kExamples / "grafbic.pov", scene / "grafbic.pov");
  fs::copy_file(kExamples / "axisbox.inc", scene / "inc" / "axisbox.inc");
  const std::vector<std::string> options = {"+W800", "+H600", "+A0.3", "+Linc"};
  std::atomic<bool> done{false};
  const pid_t slowNode = nodes_[1]->pid();
  std::thread stutter([&] {
    while (!done) {
      const std::vector<pid_t> slow = Descendants(slowNode);
      for (pid_t p : slow) kill(p, SIGSTOP);
      std::this_thread::sleep_for(90ms);
      for (pid_t p : slow) kill(p, SIGCONT);
      std::this_thread::sleep_for(10ms);
    }
    for (pid_t p : Descendants(slowNode)) kill(p, SIGCONT);
  });
  std::string output;
  std::vector<std::string> args = {"grafbic.pov", "--out", (farm_.TmpDir() / "farm.png").string()};
  args.insert(args.end(), options.begin(), options.end());
  const int status = Lumora(scene, args, &output);
  done = true;
  stutter.join();
  ASSERT_EQ(status, 0) << output;

  std::vector<std::string> direct = {"grafbic.pov", "+FP", "+O" + (farm_.TmpDir() / "direct.ppm").string()};
  direct.insert(direct.end(), options.begin(), options.end());
  std::string povrayLog;
  ASSERT_EQ(Povray(scene, direct, &povrayLog), 0) << povrayLog;
  const QImage farmPicture =
      QImage(QString::fromStdString((farm_.TmpDir() / "farm.png").string())).convertToFormat(QImage::Format_RGB32);
  const QImage directPicture =
      QImage(QString::fromStdString((farm_.TmpDir() / "direct.ppm").string())).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(farmPicture.size(), QSize(800, 600));
  EXPECT_EQ(Differing(farmPicture, directPicture), 0);
  // The summary lists a third band: the rows split off the slow node's.
  const auto summary = output.find("rows asked");
  ASSERT_NE(summary, std::string::npos) << output;
  std::istringstream lines(output.substr(summary));
  std::string line;
  bool third = false;
  while (std::getline(lines, line)) third = third || (line.size() > 29 && std::atoi(line.substr(25, 4).c_str()) == 3);
  EXPECT_TRUE(third) << output;
}

TEST_F(ScenesTest, ASyntaxErrorEndsAfterOneAttemptAndRefusedOptionsEngageNoNode) {
  const fs::path scene = farm_.TmpDir() / "broken";
  fs::create_directories(scene);
  std::ofstream(scene / "broken.pov") << "#version 3.7;\ncamera { location -5 look_at 0 }\nsphere { 0, 1\n";
  std::string output;
  EXPECT_EQ(Lumora(scene, {"broken.pov", "+W64", "+H48", "--out", "b.png"}, &output), 3) << output;
  EXPECT_NE(output.find("broken.pov' line"), std::string::npos) << output;
  std::size_t engines = 0;
  for (Process* node : nodes_) {
    for (auto at = node->Output().find("tessel: engine: "); at != std::string::npos;
         at = node->Output().find("tessel: engine: ", at + 1)) {
      ++engines;
    }
  }
  EXPECT_LE(engines, 2u);  // one attempt per band, never a retry

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"Pre_Scene_Command=rm -rf /", "Pre_Scene_Command"},
      {"+UA", "Output_Alpha"},
      {"+SR10", "Start_Row"},
      {"+W0", "Width"},
      {"Frobnicate=1", "Frobnicate"},
  };
  for (const auto& [option, name] : refused) {
    EXPECT_EQ(Lumora(scene, {"broken.pov", option, "--out", "b.png"}, &output), 2) << output;
    EXPECT_NE(output.find(name), std::string::npos) << output;
  }
  fs::create_directories(scene / "empty");
  EXPECT_EQ(Lumora(scene / "empty", {"none.pov", "--out", "b.png"}, &output), 2) << output;
  EXPECT_NE(output.find("none.pov"), std::string::npos) << output;
  // Nothing reached a node beyond the one failed job.
  std::size_t after = 0;
  for (Process* node : nodes_) {
    for (auto at = node->Output().find("tessel: engine: "); at != std::string::npos;
         at = node->Output().find("tessel: engine: ", at + 1)) {
      ++after;
    }
  }
  EXPECT_EQ(after, engines);
}

// The frame files `lumora` or povray wrote in `folder`, by name.
std::vector<std::string> FrameFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

QImage Load(const fs::path& file) {
  return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
}

// An animation from povray-examples with its own .ini (20 frames, cyclic
// clock) on the two nodes: every frame as povray renders it alone, under
// povray's names, the package sent at most once per node. A scene that
// fails at frame 7 saves the others and names frame 7; +C then renders only
// frame 7 again. A node killed in the middle of a frame costs no frame.
TEST_F(ScenesTest, AnAnimationsFramesRenderOnTheFarmAsPovrayRendersThem) {
  const fs::path examples = "/usr/share/povray-3.7/scenes/animations/clockd";
  const fs::path scene = farm_.TmpDir() / "clockd";
  fs::create_directories(scene);
  fs::copy_file(examples / "clockd.pov", scene / "clockd.pov");
  fs::copy_file(examples / "clockd.ini", scene / "clockd.ini");
  const std::vector<std::string> size = {"+W160", "+H120"};
  for (const char* dir : {"farm", "direct", "failing", "killed"}) fs::create_directories(farm_.TmpDir() / dir);

  std::string output;
  std::vector<std::string> args = {"clockd.ini", "--out", (farm_.TmpDir() / "farm" / "clockd.png").string()};
  args.insert(args.end(), size.begin(), size.end());
  ASSERT_EQ(Lumora(scene, args, &output), 0) << output;
  std::vector<std::string> direct = {"clockd.ini", "+FN", "+O" + (farm_.TmpDir() / "direct/clockd.png").string()};
  direct.insert(direct.end(), size.begin(), size.end());
  std::string povrayLog;
  ASSERT_EQ(Povray(scene, direct, &povrayLog), 0) << povrayLog;
  const std::vector<std::string> names = FrameFiles(farm_.TmpDir() / "direct");
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names.front(), "clockd01.png");
  EXPECT_EQ(FrameFiles(farm_.TmpDir() / "farm"), names);  // povray's names, nothing half-written left
  for (const std::string& name : names) {
    const QImage farmFrame = Load(farm_.TmpDir() / "farm" / name);
    ASSERT_EQ(farmFrame.size(), QSize(160, 120)) << name;
    EXPECT_GE(Psnr(farmFrame, Load(farm_.TmpDir() / "direct" / name)), 50) << name;
  }
  // One package per node at most: the other frames found it in the node's cache.
  const auto sent = output.find("package sent ");
  ASSERT_NE(sent, std::string::npos) << output;
  EXPECT_LE(std::atoi(output.c_str() + sent + 13), 2) << output;
  EXPECT_GE(std::atoi(output.c_str() + sent + 13), 1) << output;

  // Frame 7 does not parse: the others are saved, the exit names frame 7.
  {
    std::ifstream in(scene / "clockd.pov");
    std::stringstream text;
    text << "#if (frame_number = 7) #error \"no frame seven\" #end\n" << in.rdbuf();
    std::ofstream(scene / "clockd.pov") << text.str();
  }
  args[2] = (farm_.TmpDir() / "failing" / "clockd.png").string();
  EXPECT_EQ(Lumora(scene, args, &output), 3) << output;
  EXPECT_NE(output.find("frame 7 failed"), std::string::npos) << output;
  EXPECT_NE(output.find("no frame seven"), std::string::npos) << output;
  std::vector<std::string> failing = FrameFiles(farm_.TmpDir() / "failing");
  EXPECT_EQ(failing.size(), 19u);
  EXPECT_EQ(std::count(failing.begin(), failing.end(), "clockd07.png"), 0);
  std::map<std::string, fs::file_time_type> written;
  for (const std::string& name : failing) written[name] = fs::last_write_time(farm_.TmpDir() / "failing" / name);
  args.push_back("+C");
  EXPECT_EQ(Lumora(scene, args, &output), 3) << output;
  EXPECT_NE(output.find("19 frames on disk"), std::string::npos) << output;
  EXPECT_EQ(FrameFiles(farm_.TmpDir() / "failing"), failing);
  for (const auto& [name, time] : written) EXPECT_EQ(fs::last_write_time(farm_.TmpDir() / "failing" / name), time);
  args.pop_back();

  // A node killed while it renders a frame: the other one renders it again.
  fs::copy_file(examples / "clockd.pov", scene / "clockd.pov", fs::copy_options::overwrite_existing);
  args[2] = (farm_.TmpDir() / "killed" / "clockd.png").string();
  std::vector<std::string> argv = {
      "/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", scene.string(), (client_ / "lumora").string(), "render"};
  argv.insert(argv.end(), args.begin(), args.end());
  Process* run = farm_.StartProgram(argv, "lumora-killed");
  ASSERT_TRUE(run != nullptr);
  std::vector<pid_t> renderers;
  ASSERT_TRUE(WaitUntil(
      [&] {
        renderers = Descendants(nodes_[0]->pid());
        return !renderers.empty() && FrameFiles(farm_.TmpDir() / "killed").size() >= 2;
      },
      60s, 5ms));
  nodes_[0]->Signal(SIGKILL);
  for (pid_t r : renderers) kill(r, SIGKILL);
  ASSERT_EQ(run->WaitExit(kRenderLimit), 0) << run->Output();
  EXPECT_EQ(FrameFiles(farm_.TmpDir() / "killed"), names);
  for (const std::string& name : names) {
    EXPECT_GE(Psnr(Load(farm_.TmpDir() / "killed" / name), Load(farm_.TmpDir() / "direct" / name)), 50) << name;
  }
}

}  // namespace
}  // namespace farmtest
