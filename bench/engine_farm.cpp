// The farm against one povray: the demonstration scenes rendered by vornel
// on a local farm of two nodes, side by side with `povray +WT2` rendering
// the same Tessel.pov directly, several times over; with povray-rows, also
// povray-rows rendering it directly, to tell the renderer's gain from the
// farm's.
//
//   engine_farm_bench [--runs N] [--tap]
//
// Needs FARM_BIN_DIR (the build's bin/). Prints, per picture and run, the
// wall times and their ratio, the CPU seconds of the nodes with their
// engines and renderers against the direct render's (and the part the node
// processes spent themselves), the light tests the bands' renderers made
// against the direct render's (what the bands' overlap adds, free of the
// machine's noise), how soon the first row came after vornel started (its
// Zarvo comes later still), and the longest gap between two rows from one
// node once that node's rows had begun (and after which row, and when, it
// came: with --tap, a band's last row is followed by its rows sent again
// from povray's picture); then the spread of every figure over the runs.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "idl/WellKnownNames.h"
#include "platform/ChildProcess.h"
#include "registry/NameBinding.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;
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

// CPU seconds of a live process: its own, and its reaped children's.
struct Cpu {
  double own = 0, children = 0;
};
Cpu ProcessCpu(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  for (std::string s; fields >> s;) f.push_back(s);
  // Fields 14-17 of stat (utime stime cutime cstime), here from field 3 on.
  if (f.size() < 15) return {};
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  return {(std::stod(f[11]) + std::stod(f[12])) / ticks, (std::stod(f[13]) + std::stod(f[14])) / ticks};
}

// The same, over all the nodes.
Cpu NodesCpu(const std::vector<farmtest::Process*>& nodes) {
  Cpu sum;
  for (const farmtest::Process* n : nodes) {
    const Cpu c = ProcessCpu(n->pid());
    sum.own += c.own;
    sum.children += c.children;
  }
  return sum;
}

double ChildrenCpu() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The light tests povray made while tracing ("Shadow Ray Tests:" in its
// statistics, which photon shooting does not count), from a log of its
// output; -1 when none is there. A count of tracing work that the
// machine's noise does not touch: a picture cut into bands without overlap
// makes exactly as many as the whole. It leaves out photon gathering, so
// rows rich in caustics cost more CPU than their share of it says.
long ShadowRayTests(const fs::path& log) {
  constexpr std::string_view kLabel = "Shadow Ray Tests:";
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kLabel, 0) == 0) return std::atol(line.c_str() + kLabel.size());
  }
  return -1;
}

struct RowTiming {
  double firstRow = -1;  // seconds after `since`
  double longestGap = 0;
  int gapAfterRow = 0;  // the row handed on just before the longest gap
  double gapAt = 0;     // and when, in seconds after `since`
};

// Reads pvengine's row times ("<pid> <ns> <row>" lines).
RowTiming ReadRowTimes(const fs::path& file, Clock::time_point since) {
  std::map<long, std::vector<std::pair<long long, int>>> byEngine;
  std::ifstream in(file);
  long pid;
  long long ns;
  int row;
  while (in >> pid >> ns >> row) byEngine[pid].push_back({ns, row});
  RowTiming t;
  const long long base = std::chrono::duration_cast<std::chrono::nanoseconds>(since.time_since_epoch()).count();
  for (auto& [engine, times] : byEngine) {
    std::sort(times.begin(), times.end());
    const double first = (times.front().first - base) / 1e9;
    if (t.firstRow < 0 || first < t.firstRow) t.firstRow = first;
    for (std::size_t i = 1; i < times.size(); ++i) {
      const double gap = (times[i].first - times[i - 1].first) / 1e9;
      if (gap > t.longestGap) {
        t.longestGap = gap;
        t.gapAfterRow = times[i - 1].second;
        t.gapAt = (times[i - 1].first - base) / 1e9;
      }
    }
  }
  return t;
}

struct Case {
  int scene, width, height;
};
struct Figures {
  double farm, direct, farmCpu, directCpu, firstRow, gap;
  int gapAfterRow;
  double gapAt;
  double directRows;  // povray-rows on its own, 0 when not measured
  double nodeOwnCpu;  // the part of farmCpu spent in the node processes themselves
  double work;        // light tests of the bands / of the direct render, 0 when unknown
};

void Spread(const char* name, const std::vector<double>& v) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  std::vector<double> s = v;
  std::sort(s.begin(), s.end());
  std::printf("  %-22s median %7.3f  min %7.3f  max %7.3f\n", name, s[s.size() / 2], *lo, *hi);
}

