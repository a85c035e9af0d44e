#include "node/GroupMembership.h"

#include <omniORB4/omniORB.h>

#include <utility>

#include "idl/WellKnownNames.h"

namespace node {
namespace {

// How often a node that is not in the work group looks again.
constexpr std::chrono::seconds kRetryPeriod(1);

}  // namespace

GroupMembership::GroupMembership(Kintra::Farmer_ptr self, LookUp lookUp, Say say, Refused refused,
                                 std::chrono::milliseconds period)
    : self_(Kintra::Farmer::_duplicate(self)),
      lookUp_(std::move(lookUp)),
      say_(std::move(say)),
      refused_(std::move(refused)),
      period_(period) {}

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

GroupMembership::Look GroupMembership::LookOnce(std::string* why) {
  CORBA::Object_var server;
  try {
    server = lookUp_(why);
  } catch (const CORBA::Exception& e) {
    *why = std::string("looking up \"") + farm::kWorkGroupService + "\" failed: " + e._name();
    return Look::kNoServer;
  }
  if (CORBA::is_nil(server.in())) return Look::kNoServer;
  try {
    return JoinIfMissing(server.in());
  } catch (const CORBA::Exception& e) {
    *why = std::string("the workgroup server does not take the node (") + e._name() + ")";
  } catch (...) {
    *why = "the workgroup server does not take the node";
  }
  return Look::kServerFailed;
}

GroupMembership::Look GroupMembership::JoinIfMissing(CORBA::Object_ptr server) {
  // A workgroup server that hangs must not hold the watcher for ever.
  omniORB::setClientCallTimeout(server, callTimeoutMs_);
  Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(server);
  if (CORBA::is_nil(groups.in())) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  omniORB::setClientCallTimeout(groups.in(), callTimeoutMs_);
  Kintra::WorkGroup_var group = groups->CreateWorkGroup(farm::kWorkGroupName);
  if (CORBA::is_nil(group.in())) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  omniORB::setClientCallTimeout(group.in(), callTimeoutMs_);
  Kintra::farmerlist_var listed = new Kintra::farmerlist;
  group->GetValidFarmer(listed.inout());
  for (CORBA::ULong i = 0; i < listed->length(); ++i) {
    if (!CORBA::is_nil(listed[i].in()) && listed[i]->_is_equivalent(self_.in())) return Look::kListed;
  }
  CORBA::Object_var me = Kintra::Farmer::_duplicate(self_.in());
  group->Add_Farmer(me.inout());
  return Look::kJoined;
}

bool GroupMembership::Report(Look look, const std::string& why) {
  switch (look) {
    case Look::kListed: lastTrouble_.clear(); return true;
    case Look::kJoined:
      say_(std::string("joined the work group ") + farm::kWorkGroupName + (everJoined_ ? " again" : ""));
      everJoined_ = true;
      lastTrouble_.clear();
      return true;
    case Look::kNoServer:
    case Look::kServerFailed: break;
  }
  // Said once per outage, not at every look.
  if (why != lastTrouble_) {
    say_((everJoined_ ? "out of the work group: " : "waiting to join the work group: ") + why + "; trying again");
    lastTrouble_ = why;
  }
  if (look == Look::kServerFailed && !everJoined_ && !refusedTold_) {
    refusedTold_ = true;
    if (refused_) refused_();
  }
  return false;
}

void GroupMembership::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    lock.unlock();
    std::string why;
    const Look look = LookOnce(&why);
    const bool inGroup = Report(look, why);
    lock.lock();
    wake_.wait_for(lock, inGroup ? period_ : std::chrono::milliseconds(kRetryPeriod), [this] { return stop_; });
  }
}

}  // namespace node
