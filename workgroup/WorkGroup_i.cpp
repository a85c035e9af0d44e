#include "workgroup/WorkGroup_i.h"

#include <omniORB4/omniORB.h>

#include "idl/OrbInit.h"

namespace workgroup {

WorkGroup_i::WorkGroup_i(std::string name, std::shared_ptr<StatusBoard> board, std::shared_ptr<StatusGatherer> gatherer)
    : name_(std::move(name)), board_(std::move(board)), gatherer_(std::move(gatherer)) {
  if (gatherer_) gatherer_->AddLine([this] { return line_.Jobs(); });
}

CORBA::Boolean WorkGroup_i::Add_Farmer(CORBA::Object_ptr& farmer) {
  if (CORBA::is_nil(farmer)) return false;
  auto entry = std::make_shared<Entry>();
  // Asks the object itself when its type is not known here; a failure of
  // that question passes on to the caller with nothing stored.
  entry->farmer = Kintra::Farmer::_narrow(farmer);
  if (CORBA::is_nil(entry->farmer)) return false;
  omniORB::setClientCallTimeout(entry->farmer, kFarmerCallTimeoutMs);
  Kintra::Farmer_var self = Kintra::Farmer::_duplicate(entry->farmer);
  farmers_.Add(std::move(entry));
  if (gatherer_) gatherer_->Track(self.in());
  CORBA::String_var id = self->ID();
  return true;
}

CORBA::Boolean WorkGroup_i::GetValidFarmer(Kintra::farmerlist& farmers) {
  auto live = farmers_.Prune(
      [](Entry& e) {
        try {
          e.farmer->IsLive();
          return true;
        } catch (...) {
          return false;
        }
      },
      std::chrono::milliseconds(kFarmerCallTimeoutMs));
  farmers.length(static_cast<CORBA::ULong>(live.size()));
  for (CORBA::ULong i = 0; i < farmers.length(); ++i) {
    farmers[i] = Kintra::Farmer::_duplicate(live[i]->farmer);
  }
  return true;
}

namespace {

std::string JobKey(CORBA::Object_ptr boss) {
  if (CORBA::is_nil(boss)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  int argc = 0;
  CORBA::ORB_var orb = farm::InitOrb(argc, nullptr);  // the server's own, running
  return farm::ObjectToString(orb.in(), boss);
}

}  // namespace

CORBA::Long WorkGroup_i::WaitInLine(CORBA::Object_ptr boss) { return line_.WaitInLine(JobKey(boss)); }

void WorkGroup_i::LeaveLine(CORBA::Object_ptr boss) { line_.Leave(JobKey(boss)); }

}  // namespace workgroup

namespace workgroup {

void WorkGroup_i::JobReport(CORBA::Object_ptr boss, const Lumora::JobNews& news) {
  if (!board_ || CORBA::is_nil(boss)) return;
  workgroup::JobReport report;
  report.controller = news.controller.in();
  report.width = news.width;
  report.height = news.height;
  report.bandsDone = news.bandsDone;
  report.bandsTotal = news.bandsTotal;
  report.rowsDone = news.rowsDone;
  report.rowsTotal = news.rowsTotal;
  report.elapsedSeconds = news.elapsedSeconds;
  report.state = news.state.in();
  for (CORBA::ULong i = 0; i < news.failures.length(); ++i) report.failures.emplace_back(news.failures[i].in());
  board_->JobReported(JobKey(boss), report, StatusBoard::Clock::now());
}

char* WorkGroup_i::FarmStatus() { return CORBA::string_dup(board_ ? board_->Latest()->c_str() : "{}"); }

}  // namespace workgroup
