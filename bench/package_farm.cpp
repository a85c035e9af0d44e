// A package crosses each link once: four jobs in a row of the same scene,
// whose folder holds 48 MB of data that does not compress, on a local farm
// of four nodes. Each `lumora render` prints what its hand-outs sent; the
// bench adds it up per job and in all.
//
//   package_farm_bench [--megabytes M] [--jobs N] [--nodes K]
//
// Needs FARM_BIN_DIR (the build's bin/).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchFarm.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace {

using namespace std::chrono_literals;

// A scene folder: a small picture and `megabytes` of random bytes beside it.
std::filesystem::path MakeScene(const std::filesystem::path& root, int megabytes) {
  const std::filesystem::path folder = root / "big scene";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "scene.pov") << "camera { location <0, 1, -4> look_at 0 }\n"
                                         "light_source { <5, 5, -5> rgb 1 }\n"
                                         "sphere { 0, 1 pigment { rgb <1, 0.5, 0.2> } }\n";
  std::mt19937_64 random(7);
  std::ofstream data(folder / "data.bin", std::ios::binary);
  std::vector<std::uint64_t> block(1 << 14);
  for (int m = 0; m < megabytes * 8; ++m) {
    for (std::uint64_t& word : block) word = random();
    data.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
  return folder / "scene.pov";
}

}  // namespace

int main(int argc, char** argv) {
  int megabytes = 48, jobs = 4, nodes = 4;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--megabytes") megabytes = v;
    if (a == "--jobs") jobs = v;
    if (a == "--nodes") nodes = v;
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
  for (int i = 0; i < nodes; ++i) farm.StartNode(farm.MakeNodeFolder());
  if (!benchfarm::WaitForNodes(orb.orb(), nodes, 30s)) {
    return 1;
  }
  const std::filesystem::path client = farm.MakeNodeFolder();
  if (std::string why; !farm.UseClassesOf(client, &why)) {
    std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
    return 1;
  }
  const std::filesystem::path scene = MakeScene(farm.TmpDir(), megabytes);
  std::printf("%d jobs of one scene with %d MB of data, %d nodes\n", jobs, megabytes, nodes);
  std::printf("%4s %8s %8s %14s %8s\n", "job", "sent to", "held by", "bytes sent", "seconds");
  long long total = 0;
  int sentTotal = 0;
  for (int j = 1; j <= jobs; ++j) {
    const auto start = std::chrono::steady_clock::now();
    farmtest::Process* p = farm.StartProgram({(client / "lumora").string(), "render", scene.string(), "+W160", "+H120",
                                              "--out", (farm.TmpDir() / "out.png").string()},
                                             "lumora");
    const auto rc = p ? p->WaitExit(10min) : std::nullopt;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string out = p ? p->Output() : "";
    int sent = -1, held = -1;
    long long bytes = -1;
    const std::size_t at = out.find("package: sent to ");
    if (rc != 0 || at == std::string::npos ||
        std::sscanf(out.c_str() + at, "package: sent to %d node(s), %lld bytes; already held by %d", &sent, &bytes,
                    &held) != 3) {
      std::fprintf(stderr, "job %d failed:\n%s\n", j, out.c_str());
      return 1;
    }
    total += bytes;
    sentTotal += sent;
    std::printf("%4d %8d %8d %14lld %8.2f\n", j, sent, held, bytes, seconds);
  }
  std::printf("in all: %d packages, %lld bytes (%.2f packages per node)\n", sentTotal, total,
              static_cast<double>(sentTotal) / nodes);
  return sentTotal == nodes ? 0 : 1;
}
