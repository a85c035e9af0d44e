#include "workgroup/WorkGroup_i.h"

#include <omniORB4/omniORB.h>

#include "idl/OrbInit.h"

namespace workgroup {

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
