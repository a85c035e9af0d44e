// Prints, for a reference scene and band, how long pvengine takes to hand
// every row of the band to a boss (served here) against a plain povray
// render of the same band, and how soon the first row arrives.
//
//   node_bench [width height first last [runs]]
//
// Defaults: 640 x 480, rows 0 to 480, 2 runs (the best is shown). Programs come
// from $FARM_BIN_DIR (else the bin/ beside this program's folder). With
// $NODE_BENCH_PICTURE set, the rows received last are saved there as PNG;
// $NODE_BENCH_SCENE names another scene file (its folder is copied along).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "Lumora.hh"
#include "idl/ConfigRecords.h"
#include "node/EngineCommand.h"
#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "tests/support/BossBase.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* kScene = R"(#version 3.7;
global_settings { assumed_gamma 1.0 max_trace_level 8 }
background { color rgb <0.5, 0.6, 0.8> }
camera { location <0, 4, -10> look_at <0, 0.8, 0> }
light_source { <6, 10, -8> color rgb 1 area_light <1.5, 0, 0>, <0, 0, 1.5>, 4, 4 adaptive 1 }
plane { y, 0 pigment { checker color rgb 1 color rgb 0.2 } finish { reflection 0.2 } }
#declare I = -3;
#while (I <= 3)
  #declare J = -3;
  #while (J <= 3)
    sphere { <I * 1.2, 0.5, J * 1.2>, 0.5
      pigment { color rgb <0.5 + I / 7, 0.5 + J / 7, 0.6> }
      finish { phong 0.6 reflection 0.25 } }
    #declare J = J + 1;
  #end
  #declare I = I + 1;
#end
)";

class CountingBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq&) override {}
  void Push(CORBA::Long line, const Lumora::ColorLine& colors) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rows_++ == 0) first_ = Clock::now();
    last_[line].assign(colors.get_buffer(), colors.get_buffer() + colors.length());
  }
  // The rows received, as an RGB picture (black where none came).
  bool Save(const std::string& file, int w, int h) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3, 0);
    for (const auto& [line, px] : last_) {
      if (line < 1 || line > h) continue;
      for (int x = 0; x < w && x < static_cast<int>(px.size()); ++x) {
        unsigned char* p = &rgb[(static_cast<size_t>(line - 1) * w + x) * 3];
        p[0] = px[x] & 0xFF;
        p[1] = (px[x] >> 8) & 0xFF;
        p[2] = (px[x] >> 16) & 0xFF;
      }
    }
    return stbi_write_png(file.c_str(), w, h, 3, rgb.data(), w * 3) != 0;
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_ = 0;
    last_.clear();
  }
  // Rows received (a row sent again, mended, counts once).
  int rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(last_.size());
  }
  Clock::time_point first() {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_;
  }

 private:
  std::mutex mutex_;
  int rows_ = 0;
  Clock::time_point first_;
  std::map<int, std::vector<std::int32_t>> last_;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double RunPlain(const fs::path& sceneDir, int w, int h, int first, int last) {
  const std::string cmd = "cd '" + sceneDir.string() + "' && povray +ITessel.pov +W" + std::to_string(w) + " +H" +
                          std::to_string(h) + " +SR" + std::to_string(std::max(first, 1)) + " +ER" +
                          std::to_string(last) + " -D -P +FP +Oplain.ppm >plain.log 2>&1";
  std::string error;
  const auto start = Clock::now();
  auto p = platform::ChildProcess::Start({"/bin/sh", "-c", cmd}, &error);
  if (!p || p->Wait() != 0) {
    std::fprintf(stderr, "plain povray failed: %s\n", error.c_str());
    std::exit(1);
  }
  return Seconds(Clock::now() - start);
}

