// TLS against plain TCP, side by side in one run, repeated: rows per second
// from a node's row sender into a controller's boss (one Push per row, as
// the engine sends them), and a whole job's wall time on a local farm of two
// nodes (vornel, scene 1). Every program of a TLS farm gets its own
// certificate from scripts/farm-ca.
//
//   FARM_BIN_DIR=build/bin build/bench/tls_farm_bench [--runs 3] [--rows 4000]
//       [--width 1024] [--height 768] [--job 0]
//
// Beside the rates it prints each side's CPU time per row (every thread of
// the process), which tells the cost of the records from the cost of the
// round trips; --job 0 leaves out the whole job.
//
// The bench starts itself as the boss (--boss) and as the sender (--send).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "idl/OrbInit.h"
#include "tests/support/BossBase.h"
#include "tests/support/Farm.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of the whole process (every thread), in seconds.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class CountingBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq&) override {}
  void Push(CORBA::Long, const Lumora::ColorLine&) override {
    const int done = ++rows;
    if (done == 1) firstCpu = CpuSeconds();
    if (done == wanted) lastCpu = CpuSeconds();
  }
  int wanted = 0;
  std::atomic<int> rows{0};
  std::atomic<double> firstCpu{0}, lastCpu{0};
};

// --boss ROWS: serves a boss, prints its reference, ends after ROWS rows
// and prints the CPU time it spent per row (microseconds, every thread).
int Boss(int argc, char** argv) {
  farm::StartedOrb started = farm::StartOrb(argc, argv);
  const int rows = argc > 2 ? std::atoi(argv[2]) : 0;
  CountingBoss boss;
  boss.wanted = rows;
  PortableServer::ObjectId_var id = started.rootPoa->activate_object(&boss);
  CORBA::Object_var ref = started.rootPoa->id_to_reference(id.in());
  std::cout << farm::ObjectToString(started.orb.in(), ref.in()) << std::endl;
  farmtest::WaitUntil([&] { return boss.rows >= rows; }, 10min, 10ms);
  if (rows > 1) std::cout << "cpu " << (boss.lastCpu - boss.firstCpu) * 1e6 / (rows - 1) << std::endl;
  std::this_thread::sleep_for(200ms);
  started.orb->destroy();
  return 0;
}

// --send IOR ROWS WIDTH: pushes the rows, prints rows per second and its
// CPU time per row (microseconds).
int Send(int argc, char** argv) {
  farm::StartedOrb started = farm::StartOrb(argc, argv, farm::OrbRole::kClientOnly);
  if (argc < 5) return 2;
  CORBA::Object_var obj = started.orb->string_to_object(argv[2]);
  Lumora::RenderBoss_var boss = Lumora::RenderBoss::_narrow(obj.in());
  const int rows = std::atoi(argv[3]), width = std::atoi(argv[4]);
  Lumora::ColorLine colors(static_cast<CORBA::ULong>(width));
  colors.length(static_cast<CORBA::ULong>(width));
  for (int x = 0; x < width; ++x) colors[static_cast<CORBA::ULong>(x)] = x * 2654435761u;
  CORBA::String_var first = boss->ID();  // the connection, made outside the clock
  const auto start = Clock::now();
  const double startCpu = CpuSeconds();
  for (int line = 1; line <= rows; ++line) boss->Push(line, colors);
  const double cpu = CpuSeconds() - startCpu;
  std::printf("%.1f %.2f\n", rows / Seconds(Clock::now() - start), cpu * 1e6 / rows);
  started.orb->destroy();
  return 0;
}

void UseKey(const fs::path& ca, const std::string& name) {
  if (ca.empty()) {
    unsetenv("LUMORA_TLS_CA");
    unsetenv("LUMORA_TLS_KEY");
  } else {
    setenv("LUMORA_TLS_CA", (ca / "ca.pem").c_str(), 1);
    setenv("LUMORA_TLS_KEY", (ca / (name + ".pem")).c_str(), 1);
  }
}

std::string Self() { return fs::read_symlink("/proc/self/exe").string(); }

struct RowFigures {
  double rate = 0;     // rows per second
  double sendCpu = 0;  // the sender's CPU microseconds per row
  double bossCpu = 0;  // the boss's
};

// The number after `label` in `text`, 0 without one.
double NumberAfter(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  return at == std::string::npos ? 0 : std::atof(text.c_str() + at + label.size());
}

RowFigures PushRows(farmtest::Farm& farm, const fs::path& ca, int rows, int width) {
  UseKey(ca, "boss");
  farmtest::Process* boss =
      farm.StartProgram({Self(), "--boss", std::to_string(rows), "-ORBendPoint", "giop:tcp:127.0.0.1:"}, "boss");
  std::string ior;
  farmtest::WaitUntil(
      [&] {
        const std::string out = boss ? boss->Output() : std::string();
        const auto at = out.find("IOR:");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return boss == nullptr;
        ior = out.substr(at, out.find('\n', at) - at);
        return true;
      },
      20s, 20ms);
  UseKey(ca, "node");
  farmtest::Process* sender =
      farm.StartProgram({Self(), "--send", ior, std::to_string(rows), std::to_string(width)}, "send");
  const auto rc = sender ? sender->WaitExit(10min) : std::nullopt;
  RowFigures figures;
  if (rc == 0) std::sscanf(sender->Output().c_str(), "%lf %lf", &figures.rate, &figures.sendCpu);
  if (rc != 0) std::fprintf(stderr, "row sender failed:\n%s\n", sender ? sender->Output().c_str() : "");
  if (boss && boss->WaitExit(10s) == 0) figures.bossCpu = NumberAfter(boss->Output(), "cpu ");
  return figures;
}

