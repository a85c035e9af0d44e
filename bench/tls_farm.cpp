// TLS against plain TCP, side by side in one run, repeated: rows per second
// from a node's row sender into a controller's boss (one Push per row, as
// the engine sends them), and a whole job's wall time on a local farm of two
// nodes (vornel, scene 1). Every program of a TLS farm gets its own
// certificate from scripts/farm-ca.
//
//   FARM_BIN_DIR=build/bin build/bench/tls_farm_bench [--runs 3] [--rows 4000]
//       [--width 1024] [--height 768]
//
// The bench starts itself as the boss (--boss) and as the sender (--send).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

class CountingBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq&) override {}
  void Push(CORBA::Long, const Lumora::ColorLine&) override { ++rows; }
  std::atomic<int> rows{0};
};

// --boss ROWS: serves a boss, prints its reference, ends after ROWS rows.
int Boss(int argc, char** argv) {
  farm::StartedOrb started = farm::StartOrb(argc, argv);
  const int rows = argc > 2 ? std::atoi(argv[2]) : 0;
  CountingBoss boss;
  PortableServer::ObjectId_var id = started.rootPoa->activate_object(&boss);
  CORBA::Object_var ref = started.rootPoa->id_to_reference(id.in());
  std::cout << farm::ObjectToString(started.orb.in(), ref.in()) << std::endl;
  farmtest::WaitUntil([&] { return boss.rows >= rows; }, 10min, 10ms);
  std::this_thread::sleep_for(200ms);
  started.orb->destroy();
  return 0;
}

// --send IOR ROWS WIDTH: pushes the rows, prints rows per second.
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
  for (int line = 1; line <= rows; ++line) boss->Push(line, colors);
  std::printf("%.1f\n", rows / Seconds(Clock::now() - start));
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

double RowsPerSecond(farmtest::Farm& farm, const fs::path& ca, int rows, int width) {
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
  const double rate = rc == 0 ? std::atof(sender->Output().c_str()) : 0;
  if (rc != 0) std::fprintf(stderr, "row sender failed:\n%s\n", sender ? sender->Output().c_str() : "");
  if (boss) boss->WaitExit(10s);
  return rate;
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
  int runs = 3, rows = 4000, width = 1024, height = 768;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--runs") runs = v;
    if (a == "--rows") rows = v;
    if (a == "--width") width = v;
    if (a == "--height") height = v;
  }
  if (std::getenv("FARM_BIN_DIR") == nullptr) {
    std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
    return 2;
  }
  const fs::path source = fs::path(FARM_SOURCE_DIR);
  Spread rowRatio, jobRatio;
  std::printf("%4s %14s %14s %7s %10s %10s %7s\n", "run", "TCP rows/s", "TLS rows/s", "ratio", "TCP job s", "TLS job s",
              "TCP/TLS");
  for (int run = 1; run <= runs; ++run) {
    double rate[2] = {}, job[2] = {};
    for (int tls = 0; tls < 2; ++tls) {
      farmtest::Farm farm;
      fs::path ca;
      if (tls == 1) {
        ca = farm.TmpDir() / "ca";
        const std::string make = (source / "scripts" / "farm-ca").string() + " " + ca.string() +
                                 " server:hub node:node client:boss >/dev/null";
        if (std::system(make.c_str()) != 0) return 1;
      }
      rate[tls] = RowsPerSecond(farm, ca, rows, width);
      fs::path client;
      if (!StartFarm(farm, ca, &client)) {
        std::fprintf(stderr, "the %s farm did not start\n", tls ? "TLS" : "TCP");
        return 1;
      }
      job[tls] = JobSeconds(farm, ca, client, width, height);
      UseKey({}, "");
    }
    if (rate[0] <= 0 || rate[1] <= 0 || job[0] <= 0 || job[1] <= 0) return 1;
    rowRatio.Add(rate[1] / rate[0]);
    jobRatio.Add(job[0] / job[1]);
    std::printf("%4d %14.0f %14.0f %7.2f %10.2f %10.2f %7.2f\n", run, rate[0], rate[1], rate[1] / rate[0], job[0],
                job[1], job[0] / job[1]);
    std::fflush(stdout);
  }
  std::printf("rows of %d pixels, one Push each; scene 1 at %d x %d on two local nodes\n", width, width, height);
  std::printf("TLS/TCP row throughput %.2f (%.2f..%.2f); TCP/TLS job speed %.2f (%.2f..%.2f)\n",
              rowRatio.sum / rowRatio.n, rowRatio.lo, rowRatio.hi, jobRatio.sum / jobRatio.n, jobRatio.lo, jobRatio.hi);
  return 0;
}
