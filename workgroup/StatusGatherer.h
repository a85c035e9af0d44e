#pragma once
#include <omniORB4/CORBA.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "workgroup/StatusBoard.h"

namespace workgroup {

// Asks every node the server has known what it does, all at once every
// kPeriod, and hands the answers to the board, which it then publishes.
// A node that announces "status" (a Lumora::StatusFarmer) answers its whole
// state; any other only whether it is idle. Each call has a time limit of
// kProbeTimeoutMs and the pass waits for no probe longer: a node still
// silent then counts as unreachable, and is not asked again until its
// probe has returned, so a frozen node ties up one thread at most.
//
// Track and AddLine from any thread (the ORB's); the mutex guards the
// nodes and the lines. The pass runs on its own thread, from Start until
// Stop (or destruction).
class StatusGatherer {
 public:
  static constexpr std::chrono::milliseconds kPeriod{500};
  static constexpr CORBA::ULong kProbeTimeoutMs = 700;

  using Line = std::function<std::vector<std::string>()>;

  // `orb` names the nodes by their references' text.
  StatusGatherer(CORBA::ORB_ptr orb, std::shared_ptr<StatusBoard> board);
  ~StatusGatherer();
  StatusGatherer(const StatusGatherer&) = delete;
  StatusGatherer& operator=(const StatusGatherer&) = delete;

  // Asks `farmer` from the next pass on; a farmer known already stays as it is.
  void Track(Kintra::Farmer_ptr farmer);
  // A work group's line of waiting jobs (their bosses' reference texts);
  // `line` must stay callable until Stop.
  void AddLine(Line line);

  void Start();
  void Stop();

  // One node as a pass probes it (defined with the passes).
  struct Target;

 private:
  void Loop();
  void Pass();

  CORBA::ORB_var orb_;
  const std::shared_ptr<StatusBoard> board_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::map<std::string, std::shared_ptr<Target>> targets_;
  std::vector<Line> lines_;
  std::thread thread_;
};

}  // namespace workgroup