double JobSeconds(farmtest::Farm& farm, const fs::path& ca, const fs::path& client, int width, int height) {
  UseKey(ca, "boss");
  const fs::path out = farm.TmpDir() / "farm.png";
  const auto start = Clock::now();
  farmtest::Process* v =
      farm.StartProgram({(client / "vornel").string(), "--quiet", "--scene", "1", "--out", out.string(), "--width",
                         std::to_string(width), "--height", std::to_string(height)},
                        "vornel");
  const auto rc = v ? v->WaitExit(30min) : std::nullopt;
  if (rc != 0) {
    std::fprintf(stderr, "vornel failed:\n%s\n", v ? v->Output().c_str() : "");
    return 0;
  }
  return Seconds(Clock::now() - start);
}

// A local farm of two nodes, with TLS when `ca` is given; the client's folder in *client.
bool StartFarm(farmtest::Farm& farm, const fs::path& ca, fs::path* client) {
  UseKey(ca, "hub");
  if (!farm.StartRegistry() || !farm.StartWorkgroup()) return false;
  UseKey(ca, "node");
  std::vector<farmtest::Process*> nodes;
  for (int i = 0; i < 2; ++i) nodes.push_back(farm.StartNode(farm.MakeNodeFolder()));
  for (farmtest::Process* n : nodes) {
    if (n == nullptr || !n->WaitForOutput("joined the work group Tessel", 30s)) return false;
  }
  *client = farm.MakeNodeFolder();
  return farm.UseClassesOf(*client);
}

struct Spread {
  double lo = 1e300, hi = 0, sum = 0;
  int n = 0;
  void Add(double v) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    sum += v;
    ++n;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--boss") return Boss(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--send") return Send(argc, argv);
  int runs = 3, rows = 4000, width = 1024, height = 768, withJob = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--runs") runs = v;
    if (a == "--rows") rows = v;
    if (a == "--width") width = v;
    if (a == "--height") height = v;
    if (a == "--job") withJob = v;
  }
  if (std::getenv("FARM_BIN_DIR") == nullptr) {
    std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
    return 2;
  }
  const fs::path source = fs::path(FARM_SOURCE_DIR);
  Spread rowRatio, cpuRatio, jobRatio;
  std::printf("%4s %10s %10s %6s %17s %17s %9s %9s %7s\n", "run", "TCP rows/s", "TLS rows/s", "ratio",
              "send CPU us/row", "boss CPU us/row", "TCP job s", "TLS job s", "TCP/TLS");
  std::printf("%4s %10s %10s %6s %8s %8s %8s %8s\n", "", "", "", "", "TCP", "TLS", "TCP", "TLS");
  for (int run = 1; run <= runs; ++run) {
    RowFigures push[2];
    double job[2] = {};
    for (int tls = 0; tls < 2; ++tls) {
      farmtest::Farm farm;
      fs::path ca;
      if (tls == 1) {
        ca = farm.TmpDir() / "ca";
        const std::string make = (source / "scripts" / "farm-ca").string() + " " + ca.string() +
                                 " server:hub node:node client:boss >/dev/null";
        if (std::system(make.c_str()) != 0) return 1;
      }
      push[tls] = PushRows(farm, ca, rows, width);
      fs::path client;
      if (withJob && !StartFarm(farm, ca, &client)) {
        std::fprintf(stderr, "the %s farm did not start\n", tls ? "TLS" : "TCP");
        return 1;
      }
      job[tls] = withJob ? JobSeconds(farm, ca, client, width, height) : 1;
      UseKey({}, "");
    }
    if (push[0].rate <= 0 || push[1].rate <= 0 || job[0] <= 0 || job[1] <= 0) return 1;
    rowRatio.Add(push[1].rate / push[0].rate);
    // One round trip per row: on an idle machine a row takes both sides'
    // CPU time one after the other, so this ratio bounds the rates' ratio.
    cpuRatio.Add((push[0].sendCpu + push[0].bossCpu) / (push[1].sendCpu + push[1].bossCpu));
    jobRatio.Add(job[0] / job[1]);
    std::printf("%4d %10.0f %10.0f %6.2f %8.1f %8.1f %8.1f %8.1f", run, push[0].rate, push[1].rate,
                push[1].rate / push[0].rate, push[0].sendCpu, push[1].sendCpu, push[0].bossCpu, push[1].bossCpu);
    if (withJob) std::printf(" %9.2f %9.2f %7.2f", job[0], job[1], job[0] / job[1]);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("rows of %d pixels, one Push each", width);
  if (withJob) std::printf("; scene 1 at %d x %d on two local nodes", width, height);
  std::printf("\nTLS/TCP row throughput %.2f (%.2f..%.2f)", rowRatio.sum / rowRatio.n, rowRatio.lo, rowRatio.hi);
  std::printf("; TCP/TLS CPU per row %.2f (%.2f..%.2f)", cpuRatio.sum / cpuRatio.n, cpuRatio.lo, cpuRatio.hi);
  if (withJob)
    std::printf("; TCP/TLS job speed %.2f (%.2f..%.2f)", jobRatio.sum / jobRatio.n, jobRatio.lo, jobRatio.hi);
  std::printf("\n");
  return 0;
}
