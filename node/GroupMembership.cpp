#include "node/GroupMembership.h"

#include <omniORB4/omniORB.h>

#include <utility>

#include "idl/WellKnownNames.h"

namespace node {

GroupMembership::GroupMembership(Kintra::Farmer_ptr self, LookUp lookUp, Say say, std::chrono::milliseconds period)
    : self_(Kintra::Farmer::_duplicate(self)), lookUp_(std::move(lookUp)), say_(std::move(say)), period_(period) {}

GroupMembership::~GroupMembership() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void GroupMembership::Start(unsigned callTimeoutMs) {
  callTimeoutMs_ = callTimeoutMs;
  thread_ = std::thread([this] { Run(); });
}

bool GroupMembership::JoinIfMissing() {
  // A workgroup server that hangs must not hold the watcher for ever.
  CORBA::Object_var obj = lookUp_();
  if (CORBA::is_nil(obj.in())) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  omniORB::setClientCallTimeout(obj.in(), callTimeoutMs_);
  Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(obj.in());
  if (CORBA::is_nil(groups.in())) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  omniORB::setClientCallTimeout(groups.in(), callTimeoutMs_);
  Kintra::WorkGroup_var group = groups->CreateWorkGroup(farm::kWorkGroupName);
  if (CORBA::is_nil(group.in())) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  omniORB::setClientCallTimeout(group.in(), callTimeoutMs_);
  Kintra::farmerlist_var listed = new Kintra::farmerlist;
  group->GetValidFarmer(listed.inout());
  for (CORBA::ULong i = 0; i < listed->length(); ++i) {
    if (!CORBA::is_nil(listed[i].in()) && listed[i]->_is_equivalent(self_.in())) return false;
  }
  CORBA::Object_var me = Kintra::Farmer::_duplicate(self_.in());
  group->Add_Farmer(me.inout());
  return true;
}

void GroupMembership::Run() {
  bool reachable = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (wake_.wait_for(lock, period_, [this] { return stop_; })) return;
    lock.unlock();
    try {
      if (JoinIfMissing()) say_(std::string("joined the work group ") + farm::kWorkGroupName + " again");
      reachable = true;
    } catch (const CORBA::Exception& e) {
      // Said once per outage, not at every look.
      if (reachable) say_(std::string("the workgroup server cannot be reached (") + e._name() + "); trying again");
      reachable = false;
    } catch (...) {
      reachable = false;
    }
    lock.lock();
  }
}

}  // namespace node
