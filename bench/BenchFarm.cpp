#include "bench/BenchFarm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "Kintra.hh"
#include "idl/WellKnownNames.h"
#include "registry/NameBinding.h"

namespace benchfarm {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

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

bool WaitForNodes(CORBA::ORB_ptr orb, int nodes, std::chrono::seconds limit) {
  if (farmtest::WaitUntil([&] { return Farmers(orb) == nodes; }, limit, std::chrono::milliseconds(200))) return true;
  std::fprintf(stderr, "only %d of %d nodes registered\n", Farmers(orb), nodes);
  return false;
}

bool StartServers(farmtest::Farm& farm, CORBA::ORB_ptr orb) {
  if (farm.StartRegistry() && farm.StartWorkgroup(orb)) return true;
  std::fprintf(stderr, "the registry or the workgroup server did not start\n");
  return false;
}

std::filesystem::path ClientFolder(farmtest::Farm& farm) {
  const std::filesystem::path client = farm.MakeNodeFolder();
  if (std::string why; !farm.UseClassesOf(client, &why)) {
    std::fprintf(stderr, "farmreg failed:\n%s\n", why.c_str());
    return {};
  }
  return client;
}

std::vector<std::string> VornelCommand(farmtest::Farm& farm, const std::filesystem::path& client, int scene, int width,
                                       int height, const std::string& out) {
  return {(client / "vornel").string(),
          "--scene",
          std::to_string(scene),
          "--quiet",
          "--out",
          (farm.TmpDir() / (out + ".png")).string(),
          "--width",
          std::to_string(width),
          "--height",
          std::to_string(height)};
}

double Timed(farmtest::Farm& farm, const std::vector<std::string>& argv, const std::string& name, std::string* output) {
  const auto start = Clock::now();
  farmtest::Process* p = farm.StartProgram(argv, name);
  const auto rc = p ? p->WaitExit(std::chrono::hours(1)) : std::nullopt;
  const double seconds = Seconds(Clock::now() - start);
  if (output != nullptr) *output = p ? p->Output() : "";
  if (rc != 0) {
    std::fprintf(stderr, "%s failed:\n%s\n", name.c_str(), p ? p->Output().c_str() : "");
    return -1;
  }
  return seconds;
}

void PrintBandTrace(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("band trace: ") != std::string::npos) std::printf("    %s\n", line.c_str());
  }
}

void PrintSpread(const char* name, std::vector<double> values) {
  if (values.empty()) return;
  std::sort(values.begin(), values.end());
  std::printf("  %-28s median %7.2f  min %7.2f  max %7.2f\n", name, values[values.size() / 2], values.front(),
              values.back());
}

bool HaveBinDir() {
  if (std::getenv("FARM_BIN_DIR") != nullptr) return true;
  std::fprintf(stderr, "set FARM_BIN_DIR to the build's bin/ folder\n");
  return false;
}

}  // namespace benchfarm
