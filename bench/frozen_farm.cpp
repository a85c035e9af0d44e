// Frozen nodes: a small job on a local farm of N nodes (16 unless told),
// all answering, against the same job with F of them (half unless told)
// stopped (SIGSTOP) as machines that hang. Both run side by side in every
// repeat. 64 nodes with 16 frozen is the control plane's check.
//
//   frozen_farm_bench [--nodes N] [--frozen F] [--width W --height H] [--repeats R]
//
// Needs FARM_BIN_DIR (the build's bin/); prints per repeat the time from
// the client's start to its first progress line (the first tenth of the
// rows placed) and to its end, and the spread of the ends.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/TestOrb.h"

namespace {

using benchfarm::Clock;
using benchfarm::Seconds;
using namespace std::chrono_literals;

struct Timing {
  double firstRows = -1;  // first progress line
  double end = -1;        // negative: the job failed
};

// One job from `client`'s copy of vornel, timed from its start.
Timing RunJob(farmtest::Farm& farm, const std::filesystem::path& client, int width, int height) {
  const auto start = Clock::now();
  farmtest::Process* v =
      farm.StartProgram({(client / "vornel").string(), "--scene", "1", "--out", (farm.TmpDir() / "f.png").string(),
                         "--width", std::to_string(width), "--height", std::to_string(height)},
                        "vornel");
  Timing t;
  if (v == nullptr) return t;
  while (v->Running() && Clock::now() - start < 10min) {
    if (t.firstRows < 0 && v->Output().find(" rows ") != std::string::npos) t.firstRows = Seconds(Clock::now() - start);
    std::this_thread::sleep_for(5ms);
  }
  const auto rc = v->WaitExit(1s);
  if (t.firstRows < 0 && v->Output().find(" rows ") != std::string::npos) t.firstRows = Seconds(Clock::now() - start);
  if (rc == 0) {
    t.end = Seconds(Clock::now() - start);
  } else {
    std::fprintf(stderr, "vornel failed:\n%s\n", v->Output().c_str());
  }
  return t;
}

bool AllRegistered(CORBA::ORB_ptr orb, int nodes) { return benchfarm::WaitForNodes(orb, nodes, 120s); }

}  // namespace

int main(int argc, char** argv) {
  int nodes = 16, frozenCount = -1, width = 160, height = 120, repeats = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--nodes") nodes = std::max(2, v);
    if (a == "--frozen") frozenCount = v;
    if (a == "--width") width = v;
    if (a == "--height") height = v;
    if (a == "--repeats") repeats = std::max(1, v);
  }
  if (!benchfarm::HaveBinDir()) return 2;
  frozenCount = frozenCount < 0 ? nodes / 2 : std::clamp(frozenCount, 1, nodes - 1);
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!benchfarm::StartServers(farm, orb.orb())) return 1;
  std::vector<farmtest::Process*> all;
  for (int i = 0; i < nodes; ++i) all.push_back(farm.StartNode(farm.MakeNodeFolder()));
  if (!AllRegistered(orb.orb(), nodes)) return 1;
  const std::filesystem::path client = benchfarm::ClientFolder(farm);
  if (client.empty()) return 1;
  std::printf("scene 1 at %d x %d, %d nodes, %d of them frozen in the second job\n", width, height, nodes, frozenCount);
  std::printf("(first rows: the first tenth of the picture's rows placed)\n");
  std::printf("%6s %18s %12s %20s %14s\n", "repeat", "all: first rows s", "all: end s", "frozen: first rows s",
              "frozen: end s");
  std::vector<double> ends[2], firsts[2];
  for (int r = 1; r <= repeats; ++r) {
    if (!AllRegistered(orb.orb(), nodes)) return 1;
    const Timing whole = RunJob(farm, client, width, height);
    std::vector<farmtest::Process*> frozen;
    // Spread over the farm: every other node while that is enough.
    for (int i = 0; i < frozenCount; ++i) {
      const int pick = 2 * i + 1 < nodes ? 2 * i + 1 : 2 * (i - nodes / 2);
      if (all[pick]->Suspend(10s)) frozen.push_back(all[pick]);
    }
    const Timing half = RunJob(farm, client, width, height);
    for (farmtest::Process* p : frozen) p->Signal(SIGCONT);
    if (whole.end < 0 || half.end < 0) return 1;
    ends[0].push_back(whole.end);
    ends[1].push_back(half.end);
    firsts[0].push_back(whole.firstRows);
    firsts[1].push_back(half.firstRows);
    std::printf("%6d %18.2f %12.2f %20.2f %14.2f\n", r, whole.firstRows, whole.end, half.firstRows, half.end);
    std::fflush(stdout);
  }
  benchfarm::PrintSpread("all answering: first rows s", firsts[0]);
  benchfarm::PrintSpread("all answering: end s", ends[0]);
  benchfarm::PrintSpread("frozen: first rows s", firsts[1]);
  benchfarm::PrintSpread("frozen: end s", ends[1]);
  return 0;
}
