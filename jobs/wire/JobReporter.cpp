#include "jobs/wire/JobReporter.h"

#include <omniORB4/omniORB.h>
#include <unistd.h>

#include <system_error>

#include "idl/OrbInit.h"

namespace jobs {

JobReporter::JobReporter(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, std::function<JobNewsData()> read)
    : group_(Kintra::WorkGroup::_duplicate(group)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      read_(std::move(read)) {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0) controller_ = name;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // no thread: no reports
  }
}

JobReporter::~JobReporter() {
  // Ended without Finish: the dispatch failed on the way.
  JobNewsData last = read_();
  last.state = "failed";
  Finish(last);
}

void JobReporter::Finish(const JobNewsData& last) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return;
    last_ = last;
    finished_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void JobReporter::Send(Lumora::FarmBoard_ptr board, const JobNewsData& news) {
  Lumora::JobNews wire;
  wire.controller = controller_.c_str();
  wire.width = news.width;
  wire.height = news.height;
  wire.bandsDone = news.bandsDone;
  wire.bandsTotal = news.bandsTotal;
  wire.rowsDone = news.rowsDone;
  wire.rowsTotal = news.rowsTotal;
  wire.elapsedSeconds = news.elapsedSeconds;
  wire.state = news.state.c_str();
  wire.failures.length(static_cast<CORBA::ULong>(news.failures.size()));
  for (CORBA::ULong i = 0; i < wire.failures.length(); ++i) wire.failures[i] = news.failures[i].c_str();
  try {
    board->JobReport(boss_.in(), wire);
  } catch (...) {
    // lost: the next report says it again
  }
}

void JobReporter::Run() {
  Lumora::FarmBoard_var board;
  try {
    // A reference of its own: the dispatch's keeps its own time limit.
    int argc = 0;
    CORBA::ORB_var orb = farm::InitOrb(argc, nullptr);  // the job's, running
    CORBA::Object_var copy = orb->string_to_object(farm::ObjectToString(orb.in(), group_.in()).c_str());
    omniORB::setClientCallTimeout(copy.in(), kCallTimeoutMs);
    if (copy->_is_a("IDL:Lumora/FarmBoard:1.0")) board = Lumora::FarmBoard::_unchecked_narrow(copy.in());
  } catch (...) {
    return;  // no answer: no reports
  }
  if (CORBA::is_nil(board.in())) return;
  omniORB::setClientCallTimeout(board.in(), kCallTimeoutMs);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!finished_) {
    lock.unlock();
    Send(board.in(), read_());
    lock.lock();
    wake_.wait_for(lock, kPeriod, [this] { return finished_; });
  }
  const JobNewsData last = last_;
  lock.unlock();
  if (!last.state.empty()) Send(board.in(), last);
}

}  // namespace jobs
