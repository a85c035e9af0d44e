// Frames per minute of an example animation (povray-examples' clockd, 20
// frames, its own .ini) rendered by `lumora render` on a local farm of two
// nodes, against `povray +WT2` rendering the same frames one after another
// on this machine: both at 320 x 240 and 640 x 480, each pair run side by
// side in turns, 3 repeats. Also what the package cost: the bytes each
// animation sent (the first run per size fills the nodes' caches).
//
//   anim_farm_bench [--repeats N]
//
// Needs FARM_BIN_DIR (the build's bin/). The machine may be shared: the
// figures are only as quiet as it is.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kFrames = 20;
const fs::path kExample = "/usr/share/povray-3.7/scenes/animations/clockd";

// Seconds of one run in `scene`'s folder to its end; negative when it
// failed. `*output` gets what it printed.
double Run(farmtest::Farm& farm, const fs::path& scene, std::vector<std::string> args, const std::string& name,
           std::string* output) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", scene.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto start = benchfarm::Clock::now();
  farmtest::Process* p = farm.StartProgram(argv, name);
  const auto rc = p ? p->WaitExit(30min) : std::nullopt;
  const double seconds = benchfarm::Seconds(benchfarm::Clock::now() - start);
  *output = p ? p->Output() : "";
  if (rc != 0) {
    std::fprintf(stderr, "%s failed:\n%s\n", name.c_str(), output->c_str());
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--repeats") repeats = std::atoi(argv[i + 1]);
  }
  if (!benchfarm::HaveBinDir()) return 2;
  if (!fs::exists(kExample / "clockd.ini")) {
    std::fprintf(stderr, "povray-examples is not installed\n");
    return 2;
  }
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!benchfarm::StartServers(farm, orb.orb())) return 1;
  for (int i = 0; i < 2; ++i) farm.StartNode(farm.MakeNodeFolder());
  if (!benchfarm::WaitForNodes(orb.orb(), 2, 30s)) return 1;
  const fs::path client = farm.MakeNodeFolder();
  const fs::path scene = farm.TmpDir() / "clockd";
  fs::create_directories(scene);
  fs::copy_file(kExample / "clockd.pov", scene / "clockd.pov");
  fs::copy_file(kExample / "clockd.ini", scene / "clockd.ini");
  std::printf("clockd, %d frames: farm of 2 nodes against povray +WT2 alone, %d repeats (shared machine: noisy)\n",
              kFrames, repeats);
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{320, 240}, {640, 480}}) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::vector<double> farmFpm, povrayFpm, ratio;
    for (int r = 0; r < repeats; ++r) {
      const fs::path farmOut = farm.TmpDir() / ("farm-" + size + "-" + std::to_string(r));
      const fs::path povOut = farm.TmpDir() / ("povray-" + size + "-" + std::to_string(r));
      fs::create_directories(farmOut);
      fs::create_directories(povOut);
      std::string output;
      const double farmSeconds = Run(farm, scene,
                                     {(client / "lumora").string(), "render", "clockd.ini", "+W" + std::to_string(w),
                                      "+H" + std::to_string(h), "--out", (farmOut / "clockd.png").string()},
                                     "lumora", &output);
      if (farmSeconds < 0) return 1;
      if (const auto at = output.find("package sent"); at != std::string::npos) {
        std::printf("  %s run %d: %s\n", size.c_str(), r + 1, output.substr(at, output.find('\n', at) - at).c_str());
      }
      const double povraySeconds = Run(farm, scene,
                                       {POVRAY_PROGRAM, "clockd.ini", "-D", "+WT2", "+FN", "+W" + std::to_string(w),
                                        "+H" + std::to_string(h), "+O" + (povOut / "clockd.png").string()},
                                       "povray", &output);
      if (povraySeconds < 0) return 1;
      farmFpm.push_back(kFrames * 60 / farmSeconds);
      povrayFpm.push_back(kFrames * 60 / povraySeconds);
      ratio.push_back(farmFpm.back() / povrayFpm.back());
    }
    std::printf("%s\n", size.c_str());
    benchfarm::PrintSpread("farm frames/min", farmFpm);
    benchfarm::PrintSpread("povray +WT2 frames/min", povrayFpm);
    benchfarm::PrintSpread("farm / povray", ratio);
  }
  return 0;
}
