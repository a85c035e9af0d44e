// Uneven machines: two local nodes, one with a whole core (core 1), one
// sharing core 0 with a busy loop. Demonstration scene 1 rendered by vornel
// with its default settings (one band per node, balanced as nodes go idle)
// and with LUMORA_BANDS_PER_NODE
// bands per node handed to whichever node is idle, against the ideal: the
// whole picture's work spread over both nodes' speeds without any loss,
// 1 / (1 / T1 + 1 / T0), where T1 and T0 are povray's times for the picture
// on each node's share of the machine, measured in the same run.
//
//   uneven_farm_bench [--runs N] [--bands K] [--width W --height H] [--trace 1]
//
// --trace 1 prints the controller's band timeline of every default job.
//
// Needs FARM_BIN_DIR (the build's bin/) and taskset.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;
using benchfarm::PrintSpread;
using benchfarm::Timed;
using namespace std::chrono_literals;

struct Settings {
  int runs = 2, bands = 4, width = 1024, height = 768;
  bool trace = false;
};

Settings ReadSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--runs") settings.runs = std::max(1, v);
    if (a == "--bands") settings.bands = std::clamp(v, 2, 64);
    if (a == "--width") settings.width = v;
    if (a == "--height") settings.height = v;
    if (a == "--trace") settings.trace = v != 0;
  }
  return settings;
}

// The registry, the workgroup server and the two nodes; false, said on
// stderr, when a part did not start.
bool StartUnevenFarm(farmtest::Farm& farm, farmtest::TestOrb& orb) {
  if (!benchfarm::StartServers(farm, orb.orb())) return false;
  // The slow node's core is shared with a busy loop; programs a node starts
  // keep its core.
  farm.StartProgram({"/usr/bin/taskset", "-c", "0", "/bin/sh", "-c", "while :; do :; done"}, "busy");
  for (const char* core : {"1", "0"}) {
    const fs::path folder = farm.MakeNodeFolder();
    farm.StartProgram(
        {"/usr/bin/taskset", "-c", core, (folder / "tessel").string(), "-ORBendPoint", "giop:tcp:127.0.0.1:"},
        "tessel");
  }
  return benchfarm::WaitForNodes(orb.orb(), 2);
}

std::vector<std::string> VornelCommand(farmtest::Farm& farm, const fs::path& client, const Settings& settings) {
  return {(client / "vornel").string(),
          "--scene",
          "1",
          "--out",
          (farm.TmpDir() / "farm.png").string(),
          "--width",
          std::to_string(settings.width),
          "--height",
          std::to_string(settings.height)};
}

std::vector<std::string> PovrayCommand(farmtest::Farm& farm, const fs::path& client, const Settings& settings,
                                       const char* core) {
  return {"/usr/bin/taskset",
          "-c",
          core,
          "povray",
          "+I" + (client / "Render" / "Tessel.pov").string(),
          "+L" + (client / "Render").string(),
          "+O" + (farm.TmpDir() / "direct.png").string(),
          "+W" + std::to_string(settings.width),
          "+H" + std::to_string(settings.height),
          "-D",
          "-P",
          "+FN"};
}

// Every run, side by side, then the spreads; false when a render failed.
bool Measure(farmtest::Farm& farm, const fs::path& client, const Settings& settings) {
  const std::vector<std::string> vornel = VornelCommand(farm, client, settings);
  std::vector<double> plain, shared, ideal, gain, toIdeal;
  for (int run = 1; run <= settings.runs; ++run) {
    if (settings.trace) setenv("LUMORA_BAND_TRACE", "1", 1);
    std::string output;
    const double one = Timed(farm, vornel, "vornel", &output);
    unsetenv("LUMORA_BAND_TRACE");
    setenv("LUMORA_BANDS_PER_NODE", std::to_string(settings.bands).c_str(), 1);
    const double many = Timed(farm, vornel, "vornel");
    unsetenv("LUMORA_BANDS_PER_NODE");
    const double t1 = Timed(farm, PovrayCommand(farm, client, settings, "1"), "povray");
    const double t0 = Timed(farm, PovrayCommand(farm, client, settings, "0"), "povray");
    if (one < 0 || many < 0 || t1 < 0 || t0 < 0) return false;
    const double best = 1.0 / (1.0 / t1 + 1.0 / t0);
    std::printf("%3d %10.2f %10.2f %8.2f %8.2f %10.2f %10.2f %10.2f\n", run, one, many, t1, t0, best, one / best,
                many / best);
    if (settings.trace) benchfarm::PrintBandTrace(output);
    std::fflush(stdout);
    plain.push_back(one);
    shared.push_back(many);
    ideal.push_back(best);
    gain.push_back(one / best);
    toIdeal.push_back(many / best);
  }
  std::printf("with %d bands per node:\n", settings.bands);
  PrintSpread("default (s)", plain);
  PrintSpread("shared bands (s)", shared);
  PrintSpread("ideal (s)", ideal);
  PrintSpread("default / ideal", gain);
  PrintSpread("shared / ideal", toIdeal);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ReadSettings(argc, argv);
  if (!benchfarm::HaveBinDir()) return 2;
  unsetenv("LUMORA_BANDS_PER_NODE");
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!StartUnevenFarm(farm, orb)) return 1;
  const fs::path client = benchfarm::ClientFolder(farm);
  if (client.empty()) return 1;
  std::printf("scene 1 at %d x %d; node A on core 1, node B sharing core 0 with a busy loop; %d runs\n", settings.width,
              settings.height, settings.runs);
  std::printf("(the machine is shared with other work: compare figures of one run)\n");
  std::printf("%3s %10s %10s %8s %8s %10s %10s %10s\n", "run", "default", "shared", "T1", "T0", "ideal", "def/ideal",
              "shr/ideal");
  return Measure(farm, client, settings) ? 0 : 1;
}