// The local farm the pictures are rendered on: two nodes and a client
// folder whose vornel uses the farm's classes.
struct BenchFarm {
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  std::vector<farmtest::Process*> nodes;
  std::vector<fs::path> nodeFolders;
  fs::path client;
  fs::path rowTimes;
  bool rowRenderer = false;  // the nodes render with povray-rows
};

// Starts the farm; false, said on stderr, when a part of it did not start.
bool StartBenchFarm(BenchFarm& bench) {
  farmtest::Farm& farm = bench.farm;
  if (!farm.StartRegistry() || !farm.StartWorkgroup(bench.orb.orb())) {
    std::fprintf(stderr, "the registry or the workgroup server did not start\n");
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    bench.nodeFolders.push_back(farm.MakeNodeFolder());
    bench.nodes.push_back(farm.StartNode(bench.nodeFolders.back()));
  }
  if (!farmtest::WaitUntil([&] { return Farmers(bench.orb.orb()) == 2; }, 60s, 100ms)) {
    std::fprintf(stderr, "only %d of 2 nodes registered\n", Farmers(bench.orb.orb()));
    return false;
  }
  bench.client = farm.MakeNodeFolder();
  if (std::string why; !farm.UseClassesOf(bench.client, &why)) {
    std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
    return false;
  }
  return true;
}

// One direct render of the client's Tessel.pov with `program`: its wall
// seconds, or a negative number when it failed (said on stderr).
double DirectRender(BenchFarm& bench, const Case& k, const std::string& program, const std::string& picture) {
  farmtest::Farm& farm = bench.farm;
  std::string error;
  const auto begin = Clock::now();
  auto p = platform::ChildProcess::Start(
      {"/bin/sh", "-c",
       "exec '" + program + "' +I'" + (bench.client / "Render" / "Tessel.pov").string() + "' +L'" +
           (bench.client / "Render").string() + "' +O'" + (farm.TmpDir() / picture).string() + "' +W" +
           std::to_string(k.width) + " +H" + std::to_string(k.height) + " -D -P +FN +WT2 >'" +
           (farm.TmpDir() / "direct.log").string() + "' 2>&1"},
      &error);
  const int rc = p ? p->Wait() : -1;
  if (rc != 0) {
    std::fprintf(stderr, "%s failed: %s\n%s\n", program.c_str(), error.c_str(),
                 farmtest::ReadFile(farm.TmpDir() / "direct.log").c_str());
    return -1.0;
  }
  return Seconds(Clock::now() - begin);
}

// The light tests of the bands against the direct render's, 0 when unknown.
double TracingWork(BenchFarm& bench) {
  // Each node's engine logs its band's renderer output in its work folder,
  // which stays until the next job.
  long bandTests = 0;
  for (const fs::path& folder : bench.nodeFolders) {
    const long t = ShadowRayTests(folder / "Render" / "pvengine.log");
    bandTests = (t < 0 || bandTests < 0) ? -1 : bandTests + t;
  }
  const long directTests = ShadowRayTests(bench.farm.TmpDir() / "direct.log");
  return (bandTests > 0 && directTests > 0) ? static_cast<double>(bandTests) / directTests : 0;
}

// One run of picture `k` on the farm and directly; false, said on stderr,
// when a render failed.
bool MeasureCase(BenchFarm& bench, const Case& k, Figures* f) {
  farmtest::Farm& farm = bench.farm;
  fs::remove(bench.rowTimes);
  const Cpu nodesBefore = NodesCpu(bench.nodes);
  const fs::path out = farm.TmpDir() / "farm.png";
  const auto start = Clock::now();
  farmtest::Process* v =
      farm.StartProgram({(bench.client / "vornel").string(), "--scene", std::to_string(k.scene), "--out", out.string(),
                         "--width", std::to_string(k.width), "--height", std::to_string(k.height)},
                        "vornel");
  const auto rc = v ? v->WaitExit(30min) : std::nullopt;
  const double farmWall = Seconds(Clock::now() - start);
  if (rc != 0) {
    std::fprintf(stderr, "vornel failed:\n%s\n", v ? v->Output().c_str() : "");
    return false;
  }
  // The nodes have reaped their engines by the time the job has ended.
  std::this_thread::sleep_for(200ms);
  const Cpu nodesAfter = NodesCpu(bench.nodes);
  const double nodeOwnCpu = nodesAfter.own - nodesBefore.own;
  const double nodeCpu = nodeOwnCpu + nodesAfter.children - nodesBefore.children;
  const RowTiming timing = ReadRowTimes(bench.rowTimes, start);

  const double cpuBefore = ChildrenCpu();
  const double directWall = DirectRender(bench, k, "povray", "direct.png");
  const double directCpu = ChildrenCpu() - cpuBefore;
  if (directWall < 0) return false;
  const double work = TracingWork(bench);
  // The farm's own renderer, run the same way: how much of the farm's
  // lead is the renderer's rather than the split's.
  double rowsWall = 0;
  if (bench.rowRenderer) {
    rowsWall = DirectRender(bench, k, (bench.client / "povray-rows").string(), "direct-rows.png");
    if (rowsWall < 0) return false;
  }
  *f = Figures{farmWall,     directWall, nodeCpu,    directCpu, timing.firstRow, timing.longestGap, timing.gapAfterRow,
               timing.gapAt, rowsWall,   nodeOwnCpu, work};
  return true;
}