// The node folder (pvengine, libferrix.so, the scene under Render/) and the
// folder of the plain render, both holding the same scene; answers its name.
std::string PrepareFolders(const fs::path& bin, const fs::path& node, const fs::path& plainDir) {
  fs::create_directories(node / "Render");
  fs::copy_file(bin / "pvengine", node / "pvengine");
  fs::copy_file(bin / "libferrix.so", node / "libferrix.so");
  fs::create_directories(plainDir);
  if (const char* scene = std::getenv("NODE_BENCH_SCENE")) {
    for (const fs::path& to : {node / "Render", plainDir}) {
      fs::copy(fs::path(scene).parent_path(), to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
      fs::copy_file(scene, to / "Tessel.pov", fs::copy_options::overwrite_existing);
    }
    return scene;
  }
  std::ofstream(node / "Render" / "Tessel.pov") << kScene;
  std::ofstream(plainDir / "Tessel.pov") << kScene;
  return "49 reflective spheres, 4x4 area light";
}

// The best of `runs` pvengine runs handing the band to `boss`, printed
// against the plain render's `plain` seconds. False, said on stderr, when
// pvengine fails or the boss misses rows.
bool TimeEngine(const node::EngineCommand& command, CountingBoss* boss, int runs, int bandRows, double plain) {
  double best = 1e9, bestFirst = 0;
  for (int i = 0; i < runs; ++i) {
    boss->Reset();
    std::string error;
    const auto start = Clock::now();
    auto p = platform::ChildProcess::Start(command.argv, &error);
    if (!p) {
      std::fprintf(stderr, "pvengine: %s\n", error.c_str());
      return false;
    }
    const int status = p->Wait();
    const double total = Seconds(Clock::now() - start);
    if (status != 0 || boss->rows() != bandRows) {
      std::fprintf(stderr, "pvengine status %d, %d of %d rows\n", status, boss->rows(), bandRows);
      return false;
    }
    if (total < best) {
      best = total;
      bestFirst = Seconds(boss->first() - start);
    }
  }
  std::printf("pvengine, rows to a boss:        %7.3f s  ratio %.2f  first row after %.3f s\n", best, best / plain,
              bestFirst);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int w = 640, h = 480, first = 0, last = 480;
  int runs = 2;
  if (argc >= 5) {
    w = std::atoi(argv[1]);
    h = std::atoi(argv[2]);
    first = std::atoi(argv[3]);
    last = std::atoi(argv[4]);
    if (argc > 5) runs = std::max(1, std::atoi(argv[5]));
  }
  const char* binEnv = std::getenv("FARM_BIN_DIR");
  const fs::path bin = binEnv ? fs::path(binEnv) : platform::ExecutableFolder().parent_path() / "bin";

  farmtest::TempDir dir;
  const fs::path node = dir.path() / "node";
  const fs::path plainDir = dir.path() / "plain";
  const std::string sceneName = PrepareFolders(bin, node, plainDir);

  farmtest::TestOrb orb;
  auto* boss = new CountingBoss();
  CORBA::Object_var bossRef = orb.Activate(boss);
  farm::WriteBossIni(node / "boss.ini", orb.ToString(bossRef), nullptr);
  farm::WriteFarmerIni(node / "Farmer.ini", {first, last, h}, nullptr);
  node::JobParameters job;
  job.width = w;
  job.height = h;
  job.rows = farm::IncomingRows(job.part, first, last);
  const node::EngineCommand command = node::BuildEngineCommand(node, job);
  const int bandRows = std::min(last, h) - std::max(first, 1) + 1;

  std::printf("scene: %s; picture %dx%d, band rows %d..%d (%d rows)\n", sceneName.c_str(), w, h, first, last, bandRows);
  RunPlain(plainDir, w, h, first, last);  // warm the caches
  double plain = 1e9;
  for (int i = 0; i < 2; ++i) plain = std::min(plain, RunPlain(plainDir, w, h, first, last));
  std::printf("plain povray of the band:        %7.3f s\n", plain);

  if (!TimeEngine(command, boss, runs, bandRows, plain)) return 1;
  if (const char* picture = std::getenv("NODE_BENCH_PICTURE")) {
    std::printf("%s %s\n", boss->Save(picture, w, h) ? "picture saved in" : "could not save", picture);
  }
  boss->_remove_ref();
  return 0;
}
