// Frozen nodes: a small job on a local farm of N nodes (16 unless told),
// all answering, against the same job with half of them stopped (SIGSTOP)
// as machines that hang. Both run side by side in every repeat.
//
//   frozen_farm_bench [--nodes N] [--width W --height H] [--repeats R]
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

#include "Kintra.hh"
#include "idl/WellKnownNames.h"
#include "registry/NameBinding.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int Farmers(CORBA::ORB_ptr orb) {
  try {
    CORBA::Object_var obj = registry::resolve_initial_references2(orb, farm::kWorkGroupService, 0);
    Kintra::WorkGropRegiste_var reg = Kintra::WorkGropRegiste::_narrow(obj);
    Kintra::WorkGroup_var group = reg->CreateWorkGroup(farm::kWorkGroupName);
    Kintra::farmerlist_var list = new Kintra::farmerlist;
    group->GetValidFarmer(list.inout());
    return static_cast<int>(list->length());
  } catch (...) {
    return -1;
  }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

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

bool AllRegistered(CORBA::ORB_ptr orb, int nodes) {
  if (farmtest::WaitUntil([&] { return Farmers(orb) == nodes; }, 60s, 200ms)) return true;
  std::fprintf(stderr, "only %d of %d nodes registered\n", Farmers(orb), nodes);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int nodes = 16, width = 160, height = 120, repeats = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--nodes") nodes = std::max(2, v);
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
  std::vector<farmtest::Process*> all;
  for (int i = 0; i < nodes; ++i) all.push_back(farm.StartNode(farm.MakeNodeFolder()));
  if (!AllRegistered(orb.orb(), nodes)) return 1;
  const std::filesystem::path client = farm.MakeNodeFolder();
  if (std::string why; !farm.UseClassesOf(client, &why)) {
    std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
    return 1;
  }
  std::printf("scene 1 at %d x %d, %d nodes, %d of them frozen in the second job\n", width, height, nodes, nodes / 2);
  std::printf("%6s %18s %12s %18s %12s\n", "repeat", "all: first rows s", "all: end s", "half: first rows s",
              "half: end s");
  std::vector<double> ends[2];
  for (int r = 1; r <= repeats; ++r) {
    if (!AllRegistered(orb.orb(), nodes)) return 1;
    const Timing whole = RunJob(farm, client, width, height);
    std::vector<farmtest::Process*> frozen;
    for (int i = 1; i < nodes; i += 2) {
      if (all[i]->Suspend(10s)) frozen.push_back(all[i]);
    }
    const Timing half = RunJob(farm, client, width, height);
    for (farmtest::Process* p : frozen) p->Signal(SIGCONT);
    if (whole.end < 0 || half.end < 0) return 1;
    ends[0].push_back(whole.end);
    ends[1].push_back(half.end);
    std::printf("%6d %18.2f %12.2f %18.2f %12.2f\n", r, whole.firstRows, whole.end, half.firstRows, half.end);
  }
  for (int k = 0; k < 2; ++k) {
    const auto [lo, hi] = std::minmax_element(ends[k].begin(), ends[k].end());
    double sum = 0;
    for (double e : ends[k]) sum += e;
    std::printf("%s: end mean %.2f s, spread %.2f to %.2f s\n", k == 0 ? "all answering" : "half frozen",
                sum / ends[k].size(), *lo, *hi);
  }
  return 0;
}