void PrintRun(const Case& k, int run, const Figures& f) {
  char name[64];
  std::snprintf(name, sizeof name, "scene %d, %d x %d", k.scene, k.width, k.height);
  std::printf("%-22s %3d %8.2f %8.2f %6.2f %8.2f %8.2f %6.2f %8.2f %6.3f %8.2f %8.2f  %d, %.2f\n", name, run, f.farm,
              f.direct, f.farm / f.direct, f.farmCpu, f.directCpu, f.farmCpu / f.directCpu, f.nodeOwnCpu, f.work,
              f.firstRow, f.gap, f.gapAfterRow, f.gapAt);
  std::fflush(stdout);
}

// The spread of every figure of picture `k` over the runs.
void PrintSpreads(const Case& k, const std::vector<Figures>& figures) {
  std::printf("scene %d, %d x %d:\n", k.scene, k.width, k.height);
  std::vector<double> wall, cpu, nodeOwn, work, first, gap, wallRows, rowsAlone;
  for (const Figures& f : figures) {
    if (f.directRows > 0) {
      wallRows.push_back(f.farm / f.directRows);
      rowsAlone.push_back(f.directRows / f.direct);
    }
    wall.push_back(f.farm / f.direct);
    cpu.push_back(f.farmCpu / f.directCpu);
    nodeOwn.push_back(f.nodeOwnCpu / f.directCpu);
    if (f.work > 0) work.push_back(f.work);
    first.push_back(f.firstRow);
    gap.push_back(f.gap);
  }
  Spread("farm / povray +WT2", wall);
  if (!wallRows.empty()) {
    Spread("farm / povray-rows +WT2", wallRows);
    Spread("povray-rows / povray", rowsAlone);
  }
  Spread("cpu farm / povray", cpu);
  Spread("  of it nodes' own", nodeOwn);
  // The overlap's share of the tracing: the farm's CPU ratio cannot come
  // below it.
  if (!work.empty()) Spread("light tests farm / pov", work);
  Spread("first row after start", first);
  Spread("longest row gap", gap);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  bool tap = false;  // --tap: Debian's povray through the preview tap instead of povray-rows
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    if (std::string(argv[i]) == "--tap") tap = true;
  }
  if (std::getenv("FARM_BIN_DIR") == nullptr) {
    std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
    return 2;
  }
  // The nodes pass it on to their engines.
  setenv("PVENGINE_PREVIEW_TAP", tap ? "1" : "0", 1);
  BenchFarm bench;
  bench.rowRenderer = !tap && fs::exists(fs::path(std::getenv("FARM_BIN_DIR")) / "povray-rows");
  std::printf("renderer: %s\n", bench.rowRenderer ? "povray-rows" : "Debian's povray with the preview tap");
  bench.rowTimes = bench.farm.TmpDir() / "row-times";
  setenv("PVENGINE_ROW_TIMES", bench.rowTimes.c_str(), 1);  // the nodes pass it on to their engines
  if (!StartBenchFarm(bench)) return 1;
  const std::vector<Case> cases = {{1, 1024, 768}, {1, 2048, 1536}, {2, 1280, 960}};
  std::map<int, std::vector<Figures>> results;
  std::printf("the machine is shared: figures are side by side per run, spread over %d runs\n", runs);
  std::printf("%-22s %3s %8s %8s %6s %8s %8s %6s %8s %6s %8s %8s  %s\n", "picture", "run", "farm s", "povray s",
              "ratio", "farm cpu", "pov cpu", "ratio", "node cpu", "work", "1st row", "max gap", "after row, at s");
  for (int run = 1; run <= runs; ++run) {
    for (std::size_t c = 0; c < cases.size(); ++c) {
      Figures f{};
      if (!MeasureCase(bench, cases[c], &f)) return 1;
      results[static_cast<int>(c)].push_back(f);
      PrintRun(cases[c], run, f);
    }
  }
  for (std::size_t c = 0; c < cases.size(); ++c) PrintSpreads(cases[c], results[static_cast<int>(c)]);
  return 0;
}
