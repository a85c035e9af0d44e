#pragma once
#include <functional>
#include <string>
#include <vector>

// tessel's start-up: the ORB from the command line, the node's farmer in the
// farm's work group, the watcher that keeps it there, and the ORB loop.
namespace node {

// Run is called once, from one thread; `say` is called from the node's other
// threads too (worker, watcher, ORB), so it must be safe from any thread.
class NodeServer {
 public:
  // One line for the node's log.
  using Say = std::function<void(const std::string&)>;

  // Keeps a copy of the arguments; the ORB takes its options from them.
  NodeServer(int argc, char** argv, Say say);
  NodeServer(const NodeServer&) = delete;
  NodeServer& operator=(const NodeServer&) = delete;

  // Serves from the folder of the executable until `waitForEnd` returns (it
  // is called on a thread of its own), then shuts the ORB down and ends the
  // process with status 0 without returning. When there is nothing to serve
  // (the ORB does not start, the farmer cannot be activated) it says why,
  // waits for `waitForEnd` on the calling thread and answers 0. The node
  // joins the work group whenever the name registry and the workgroup
  // server appear, saying meanwhile what it waits for (GroupMembership).
  int Run(const std::function<void()>& waitForEnd);

 private:
  std::vector<std::string> args_;
  Say say_;
};

}  // namespace node
