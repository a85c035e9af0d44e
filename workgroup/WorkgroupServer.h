#pragma once
#include <omniORB4/CORBA.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "workgroup/StatusBoard.h"

namespace workgroup {

// The workgroup server's service thread: starts the ORB from the command
// line, serves the work group registry under the fixed identity
// kWorkGroupService in a persistent POA (so its reference survives restarts on
// the same endpoint), keeps it published in the name registry (waiting for
// the registry when it is not there yet, publishing again after it
// restarts) and runs the ORB until Stop(). Any failure on the way shows the message "error" and ends
// the thread.
//
// Start and Join from the owner's thread; Stop from any: a mutex guards the ORB.
class WorkgroupServer {
 public:
  // Keeps a copy of the arguments; the ORB takes its options from them.
  // The farm's status goes to `board` (a board of its own when null).
  WorkgroupServer(int argc, char** argv, std::shared_ptr<StatusBoard> board = nullptr);
  ~WorkgroupServer();
  WorkgroupServer(const WorkgroupServer&) = delete;
  WorkgroupServer& operator=(const WorkgroupServer&) = delete;

  void Start();
  // Shuts the ORB down without waiting for requests in progress; the
  // service thread then cleans up and ends. Safe from any thread, also
  // before the ORB exists.
  void Stop();
  // Waits for the service thread.
  void Join();

  // True once the service thread has ended; failed() tells whether it ended
  // through a failure rather than Stop().
  bool finished() const { return finished_; }
  bool failed() const { return failed_; }

 private:
  void Run();
  void Serve();

  std::vector<std::string> args_;
  std::shared_ptr<StatusBoard> board_;
  std::thread thread_;
  std::mutex mutex_;
  CORBA::ORB_var orb_;  // guarded by mutex_ until the thread has ended
  bool stopRequested_ = false;
  std::atomic<bool> finished_{false};
  std::atomic<bool> failed_{false};
};

}  // namespace workgroup
