#include "workgroup/StatusGatherer.h"

#include <omniORB4/omniORB.h>

#include <algorithm>
#include <optional>
#include <system_error>

#include "Lumora.hh"
#include "idl/Abilities.h"
#include "idl/OrbInit.h"

namespace workgroup {

// One node and what is known of its kind. `busy` marks a probe on its way;
// the rest is written only by that probe.
struct StatusGatherer::Target {
  Kintra::Farmer_var farmer;
  std::string address;
  std::mutex mutex;
  bool busy = false;
  bool kindKnown = false;
  Lumora::StatusFarmer_var status;  // nil: a node without the status ability
};

namespace {

farm::NodeState FromWire(const Lumora::NodeStatus& s) {
  farm::NodeState out;
  out.busy = s.busy;
  out.controller = s.controller.in();
  out.width = s.width;
  out.height = s.height;
  out.band = s.band;
  out.bandCount = s.bandCount;
  out.firstRow = s.firstRow;
  out.lastRow = s.lastRow;
  out.frame = s.frame;
  out.rowsDone = s.rowsDone;
  out.rowsAsked = s.rowsAsked;
  out.cpuSeconds = s.cpuSeconds;
  out.memoryMb = s.memoryMb;
  out.busySince = s.busySince;
  out.folder = s.folder.in();
  out.host = s.host.in();
  out.version = s.version.in();
  out.renderer = s.renderer.in();
  return out;
}

// What one probe found.
struct Answer {
  bool answered = false;
  bool idle = false;
  std::optional<farm::NodeState> state;
};

// Learns once whether the node announces its state.
void LearnKind(Kintra::Farmer_ptr farmer, CORBA::ULong timeoutMs, Lumora::StatusFarmer_var* status) {
  if (!farmer->_is_a("IDL:Lumora/AbleFarmer:1.0")) return;
  Lumora::AbleFarmer_var able = Lumora::AbleFarmer::_unchecked_narrow(farmer);
  omniORB::setClientCallTimeout(able, timeoutMs);
  Lumora::AbilityList_var words = able->Abilities();
  for (CORBA::ULong i = 0; i < words->length(); ++i) {
    if (std::string(words[i].in()) != farm::kAbilityStatus) continue;
    *status = Lumora::StatusFarmer::_unchecked_narrow(farmer);
    omniORB::setClientCallTimeout(status->in(), timeoutMs);
  }
}

Answer Probe(StatusGatherer::Target& t, CORBA::ULong timeoutMs) {
  Answer answer;
  try {
    if (!t.kindKnown) {
      LearnKind(t.farmer.in(), timeoutMs, &t.status);
      t.kindKnown = true;
    }
    if (!CORBA::is_nil(t.status)) {
      Lumora::NodeStatus_var s = t.status->Status();
      answer.state = FromWire(s.in());
    } else {
      answer.idle = t.farmer->IsIdle();
    }
    answer.answered = true;
  } catch (...) {
  }
  return answer;
}

}  // namespace

StatusGatherer::StatusGatherer(CORBA::ORB_ptr orb, std::shared_ptr<StatusBoard> board, CORBA::ULong callTimeoutMs)
    : orb_(CORBA::ORB::_duplicate(orb)), board_(std::move(board)), callTimeoutMs_(callTimeoutMs) {}

StatusGatherer::~StatusGatherer() { Stop(); }

void StatusGatherer::Track(Kintra::Farmer_ptr farmer) {
  const std::string key = farm::ObjectToString(orb_.in(), farmer);
  std::lock_guard<std::mutex> lock(mutex_);
  if (targets_.count(key) != 0) return;
  auto target = std::make_shared<Target>();
  target->farmer = Kintra::Farmer::_duplicate(farmer);
  omniORB::setClientCallTimeout(target->farmer, callTimeoutMs_);
  target->address = farm::HostOfReference(key).value_or("?");
  targets_.emplace(key, std::move(target));
}

void StatusGatherer::AddLine(Line line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(std::move(line));
}

void StatusGatherer::Start() {
  thread_ = std::thread([this] { Loop(); });
}

void StatusGatherer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StatusGatherer::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    const auto start = std::chrono::steady_clock::now();
    lock.unlock();
    Pass();
    lock.lock();
    wake_.wait_until(lock, start + kPeriod, [this] { return stop_; });
  }
}

void StatusGatherer::Pass() {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::size_t pending = 0;
    std::map<std::string, Answer> answers;
  };
  auto shared = std::make_shared<Shared>();
  std::vector<std::pair<std::string, std::shared_ptr<Target>>> targets;
  std::vector<Line> lines;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    targets.assign(targets_.begin(), targets_.end());
    lines = lines_;
  }
  for (auto& [key, target] : targets) {
    {
      std::lock_guard<std::mutex> lock(target->mutex);
      if (target->busy) continue;  // still on its last probe: silent
      target->busy = true;
    }
    auto run = [shared, key = key, target = target, timeoutMs = callTimeoutMs_] {
      const Answer answer = Probe(*target, timeoutMs);
      {
        std::lock_guard<std::mutex> lock(target->mutex);
        target->busy = false;
      }
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->answers[key] = answer;
      if (--shared->pending == 0) shared->done.notify_all();
    };
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      ++shared->pending;
    }
    try {
      std::thread(run).detach();
    } catch (const std::system_error&) {
      run();
    }
  }
  std::map<std::string, Answer> answers;
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->done.wait_for(lock, kAnswerWithin, [&] { return shared->pending == 0; });
    answers = shared->answers;
  }
  const auto now = StatusBoard::Clock::now();
  for (const auto& [key, target] : targets) {
    const auto it = answers.find(key);
    if (it != answers.end() && it->second.answered) {
      board_->NodeAnswered(key, target->address, it->second.state, it->second.idle, now);
    } else {
      board_->NodeSilent(key, target->address, now);
    }
  }
  const std::vector<std::string> gone = board_->Prune(now);
  if (!gone.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& key : gone) targets_.erase(key);
  }
  std::vector<std::string> waiting;
  for (const Line& line : lines) {
    const std::vector<std::string> jobs = line();
    waiting.insert(waiting.end(), jobs.begin(), jobs.end());
  }
  board_->Publish(waiting, now);
}

}  // namespace workgroup
