#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Kintra.hh"

namespace node {

// Brings the node's farmer into the farm's work group and keeps it there.
// Until the farmer has joined, it looks every second, saying once what it
// waits for (the name registry, the workgroup server); the node may start
// before either. The workgroup server forgets a farmer that misses one
// probe, and all of them when it restarts; once joined, this watcher asks it
// every `period` whether the farmer is listed and joins again when it is
// not, so the node comes back by itself and is listed once.
//
// The owner's thread makes, starts and destroys it; the watcher thread makes the
// calls, and a mutex guards the stop flag.
class GroupMembership {
 public:
  // Finds the workgroup server's registration object afresh (it may have
  // moved); answers nil with *why set when it cannot. May raise too.
  using LookUp = std::function<CORBA::Object_ptr(std::string* why)>;
  // One line for the node's log.
  using Say = std::function<void(const std::string&)>;
  // Told once, when the first server found refuses the farmer.
  using Refused = std::function<void()>;

  // What one look found.
  enum class Look {
    kListed,        // the work group lists the farmer
    kJoined,        // it did not; the farmer was added
    kNoServer,      // no workgroup server could be found
    kServerFailed,  // one was found, but a call on it failed
  };

  GroupMembership(Kintra::Farmer_ptr self, LookUp lookUp, Say say, Refused refused, std::chrono::milliseconds period);
  ~GroupMembership();  // stops the watcher
  GroupMembership(const GroupMembership&) = delete;
  GroupMembership& operator=(const GroupMembership&) = delete;

  // Starts the watcher thread, which looks at once; its calls have a time
  // limit of `callTimeoutMs` (Look's, once started, too).
  void Start(unsigned callTimeoutMs);

  // One look: adds the farmer when the work group does not list it. *why
  // says what failed for kNoServer and kServerFailed. Never raises.
  Look LookOnce(std::string* why);

 private:
  void Run();
  // Reports one look's outcome; answers whether the farmer is in the group.
  bool Report(Look look, const std::string& why);
  Look JoinIfMissing(CORBA::Object_ptr server);

  Kintra::Farmer_var self_;
  LookUp lookUp_;
  Say say_;
  Refused refused_;
  const std::chrono::milliseconds period_;
  unsigned callTimeoutMs_ = 0;  // 0: no limit
  // Used by the watcher thread only.
  bool everJoined_ = false;
  bool refusedTold_ = false;
  std::string lastTrouble_;  // the failure last said, so it is said once
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace node
