// pvengine as the node starts it, with Debian's povray behind it and a boss
// served by this test: one renderer run per band, rows as they finish.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>

#include "Lumora.hh"
#include "engine/PpmImage.h"
#include "idl/ConfigRecords.h"
#include "node/EngineCommand.h"
#include "tests/support/BossBase.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 240;
constexpr int kHeight = 180;

// No anti-aliasing, jitter or other sampling, so a pixel comes out the same
// whichever rows a run renders; a background that +UA makes transparent and
// half-transparent spheres, so alpha shows in the colours.
const char* kScene = R"(#version 3.7;
global_settings { assumed_gamma 1.0 max_trace_level 8 }
background { color rgb <0.5, 0.6, 0.8> }
camera { location <0, 4, -10> look_at <0, 0.8, 0> }
light_source { <6, 10, -8> color rgb 1 area_light <1.5, 0, 0>, <0, 0, 1.5>, 8, 8 }
plane { y, 0 pigment { checker color rgb 1 color rgb 0.2 } finish { reflection 0.2 } }
#declare I = -3;
#while (I <= 3)
  #declare J = -3;
  #while (J <= 3)
    sphere { <I * 1.2, 0.5, J * 1.2>, 0.5
      pigment { color rgbt <0.5 + I / 7, 0.5 + J / 7, 0.6, 0.3> }
      finish { phong 0.6 reflection 0.25 } }
    #declare J = J + 1;
  #end
  #declare I = I + 1;
#end
)";

class RowBoss : public BossBase {
 public:
  void SetData(const Lumora::DataSeq&) override {}
  void Push(CORBA::Long line, const Lumora::ColorLine& colors) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Row& row = rows_[line];
    if (row.pixels.empty()) row.first = Clock::now();
    row.pixels.assign(colors.get_buffer(), colors.get_buffer() + colors.length());
  }
  struct Row {
    std::vector<std::int32_t> pixels;  // as last sent
    Clock::time_point first;           // when it came first
  };
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.clear();
  }
  std::map<int, Row> Rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
  }

 private:
  std::mutex mutex_;
  std::map<int, Row> rows_;
};

// Processes whose current folder lies in `folder`.
std::vector<pid_t> ProcessesWorkingIn(const fs::path& folder) {
  std::vector<pid_t> pids;
  std::error_code ec;
  const std::string prefix = fs::canonical(folder, ec).string();
  // Without a folder every process would match, and be killed by callers.
  if (ec || prefix.size() < 2) return pids;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkEc;
    const fs::path cwd = fs::read_symlink(entry.path() / "cwd", linkEc);
    const std::string c = cwd.string();
    if (!linkEc && (c == prefix || c.rfind(prefix + "/", 0) == 0)) pids.push_back(std::stoi(name));
  }
  return pids;
}

// The renderer an engine started (its only child), or 0.
pid_t RendererOf(pid_t engine) {
  const std::string self = std::to_string(engine);
  std::ifstream in("/proc/" + self + "/task/" + self + "/children");
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// True once `pid` no longer runs (gone, or a zombie).
bool Ended(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(") ");
  return close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0;
}

class EngineFarmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boss_ = new RowBoss();
    bossRef_ = orb_.Activate(boss_);
    node_ = farm_.MakeNodeFolder();
    fs::create_directories(node_ / "Render");
    ASSERT_TRUE(farm::WriteBossIni(node_ / "boss.ini", orb_.ToString(bossRef_), nullptr));
  }
  void TearDown() override {
    if (!node_.empty()) {
      for (pid_t pid : ProcessesWorkingIn(node_ / "Render")) kill(pid, SIGKILL);
    }
    boss_->_remove_ref();
  }

  // pvengine with the node's command line for rows first..last.
  Process* StartEngine(const std::string& scene, int first, int last) {
    std::ofstream(node_ / "Render" / "Tessel.pov") << scene;
    EXPECT_TRUE(farm::WriteFarmerIni(node_ / "Farmer.ini", {first, last, kHeight}, nullptr));
    node::JobParameters job;
    job.part = 2;
    job.width = kWidth;
    job.height = kHeight;
    job.rows = farm::IncomingRows(job.part, first, last);
    return farm_.StartProgram(node::BuildEngineCommand(node_, job).argv, "pvengine");
  }

  // povray's own picture of the scene, as COLORREF rows.
  std::map<int, std::vector<std::int32_t>> DirectRender() {
    const fs::path dir = farm_.TmpDir() / "direct";
    fs::create_directories(dir);
    std::ofstream(dir / "Tessel.pov") << kScene;
    Process* p = farm_.StartProgram({"/bin/sh", "-c",
                                     "cd '" + dir.string() + "' && povray +ITessel.pov +W" + std::to_string(kWidth) +
                                         " +H" + std::to_string(kHeight) + " +UA -D -P +FP +Oreference.ppm"},
                                    "povray");
    std::map<int, std::vector<std::int32_t>> rows;
    if (p == nullptr || p->WaitExit(120s) != 0) {
      ADD_FAILURE() << (p ? p->Output() : "povray did not start");
      return rows;
    }
    const std::string data = ReadFile(dir / "reference.ppm");
    engine::PpmHeader h;
    if (engine::ParsePpmHeader(data, &h) != engine::PpmParse::kOk || data.size() < h.totalBytes()) return rows;
    for (int row = 1; row <= h.height; ++row) {
      std::vector<std::int32_t> px(static_cast<size_t>(h.width));
      engine::PpmRowToColorref(reinterpret_cast<const unsigned char*>(data.data()) + h.dataOffset +
                                   h.rowBytes() * static_cast<size_t>(row - 1),
                               h, px.data());
      rows[row] = std::move(px);
    }
    return rows;
  }

  Farm farm_;
  TestOrb orb_;
  RowBoss* boss_ = nullptr;
  CORBA::Object_var bossRef_;
  fs::path node_;
};

