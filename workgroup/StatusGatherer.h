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
// state; any other only whether it is idle. A pass waits kAnswerWithin for
// the answers: a node still silent then counts as unreachable, and is not
// asked again until its probe has returned, so a frozen node ties up one
// thread at most. The calls themselves keep the work group's own time
// limit (WorkGroup_i::kFarmerCallTimeoutMs): the ORB ends every call on a
// connection whose call timed out, and a shorter limit here would cut
// short the work group's own probes of a node that is only slow.
//
// Track and AddLine from any thread (the ORB's); the mutex guards the
// nodes and the lines. The pass runs on its own thread, from Start until
// Stop (or destruction).
class StatusGatherer {
 public:
  static constexpr std::chrono::milliseconds kPeriod{500};
  static constexpr std::chrono::milliseconds kAnswerWithin{700};

  // `callTimeoutMs` limits every call on a node.
  StatusGatherer(CORBA::ORB_ptr orb, std::shared_ptr<StatusBoard> board, CORBA::ULong callTimeoutMs);

  using Line = std::function<std::vector<std::string>()>;

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
  const CORBA::ULong callTimeoutMs_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::map<std::string, std::shared_ptr<Target>> targets_;
  std::vector<Line> lines_;
  std::thread thread_;
};

}  // namespace workgroup
