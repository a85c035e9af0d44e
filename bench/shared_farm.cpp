// Sharing a farm: two clients started together on a local farm of two
// nodes, against the same two jobs run one after the other. Each client
// renders demonstration scene 1 at 1024 x 768; both orders run side by
// side in every repeat.
//
//   shared_farm_bench [--width W --height H] [--repeats N]
//
// Needs FARM_BIN_DIR (the build's bin/); prints the wall times of both,
// their ratio per repeat, and the ratios' spread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/TestOrb.h"

namespace {

using benchfarm::Clock;
using namespace std::chrono_literals;

using benchfarm::Farmers;
using benchfarm::Seconds;

struct Bench {
  farmtest::Farm& farm;
  std::vector<std::filesystem::path> clients;
  int width;
  int height;

  farmtest::Process* Start(int client, const std::string& name) {
    return farm.StartProgram({(clients[client] / "vornel").string(), "--scene", "1", "--quiet", "--out",
                              (farm.TmpDir() / (name + ".png")).string(), "--width", std::to_string(width), "--height",
                              std::to_string(height)},
                             "vornel");
  }
  static bool Ok(farmtest::Process* p) {
    const auto rc = p ? p->WaitExit(30min) : std::nullopt;
    if (rc == 0) return true;
    std::fprintf(stderr, "vornel failed:\n%s\n", p ? p->Output().c_str() : "");
    return false;
  }
  // Wall time of the two jobs one after the other; negative on failure.
  double OneAfterTheOther() {
    const auto start = Clock::now();
    if (!Ok(Start(0, "seq0")) || !Ok(Start(1, "seq1"))) return -1;
    return Seconds(Clock::now() - start);
  }
  // Wall time of the two jobs started together, until both have ended.
  double Together() {
    const auto start = Clock::now();
    farmtest::Process* a = Start(0, "par0");
    farmtest::Process* b = Start(1, "par1");
    if (!Ok(a) || !Ok(b)) return -1;
    return Seconds(Clock::now() - start);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int width = 1024, height = 768, repeats = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--width") width = v;
    if (a == "--height") height = v;
    if (a == "--repeats") repeats = std::max(1, v);
  }
  if (std::getenv("FARM_BIN_DIR") == nullptr) {
    std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
    return 2;
  }
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!farm.StartRegistry() || !farm.StartWorkgroup(orb.orb())) {
    std::fprintf(stderr, "the registry or the workgroup server did not start\n");
    return 1;
  }
  for (int i = 0; i < 2; ++i) farm.StartNode(farm.MakeNodeFolder());
  if (!farmtest::WaitUntil([&] { return Farmers(orb.orb()) == 2; }, 30s, 100ms)) {
    std::fprintf(stderr, "only %d of 2 nodes registered\n", Farmers(orb.orb()));
    return 1;
  }
  Bench bench{farm, {}, width, height};
  for (int c = 0; c < 2; ++c) {
    bench.clients.push_back(farm.MakeNodeFolder());
    if (std::string why; !farm.UseClassesOf(bench.clients.back(), &why)) {
      std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
      return 1;
    }
  }
  std::printf("scene 1 at %d x %d, 2 clients, 2 nodes\n", width, height);
  std::printf("%6s %14s %14s %8s\n", "repeat", "sequential s", "together s", "ratio");
  std::vector<double> ratios;
  for (int r = 1; r <= repeats; ++r) {
    // Alternating which goes first, so that a warming cache favours neither.
    const bool sequentialFirst = r % 2 == 1;
    double sequential = sequentialFirst ? bench.OneAfterTheOther() : -1;
    const double together = bench.Together();
    if (!sequentialFirst) sequential = bench.OneAfterTheOther();
    if (sequential < 0 || together < 0) return 1;
    ratios.push_back(together / sequential);
    std::printf("%6d %14.2f %14.2f %8.3f\n", r, sequential, together, ratios.back());
  }
  const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
  double sum = 0;
  for (double q : ratios) sum += q;
  std::printf("together / sequential: mean %.3f, spread %.3f to %.3f\n", sum / ratios.size(), *lo, *hi);
  return 0;
}