TEST_F(EngineFarmTest, ABandStreamsRowByRowAndEqualsADirectRender) {
  // Both renderers: povray-rows (our build, the engine's choice when it is
  // there) and Debian's povray through the preview tap.
  const auto reference = DirectRender();
  const bool haveRowRenderer = fs::exists(BinDir() / "povray-rows");
  for (bool tap : {false, true}) {
    if (!tap && !haveRowRenderer) continue;
    SCOPED_TRACE(tap ? "preview tap" : "povray-rows");
    boss_->Clear();
    ScopedEnv renderer("PVENGINE_PREVIEW_TAP", tap ? "1" : "0");
    const auto start = Clock::now();
    Process* engine = StartEngine(kScene, 31, kHeight);
    ASSERT_NE(engine, nullptr);
    ASSERT_EQ(engine->WaitExit(180s), 0) << engine->Output() << ReadFile(node_ / "Render" / "pvengine.log");
    const auto end = Clock::now();

    const auto rows = boss_->Rows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(kHeight - 31 + 1));
    EXPECT_EQ(rows.begin()->first, 31);
    for (const auto& [line, row] : rows) {
      ASSERT_TRUE(reference.count(line));
      ASSERT_EQ(row.pixels, reference.at(line)) << "row " << line;
    }
    // One renderer run: rows come while it renders, top to bottom, the
    // first long before the band's end.
    Clock::time_point previous = start;
    for (const auto& [line, row] : rows) {
      EXPECT_GE(row.first, previous) << "row " << line;
      previous = row.first;
    }
    EXPECT_LT(rows.begin()->second.first - start, (end - start) / 2);
    EXPECT_GT(rows.rbegin()->second.first - rows.begin()->second.first, (end - start) / 3);
    const std::string log = ReadFile(node_ / "Render" / "pvengine.log");
    EXPECT_NE(log.find("150 rows as rendered"), std::string::npos) << log;
    if (tap) {
      // The picture is taken when povray closes it, not once povray has ended.
      EXPECT_NE(log.find("from the picture (read as soon as written)"), std::string::npos) << log;
    } else {
      // Exact as they come: nothing taken from a picture, none written.
      EXPECT_NE(log.find("povray-rows, 150 rows as rendered, 0 from the picture"), std::string::npos) << log;
    }
    EXPECT_TRUE(fs::exists(node_ / "Render" / "Render2.bmp"));
    EXPECT_FALSE(fs::exists(node_ / "Render" / "pvengine-band.ppm"));
  }
}

TEST_F(EngineFarmTest, TheRendererEndsWithTheEngineAndItsFailureIsTheEngines) {
  // Ending the engine's group, as Stop does, ends the renderer at once; so
  // does the engine's death alone.
  for (bool wholeGroup : {true, false}) {
    boss_->Clear();
    Process* engine = StartEngine(kScene, 1, kHeight);
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !boss_->Rows().empty(); }, 120s)) << engine->Output();
    const pid_t renderer = RendererOf(engine->pid());
    ASSERT_GT(renderer, 0);
    EXPECT_EQ(getpgid(renderer), getpgid(engine->pid()));
    if (wholeGroup) {
      engine->Kill();
    } else {
      engine->Signal(SIGKILL);
    }
    EXPECT_EQ(engine->WaitExit(10s), 128 + SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return Ended(renderer); }, 10s)) << wholeGroup;
    EXPECT_LT(boss_->Rows().size(), static_cast<size_t>(kHeight));
  }

  Process* broken = StartEngine("#version 3.7;\nsphere { <0, 0, 0> 1 pigment { colour Nowhere } }\n", 1, kHeight);
  ASSERT_NE(broken, nullptr);
  const auto status = broken->WaitExit(60s);
  ASSERT_TRUE(status.has_value());
  EXPECT_NE(*status, 0);
  EXPECT_NE(broken->Output().find("povray said"), std::string::npos) << broken->Output();
}

}  // namespace
}  // namespace farmtest
