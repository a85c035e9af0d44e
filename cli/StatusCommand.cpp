#include "cli/StatusCommand.h"

#include <omniORB4/CORBA.h>
#include <omniORB4/omniORB.h>

#include <cmath>
#include <cstdio>
#include <ctime>

#include "Kintra.hh"
#include "Lumora.hh"
#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "registry/NameBinding.h"
#include "registry/RegistryClient.h"

namespace cli {

using nlohmann::json;

bool ParseStatusCommand(const std::vector<std::string>& args, StatusCommand* command, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      command->json = true;
    } else if (args[i].rfind("-ORB", 0) == 0) {
      ++i;  // the ORB's, with its value
    } else {
      *error = "status takes only --json, not " + args[i];
      return false;
    }
  }
  return true;
}

namespace {

// A text from a node, with no control characters left to move the terminal.
std::string Clean(std::string s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return s;
}

std::string Text(const json& o, const char* key) {
  const auto it = o.find(key);
  return it != o.end() && it->is_string() ? Clean(it->get<std::string>()) : "";
}

double Number(const json& o, const char* key) {
  const auto it = o.find(key);
  return it != o.end() && it->is_number() ? it->get<double>() : 0.0;
}

std::string Int(double v) { return std::to_string(static_cast<long long>(std::llround(v))); }

std::string Duration(double seconds) {
  const long long s = std::llround(seconds);
  if (s >= 3600) return std::to_string(s / 3600) + "h" + std::to_string(s % 3600 / 60) + "m";
  if (s >= 60) return std::to_string(s / 60) + "m" + std::to_string(s % 60) + "s";
  return std::to_string(s) + "s";
}

std::string Clock(double since) {
  if (since <= 0) return "";
  const std::time_t t = static_cast<std::time_t>(since);
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string Percent(double done, double total) { return total > 0 ? Int(100.0 * done / total) + "%" : ""; }

std::string Pad(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s + " ";
}

std::string NodeLine(const json& n) {
  const json s = n.contains("status") && n["status"].is_object() ? n["status"] : json::object();
  std::string host = Text(s, "host");
  if (host.empty()) host = Text(n, "address");
  const std::string state = Text(n, "state");
  std::string line = Pad(host, 16) + Pad(state, 12);
  if (state == "busy" && s.value("busy", false)) {
    line += Pad(Text(s, "controller") + " " + Int(Number(s, "width")) + "x" + Int(Number(s, "height")) + " band " +
                    Int(Number(s, "band")) + "/" + Int(Number(s, "bandCount")) +
                    (Number(s, "frame") > 0 ? " frame " + Int(Number(s, "frame")) : ""),
                34);
    line += Pad(Int(Number(s, "rowsDone")) + "/" + Int(Number(s, "rowsAsked")) + " " +
                    Percent(Number(s, "rowsDone"), Number(s, "rowsAsked")),
                16);
    char usage[48];
    std::snprintf(usage, sizeof usage, "%.1fs %.0fMB", Number(s, "cpuSeconds"), Number(s, "memoryMb"));
    line += Pad(usage, 14) + Pad(Clock(Number(s, "busySince")), 9);
  } else {
    line += Pad("", 34) + Pad("", 16) + Pad("", 14) + Pad("", 9);
  }
  return line + Text(s, "folder");
}

std::string JobLine(const json& j, bool ended) {
  std::string line = Pad(Int(Number(j, "id")), 4) + Pad(Text(j, "controller"), 16) + Pad(Text(j, "state"), 11) +
                     Pad(Int(Number(j, "width")) + "x" + Int(Number(j, "height")), 10) +
                     Pad(Int(Number(j, "bandsDone")) + "/" + Int(Number(j, "bandsTotal")), 6) +
                     Pad(Int(Number(j, "rowsDone")) + "/" + Int(Number(j, "rowsTotal")) + " " +
                             Percent(Number(j, "rowsDone"), Number(j, "rowsTotal")),
                         16);
  if (ended) {
    line += Pad(Duration(Number(j, "elapsedSeconds")), 9);
  } else {
    line +=
        Pad(j.contains("secondsLeft") && j["secondsLeft"].is_number() ? Duration(Number(j, "secondsLeft")) : "?", 9);
  }
  if (j.contains("failures") && j["failures"].is_array()) {
    for (const json& f : j["failures"]) {
      if (f.is_string()) line += "\n      failed: " + Clean(f.get<std::string>());
    }
  }
  return line;
}

const json& Array(const json& snapshot, const char* key) {
  static const json kEmpty = json::array();
  const auto it = snapshot.find(key);
  return it != snapshot.end() && it->is_array() ? *it : kEmpty;
}

}  // namespace

std::string FormatStatusTable(const json& snapshot) {
  std::string out = Pad("NODE", 16) + Pad("STATE", 12) + Pad("JOB", 34) + Pad("ROWS", 16) + Pad("CPU/MEMORY", 14) +
                    Pad("SINCE", 9) + "FOLDER\n";
  const json& nodes = Array(snapshot, "nodes");
  for (const json& n : nodes) out += NodeLine(n) + "\n";
  if (nodes.empty()) out += "(no nodes)\n";
  const std::string jobHead =
      Pad("JOB", 4) + Pad("CONTROLLER", 16) + Pad("STATE", 11) + Pad("PICTURE", 10) + Pad("BANDS", 6) + Pad("ROWS", 16);
  if (!Array(snapshot, "jobs").empty()) {
    out += "\n" + jobHead + "LEFT\n";
    for (const json& j : Array(snapshot, "jobs")) out += JobLine(j, false) + "\n";
  }
  if (!Array(snapshot, "waiting").empty()) {
    out += "\nwaiting for nodes:";
    for (const json& w : Array(snapshot, "waiting")) {
      out += " " + Int(Number(w, "position")) + ". " + Text(w, "controller") +
             (w.contains("job") && w["job"].is_number() ? " (job " + Int(Number(w, "job")) + ")" : "");
    }
    out += "\n";
  }
  if (!Array(snapshot, "history").empty()) {
    out += "\nlast jobs:\n" + jobHead + "TIME\n";
    for (const json& j : Array(snapshot, "history")) out += JobLine(j, true) + "\n";
  }
  return out;
}

namespace {

// The farm's JSON from the work group server; throws what the ORB raises, or
// std::runtime_error with the reason.
std::string AskServer(int argc, char** argv) {
  farm::StartedOrb started = farm::StartOrb(std::vector<std::string>(argv, argv + argc), farm::OrbRole::kClientOnly);
  CORBA::Object_var found;
  try {
    found = registry::resolve_initial_references2(started.orb.in(), farm::kWorkGroupService, 0);
  } catch (const CORBA::OBJECT_NOT_EXIST&) {
    throw std::runtime_error(std::string("no workgroup server is published as \"") + farm::kWorkGroupService +
                             "\" in the name registry");
  } catch (const CORBA::TRANSIENT&) {
    const platform::StatusOr<registry::RegistryAddress> address = registry::RegistryAddressFromEnvironment();
    throw std::runtime_error("no name registry answered" +
                             (address ? " at " + registry::Describe(*address) : std::string()) +
                             " (LEDGO_HOST, LEDGO_PORT)");
  }
  Kintra::WorkGropRegiste_var registrar = Kintra::WorkGropRegiste::_unchecked_narrow(found.in());
  omniORB::setClientCallTimeout(registrar.in(), 1200);
  Kintra::WorkGroup_var group = registrar->CreateWorkGroup(farm::kWorkGroupName);
  if (CORBA::is_nil(group.in())) throw std::runtime_error("the workgroup server has no work group");
  omniORB::setClientCallTimeout(group.in(), 1200);
  if (!group->_is_a("IDL:Lumora/FarmBoard:1.0")) {
    throw std::runtime_error("the workgroup server shows no status (a kintrahub without the operator's view)");
  }
  Lumora::FarmBoard_var board = Lumora::FarmBoard::_unchecked_narrow(group.in());
  omniORB::setClientCallTimeout(board.in(), 1200);
  CORBA::String_var text = board->FarmStatus();
  return text.in();
}

}  // namespace

int RunStatus(const StatusCommand& command, int argc, char** argv) {
  std::string text;
  try {
    text = AskServer(argc, argv);
  } catch (const CORBA::Exception& e) {
    std::fprintf(stderr, "lumora: the workgroup server could not be reached (%s)\n", farm::Describe(e).c_str());
    return 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora: %s\n", e.what());
    return 3;
  }
  if (command.json) {
    std::printf("%s\n", text.c_str());
    return 0;
  }
  const json snapshot = json::parse(text, nullptr, false);
  if (snapshot.is_discarded()) {
    std::fprintf(stderr, "lumora: the workgroup server answered no JSON\n");
    return 3;
  }
  std::fputs(FormatStatusTable(snapshot).c_str(), stdout);
  return 0;
}

}  // namespace cli
