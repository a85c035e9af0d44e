// Scaling: demonstration scene 1 rendered by vornel on farms of N = 1, 2, 4
// and 8 local nodes, each node (with the renderers it starts) held to the
// same CPU share by a cgroup v1 cpu group of its own, the controller and
// the servers outside them; the speedup over the 1-node time against the
// goal 0.9 * N * H / (H + 20 (N - 1)): every seam is traced twice over 20
// rows. All N run side by side in every repeat, each on a fresh farm.
//
//   scaling_farm_bench [--width W --height H] [--repeats R] [--quota US] [--trace 1] [--most N]
//
// Each line also gives the CPU seconds the nodes used and, in % of their
// quota over the job's wall time, the share they got: on a machine loaded
// by other work that share falls below 100 % and the speedup says more
// about the machine than about the farm (the 1-node baseline, alone,
// usually does get its whole quota).
// --trace 1 prints, after every job, the controller's band timeline
// (hand-out, first row, cuts, done, in seconds since its dispatch began)
// and per node how often its group was throttled and for how long;
// --most N leaves out the farms of more than N nodes.
//
// Needs FARM_BIN_DIR (the build's bin/) and root with the cgroup v1 cpu
// controller at /sys/fs/cgroup/cpu; without them it says so and exits 0.
// --quota is cpu.cfs_quota_us per node over a period of 100000 us (25000, a
// quarter of a core, unless told).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCpuRoot = "/sys/fs/cgroup/cpu";
const fs::path kAcctRoot = "/sys/fs/cgroup/cpuacct";

bool WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// One cpu group per node, removed again when it goes.
class CpuGroups {
 public:
  // False, with the reason in *why, when the groups cannot be made.
  bool Make(int count, int quotaUs, std::string* why) {
    for (int i = 0; i < count; ++i) {
      const fs::path g = kCpuRoot / ("lumora-scaling-" + std::to_string(getpid()) + "-" + std::to_string(i));
      std::error_code ec;
      if (!fs::create_directory(g, ec)) {
        *why = "cannot make the cpu group " + g.string() + (ec ? ": " + ec.message() : "");
        return false;
      }
      groups_.push_back(g);
      // Where the cpuacct controller is mounted apart, a group there too
      // counts the CPU time the node got.
      const fs::path a = kAcctRoot / g.filename();
      if (fs::exists(kAcctRoot / "cpuacct.usage") && fs::create_directory(a, ec)) accounts_.push_back(a);
      if (!WriteFile(g / "cpu.cfs_period_us", "100000") ||
          !WriteFile(g / "cpu.cfs_quota_us", std::to_string(quotaUs))) {
        *why = "cannot set the quota of " + g.string();
        return false;
      }
    }
    return true;
  }
  const fs::path& operator[](int i) const { return groups_[static_cast<std::size_t>(i)]; }
  // The shell words that move the running shell into group i (and its
  // CPU account).
  std::string Join(int i) const {
    std::string join = "echo $$ > " + ((*this)[i] / "cgroup.procs").string();
    if (static_cast<std::size_t>(i) < accounts_.size()) {
      join += " && echo $$ > " + (accounts_[static_cast<std::size_t>(i)] / "cgroup.procs").string();
    }
    return join;
  }
  // CPU seconds group i's processes used so far; 0 without an account.
  double CpuSeconds(int i) const {
    if (static_cast<std::size_t>(i) >= accounts_.size()) return 0;
    std::ifstream in(accounts_[static_cast<std::size_t>(i)] / "cpuacct.usage");
    long long ns = 0;
    in >> ns;
    return ns / 1e9;
  }
  bool counted() const { return accounts_.size() == groups_.size(); }
  ~CpuGroups() {
    for (const fs::path& g : groups_) {
      std::error_code ec;
      fs::remove(g, ec);  // rmdir: the nodes in it are gone by now
    }
    for (const fs::path& a : accounts_) {
      std::error_code ec;
      fs::remove(a, ec);
    }
  }

 private:
  std::vector<fs::path> groups_;
  std::vector<fs::path> accounts_;
};

// A group's cpu.stat counters (nr_throttled, throttled_time in ns).
std::map<std::string, long long> CpuStat(const fs::path& group) {
  std::map<std::string, long long> stat;
  std::ifstream in(group / "cpu.stat");
  std::string key;
  long long value = 0;
  while (in >> key >> value) stat[key] = value;
  return stat;
}

