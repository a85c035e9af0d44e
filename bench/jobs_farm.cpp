// Farm efficiency: demonstration scene 1 at 1024 x 768 rendered by vornel
// on a local farm of two nodes, against one povray rendering the same
// Tessel.pov with as many threads as the nodes' engines use together (each
// node's povray runs one thread per processor).
//
//   jobs_farm_bench [--nodes N] [--width W --height H]
//
// Needs FARM_BIN_DIR (the build's bin/); prints the wall times and their
// ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/BenchFarm.h"
#include "tests/support/TestOrb.h"

namespace {

using benchfarm::Clock;
using namespace std::chrono_literals;

using benchfarm::Farmers;
using benchfarm::Seconds;

}  // namespace

int main(int argc, char** argv) {
  int nodes = 2, width = 1024, height = 768;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--nodes") nodes = v;
    if (a == "--width") width = v;
    if (a == "--height") height = v;
  }
  if (std::getenv("FARM_BIN_DIR") == nullptr) {
    std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
    return 2;
  }
  // Every node's engine runs povray with its default thread count (one per
  // processor); the direct render gets all of the farm's threads at once.
  const int perNode = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int threads = nodes * perNode;

  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!farm.StartRegistry() || !farm.StartWorkgroup(orb.orb())) {
    std::fprintf(stderr, "the registry or the workgroup server did not start\n");
    return 1;
  }
  for (int i = 0; i < nodes; ++i) farm.StartNode(farm.MakeNodeFolder());
  if (!farmtest::WaitUntil([&] { return Farmers(orb.orb()) == nodes; }, 30s, 100ms)) {
    std::fprintf(stderr, "only %d of %d nodes registered\n", Farmers(orb.orb()), nodes);
    return 1;
  }

  const auto client = farm.MakeNodeFolder();
  if (std::string why; !farm.UseClassesOf(client, &why)) {
    std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
    return 1;
  }
  const auto out = farm.TmpDir() / "farm.png";
  auto start = Clock::now();
  farmtest::Process* v = farm.StartProgram({(client / "vornel").string(), "--scene", "1", "--out", out.string(),
                                            "--width", std::to_string(width), "--height", std::to_string(height)},
                                           "vornel");
  const auto rc = v ? v->WaitExit(30min) : std::nullopt;
  const double farmSeconds = Seconds(Clock::now() - start);
  if (rc != 0) {
    std::fprintf(stderr, "vornel failed:\n%s\n", v ? v->Output().c_str() : "");
    return 1;
  }

  start = Clock::now();
  farmtest::Process* p = farm.StartProgram(
      {POVRAY_PROGRAM, "+I" + (client / "Render" / "Tessel.pov").string(), "+L" + (client / "Render").string(),
       "+O" + (farm.TmpDir() / "direct.png").string(), "+W" + std::to_string(width), "+H" + std::to_string(height),
       "-D", "+FN", "+WT" + std::to_string(threads)},
      "povray");
  const auto prc = p ? p->WaitExit(30min) : std::nullopt;
  const double directSeconds = Seconds(Clock::now() - start);
  if (prc != 0) {
    std::fprintf(stderr, "povray failed:\n%s\n", p ? p->Output().c_str() : "");
    return 1;
  }

  std::printf("scene 1 at %d x %d\n", width, height);
  std::printf("farm, %d nodes (vornel wall time)   %8.2f s\n", nodes, farmSeconds);
  std::printf("povray alone, %d threads (wall time) %8.2f s\n", threads, directSeconds);
  std::printf("farm / direct                        %8.2f\n", farmSeconds / directSeconds);
  return 0;
}
