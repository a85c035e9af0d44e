#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>

#include "idl/NodeState.h"
#include "node/RenderNode.h"

namespace node {

// CPU time and resident memory of every process in one process group.
struct GroupUsage {
  double cpuSeconds = 0;
  double memoryMb = 0;
};
// Read from `proc` (procfs); processes that end meanwhile count nothing.
GroupUsage UsageOfGroup(pid_t group, const std::filesystem::path& proc = "/proc");

// Builds the node's state for the operator's view from what the node does,
// the engine's progress file and procfs. Rows done are read from the
// progress file only when it was written since the band began (a left-over
// one from an earlier band counts nothing).
//
// Any thread: it keeps nothing that changes after construction.
class NodeStatus {
 public:
  NodeStatus(std::filesystem::path nodeFolder, std::filesystem::path proc = "/proc");

  farm::NodeState Read(const RenderNode::Activity& now) const;

 private:
  const std::filesystem::path folder_;
  const std::filesystem::path proc_;
  std::string host_;
  std::string renderer_;
};

}  // namespace node
