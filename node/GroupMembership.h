#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Kintra.hh"

namespace node {

// Keeps the node's farmer in the farm's work group. The workgroup server
// forgets a farmer that misses one probe, and all of them when it
// restarts; this watcher asks it every `period` whether the farmer is
// listed and joins again when it is not, so the node comes back by itself
// and is listed once.
//
// The owner's thread makes, starts and destroys it; the watcher thread makes the
// calls, and a mutex guards the stop flag.
class GroupMembership {
 public:
  // Finds the workgroup server's registration object afresh (it may have
  // moved); raises or answers nil when it cannot.
  using LookUp = std::function<CORBA::Object_ptr()>;
  // One line for the node's log.
  using Say = std::function<void(const std::string&)>;

  GroupMembership(Kintra::Farmer_ptr self, LookUp lookUp, Say say, std::chrono::milliseconds period);
  ~GroupMembership();  // stops the watcher
  GroupMembership(const GroupMembership&) = delete;
  GroupMembership& operator=(const GroupMembership&) = delete;

  // Starts the watcher thread; its calls have a time limit of `callTimeoutMs`
  // (JoinIfMissing's, once started, too).
  void Start(unsigned callTimeoutMs);

  // One look: adds the farmer when the work group does not list it.
  // True when it was added. Raises what the calls raise.
  bool JoinIfMissing();

 private:
  void Run();

  Kintra::Farmer_var self_;
  LookUp lookUp_;
  Say say_;
  const std::chrono::milliseconds period_;
  unsigned callTimeoutMs_ = 0;  // 0: no limit
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace node