// The 1-node... N-node job's wall seconds on a fresh farm whose nodes sit
// in groups[0..n-1]; negative when something failed. *cpu: the CPU seconds
// the nodes used during the job, all together.
double FarmSeconds(const CpuGroups& groups, int nodes, int width, int height, bool trace, double* cpu) {
  farmtest::Farm farm;
  farmtest::TestOrb orb;
  if (!benchfarm::StartServers(farm, orb.orb())) return -1;
  for (int i = 0; i < nodes; ++i) {
    const fs::path folder = farm.MakeNodeFolder();
    // The node joins its group before it runs; the renderers it starts stay in it.
    farm.StartProgram({"/bin/sh", "-c", groups.Join(i) + " && exec \"$0\" \"$@\"", (folder / "tessel").string(),
                       "-ORBendPoint", "giop:tcp:127.0.0.1:"},
                      "tessel");
  }
  if (!benchfarm::WaitForNodes(orb.orb(), nodes)) return -1;
  const fs::path client = benchfarm::ClientFolder(farm);
  if (client.empty()) return -1;
  std::vector<std::map<std::string, long long>> before;
  for (int i = 0; i < nodes; ++i) before.push_back(CpuStat(groups[i]));
  *cpu = 0;
  for (int i = 0; i < nodes; ++i) *cpu -= groups.CpuSeconds(i);
  std::string output;
  const double seconds =
      benchfarm::Timed(farm, benchfarm::VornelCommand(farm, client, 1, width, height, "scaled"), "vornel", &output);
  if (seconds < 0) return -1;
  for (int i = 0; i < nodes; ++i) *cpu += groups.CpuSeconds(i);
  if (trace) {
    benchfarm::PrintBandTrace(output);
    for (int i = 0; i < nodes; ++i) {
      std::map<std::string, long long> after = CpuStat(groups[i]);
      std::printf("    node %d: %lld periods, %lld throttled, %.2f s throttled\n", i + 1,
                  after["nr_periods"] - before[i]["nr_periods"], after["nr_throttled"] - before[i]["nr_throttled"],
                  (after["throttled_time"] - before[i]["throttled_time"]) / 1e9);
    }
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 1024, height = 768, repeats = 3, quota = 25000;
  bool trace = false;
  int most = 8;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--width") width = v;
    if (a == "--height") height = v;
    if (a == "--repeats") repeats = std::max(1, v);
    if (a == "--quota") quota = std::max(1000, v);
    if (a == "--trace") trace = v != 0;
    if (a == "--most") most = v;
  }
  if (!benchfarm::HaveBinDir()) return 2;
  if (trace) setenv("LUMORA_BAND_TRACE", "1", 1);  // vornel inherits it
  std::vector<int> counts;
  for (int n : {1, 2, 4, 8}) {
    if (n == 1 || n <= most) counts.push_back(n);
  }
  CpuGroups groups;
  if (std::string why; geteuid() != 0 || !fs::exists(kCpuRoot / "cpu.cfs_quota_us") || !groups.Make(8, quota, &why)) {
    std::printf("scaling bench not run: it needs root and the cgroup v1 cpu controller at %s%s%s\n", kCpuRoot.c_str(),
                why.empty() ? "" : "; ", why.c_str());
    return 0;
  }
  std::printf("scene 1 at %d x %d; each node held to %d us of CPU per 100000 us; %d repeats\n", width, height, quota,
              repeats);
  // A loaded machine may give the nodes less than their quota: the share
  // they got tells a farm held back by the machine from one held back by
  // its own work.
  std::printf("%6s %6s %10s %9s %7s %9s %10s\n", "repeat", "nodes", "seconds", "speedup", "goal", "node cpu",
              "of quota");
  std::map<int, std::vector<double>> speedups, shares;
  for (int r = 1; r <= repeats; ++r) {
    double one = 0;
    for (int n : counts) {
      double cpu = 0;
      const double seconds = FarmSeconds(groups, n, width, height, trace, &cpu);
      if (seconds < 0) return 1;
      if (n == 1) one = seconds;
      const double goal = 0.9 * n * height / (height + 20.0 * (n - 1));
      speedups[n].push_back(one / seconds);
      const double share = cpu / (n * seconds * quota / 100000.0);
      std::printf("%6d %6d %10.2f %9.2f %7.2f %9.2f %9.0f%%\n", r, n, seconds, one / seconds, goal, cpu, 100 * share);
      shares[n].push_back(100 * share);
      std::fflush(stdout);
    }
  }
  std::printf("speedup over 1 node:\n");
  for (int n : counts) {
    const double goal = 0.9 * n * height / (height + 20.0 * (n - 1));
    const std::string name = std::to_string(n) + " nodes (goal " + std::to_string(goal).substr(0, 4) + ")";
    benchfarm::PrintSpread(name.c_str(), speedups[n]);
  }
  if (!groups.counted()) return 0;
  std::printf("CPU the nodes got, in %% of their quota over the job's wall time:\n");
  for (int n : counts) benchfarm::PrintSpread((std::to_string(n) + " nodes").c_str(), shares[n]);
  return 0;
}
