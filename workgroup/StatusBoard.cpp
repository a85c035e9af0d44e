#include "workgroup/StatusBoard.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace workgroup {

using nlohmann::json;

namespace {

double Seconds(StatusBoard::Clock::time_point t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

json StateJson(const farm::NodeState& s) {
  return json{
      {"busy", s.busy},         {"controller", s.controller}, {"width", s.width},         {"height", s.height},
      {"band", s.band},         {"bandCount", s.bandCount},   {"firstRow", s.firstRow},   {"lastRow", s.lastRow},
      {"frame", s.frame},       {"rowsDone", s.rowsDone},     {"rowsAsked", s.rowsAsked}, {"cpuSeconds", s.cpuSeconds},
      {"memoryMb", s.memoryMb}, {"busySince", s.busySince},   {"folder", s.folder},       {"host", s.host},
      {"version", s.version},   {"renderer", s.renderer}};
}

// Seconds left at the rate so far; null until a row arrived.
json SecondsLeft(const JobReport& r) {
  if (r.rowsDone <= 0 || r.rowsTotal <= r.rowsDone || r.elapsedSeconds <= 0) {
    return r.rowsTotal > 0 && r.rowsDone >= r.rowsTotal ? json(0.0) : json(nullptr);
  }
  return r.elapsedSeconds * (r.rowsTotal - r.rowsDone) / r.rowsDone;
}

bool Ended(const std::string& state) { return state != "waiting" && state != "running"; }

// Inside JSON strings only: every < > & of the text is in one.
std::string SafeForPage(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

void StatusBoard::NodeAnswered(const std::string& key, const std::string& address, std::optional<farm::NodeState> state,
                               bool idle, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, added] = nodes_.try_emplace(key);
  Node& node = it->second;
  if (added) node.firstSeen = now;
  node.address = address;
  node.reachable = true;
  node.idle = state ? !state->busy : idle;
  node.state = std::move(state);
  node.lastAnswer = now;
}

void StatusBoard::NodeSilent(const std::string& key, const std::string& address, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, added] = nodes_.try_emplace(key);
  if (added) {
    it->second.firstSeen = now;
    it->second.address = address;
  }
  it->second.reachable = false;
}

std::vector<std::string> StatusBoard::Prune(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> gone;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    const Clock::time_point heard = std::max(it->second.lastAnswer, it->second.firstSeen);
    if (!it->second.reachable && now - heard > kUnreachableKept) {
      gone.push_back(it->first);
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    auto next = std::next(it);
    if (now - it->second.lastNews > kJobSilence) {
      it->second.report.state = "lost";
      EndJobLocked(it);
    }
    it = next;
  }
  return gone;
}

void StatusBoard::JobReported(const std::string& key, const JobReport& report, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (jobs_.count(key) == 0 && jobs_.size() >= kMostJobs) return;
  auto [it, added] = jobs_.try_emplace(key);
  if (added) {
    it->second.id = nextJob_++;
    it->second.started = now;
  }
  it->second.report = report;
  std::vector<std::string>& failures = it->second.report.failures;
  if (failures.size() > kMostFailures) failures.erase(failures.begin(), failures.end() - kMostFailures);
  it->second.lastNews = now;
  if (Ended(report.state)) EndJobLocked(it);
}

void StatusBoard::EndJobLocked(std::map<std::string, Job>::iterator job) {
  history_.insert(history_.begin(), job->second);
  if (history_.size() > kHistory) history_.resize(kHistory);
  jobs_.erase(job);
}

namespace {

json JobJson(int id, const JobReport& r, double started) {
  return json{{"id", id},
              {"controller", r.controller},
              {"state", r.state},
              {"width", r.width},
              {"height", r.height},
              {"bandsDone", r.bandsDone},
              {"bandsTotal", r.bandsTotal},
              {"rowsDone", r.rowsDone},
              {"rowsTotal", r.rowsTotal},
              {"elapsedSeconds", r.elapsedSeconds},
              {"secondsLeft", SecondsLeft(r)},
              {"started", started},
              {"failures", r.failures}};
}

}  // namespace

void StatusBoard::Publish(const std::vector<std::string>& line, Clock::time_point now) {
  json snapshot{{"time", Seconds(now)},
                {"nodes", json::array()},
                {"jobs", json::array()},
                {"waiting", json::array()},
                {"history", json::array()}};
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [key, n] : nodes_) {
    json node{
        {"address", n.address},
        {"state", !n.reachable ? "unreachable"
                  : n.idle     ? "idle"
                               : "busy"},
        {"lastAnswer", n.lastAnswer.time_since_epoch().count() == 0 ? json(nullptr) : json(Seconds(n.lastAnswer))},
        {"status", n.state ? StateJson(*n.state) : json(nullptr)}};
    snapshot["nodes"].push_back(std::move(node));
  }
  for (const auto& [key, j] : jobs_) snapshot["jobs"].push_back(JobJson(j.id, j.report, Seconds(j.started)));
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto job = jobs_.find(line[i]);
    snapshot["waiting"].push_back(json{{"position", i + 1},
                                       {"controller", farm::HostOfReference(line[i]).value_or("")},
                                       {"job", job == jobs_.end() ? json(nullptr) : json(job->second.id)}});
  }
  for (const Job& j : history_) snapshot["history"].push_back(JobJson(j.id, j.report, Seconds(j.started)));
  // Text from nodes and controllers may hold anything: invalid UTF-8 is
  // replaced rather than refused.
  latest_ =
      std::make_shared<const std::string>(SafeForPage(snapshot.dump(-1, ' ', false, json::error_handler_t::replace)));
}

std::shared_ptr<const std::string> StatusBoard::Latest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return latest_;
}

}  // namespace workgroup
