#include "tests/support/TestOrb.h"

#include "idl/OrbInit.h"

namespace farmtest {

TestOrb::TestOrb(std::vector<std::string> extraArgs, unsigned callTimeoutMs) {
  std::vector<std::string> args = {"farmtest", "-ORBendPoint", "giop:tcp:127.0.0.1:", "-ORBclientCallTimeOutPeriod",
                                   std::to_string(callTimeoutMs)};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  farm::StartedOrb started = farm::StartOrb(std::move(args));
  orb_ = started.orb._retn();
  poa_ = started.rootPoa._retn();
  CORBA::ORB_ptr orb = orb_.in();
  // A test that ends quickly may shut the ORB down before this thread gets
  // to run(), which then raises BAD_INV_ORDER: nothing is left to serve.
  runner_ = std::thread([orb] {
    try {
      orb->run();
    } catch (const CORBA::Exception&) {
    }
  });
}

TestOrb::~TestOrb() {
  try {
    orb_->shutdown(true);
  } catch (...) {
  }
  if (runner_.joinable()) runner_.join();
  try {
    orb_->destroy();
  } catch (...) {
  }
}

CORBA::Object_ptr TestOrb::Activate(PortableServer::ServantBase* servant) {
  PortableServer::ObjectId_var id = poa_->activate_object(servant);
  return poa_->id_to_reference(id.in());
}

void TestOrb::Deactivate(PortableServer::ServantBase* servant) {
  PortableServer::ObjectId_var id = poa_->servant_to_id(servant);
  poa_->deactivate_object(id.in());
}

std::string TestOrb::ToString(CORBA::Object_ptr obj) const { return farm::ObjectToString(orb_.in(), obj); }

CORBA::Object_ptr TestOrb::FromString(const std::string& ior) const { return orb_->string_to_object(ior.c_str()); }

}  // namespace farmtest
