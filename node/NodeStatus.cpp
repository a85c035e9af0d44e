#include "node/NodeStatus.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "idl/NodeState.h"
#include "platform/ProgramInfo.h"

namespace node {

namespace fs = std::filesystem;

namespace {

// The fields of /proc/PID/stat after the command's name, from the state on.
std::vector<std::string> StatFields(const fs::path& stat) {
  std::ifstream in(stat);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream rest(text.substr(close + 1));
  return {std::istream_iterator<std::string>(rest), std::istream_iterator<std::string>()};
}

std::string Renderer(const fs::path& folder) {
  const fs::path rows = folder / "povray-rows";
  if (access(rows.c_str(), X_OK) == 0) return "povray-rows";
  return "povray (preview tap)";
}

}  // namespace

GroupUsage UsageOfGroup(pid_t group, const fs::path& proc) {
  GroupUsage usage;
  if (group <= 0) return usage;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(proc, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    // state ppid pgrp ... utime (11) stime (12) ... rss (21)
    const std::vector<std::string> f = StatFields(entry.path() / "stat");
    if (f.size() < 22 || f[2] != std::to_string(group)) continue;
    usage.cpuSeconds += (std::stod(f[11]) + std::stod(f[12])) / tick;
    usage.memoryMb += std::stod(f[21]) * page / (1024.0 * 1024.0);
  }
  return usage;
}

NodeStatus::NodeStatus(fs::path nodeFolder, fs::path proc)
    : folder_(std::move(nodeFolder)), proc_(std::move(proc)), renderer_(Renderer(folder_)) {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0) host_ = name;
}

farm::NodeState NodeStatus::Read(const RenderNode::Activity& now) const {
  farm::NodeState state;
  state.folder = folder_.string();
  state.host = host_;
  state.version = platform::kFarmVersion;
  state.renderer = renderer_;
  state.busy = now.busy;
  if (!now.holder.empty()) state.controller = farm::HostOfReference(now.holder).value_or("");
  if (!now.busy) return state;
  const farm::JobParameters& job = now.job;
  state.width = job.width;
  state.height = job.height;
  state.band = job.part;
  state.bandCount = job.partCount;
  state.firstRow = job.rows.first;
  state.lastRow = job.rows.last;
  state.frame = job.rows.frame.value_or(0);
  state.rowsAsked = job.rows.rows();
  state.busySince = std::chrono::duration<double>(now.busySince.time_since_epoch()).count();
  const fs::path progress = folder_ / farm::kBandProgressFile;
  std::error_code ec;
  const fs::file_time_type written = fs::last_write_time(progress, ec);
  const auto since = std::chrono::file_clock::from_sys(now.busySince);
  if (!ec && written >= since) {
    std::ifstream in(progress);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::int32_t done = 0, asked = 0;
    if (farm::DecodeBandProgress(text, &done, &asked)) state.rowsDone = std::min(done, state.rowsAsked);
  }
  const GroupUsage usage = UsageOfGroup(now.engine, proc_);
  state.cpuSeconds = usage.cpuSeconds;
  state.memoryMb = usage.memoryMb;
  return state;
}

}  // namespace node
