#pragma once
// What the farm benches share: starting a local farm's servers and nodes,
// a client folder, timing a program run, and printing a spread.
#include <omniORB4/CORBA.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Farm.h"

namespace benchfarm {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d);

// The farmers the work group lists now; -1 when the server cannot be asked.
int Farmers(CORBA::ORB_ptr orb);

// Waits up to `limit` until `nodes` farmers are listed; false, said on
// stderr, when they are not.
bool WaitForNodes(CORBA::ORB_ptr orb, int nodes, std::chrono::seconds limit = std::chrono::seconds(60));

// Starts the registry and the workgroup server; false, said on stderr,
// when one did not start.
bool StartServers(farmtest::Farm& farm, CORBA::ORB_ptr orb);

// A node folder whose copy of vornel renders on the farm; empty, said on
// stderr, when its classes could not be registered.
std::filesystem::path ClientFolder(farmtest::Farm& farm);

// vornel of `client` rendering demonstration scene `scene` at width x height
// into TmpDir()/<out>.png, quietly.
std::vector<std::string> VornelCommand(farmtest::Farm& farm, const std::filesystem::path& client, int scene, int width,
                                       int height, const std::string& out);

// Wall seconds of one program run to its end; negative, with its output
// on stderr, when it failed. `output`, if given, receives what it printed.
double Timed(farmtest::Farm& farm, const std::vector<std::string>& argv, const std::string& name,
             std::string* output = nullptr);

// Prints, indented, the controller's band timeline lines of `output` (a
// vornel run with LUMORA_BAND_TRACE set).
void PrintBandTrace(const std::string& output);

// One line: `name`, then the median, lowest and highest of `values`.
void PrintSpread(const char* name, std::vector<double> values);

// FARM_BIN_DIR must name the build's bin/; false, said on stderr, when unset.
bool HaveBinDir();

}  // namespace benchfarm
