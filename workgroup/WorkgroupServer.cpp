#include "workgroup/WorkgroupServer.h"

#include <memory>

#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "platform/MessageBox.h"
#include "registry/Announcer.h"
#include "registry/NameBinding.h"
#include "workgroup/WorkGropRegiste_i.h"

namespace workgroup {

WorkgroupServer::WorkgroupServer(int argc, char** argv, std::shared_ptr<StatusBoard> board)
    : args_(argv, argv + argc), board_(board ? std::move(board) : std::make_shared<StatusBoard>()) {}

WorkgroupServer::~WorkgroupServer() {
  Stop();
  Join();
}

void WorkgroupServer::Start() {
  thread_ = std::thread([this] { Run(); });
}

void WorkgroupServer::Join() {
  if (thread_.joinable()) thread_.join();
}

void WorkgroupServer::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopRequested_ = true;
  if (CORBA::is_nil(orb_)) return;
  try {
    orb_->shutdown(false);
  } catch (...) {
    // Already shut down.
  }
}

void WorkgroupServer::Run() {
  try {
    Serve();
  } catch (...) {
    failed_ = true;
    platform::MessageBox("error");
  }
  finished_ = true;
}

void WorkgroupServer::Serve() {
  farm::StartedOrb started = farm::StartOrb(args_);
  CORBA::ORB_ptr orb = started.orb.in();
  PortableServer::POA_ptr rootPoa = started.rootPoa.in();
  PortableServer::POAManager_ptr manager = started.manager.in();

  CORBA::PolicyList policies;
  policies.length(2);
  policies[0] = rootPoa->create_id_assignment_policy(PortableServer::USER_ID);
  policies[1] = rootPoa->create_lifespan_policy(PortableServer::PERSISTENT);
  PortableServer::POA_var childPoa = rootPoa->create_POA("childPOA", manager, policies);
  for (CORBA::ULong i = 0; i < policies.length(); ++i) policies[i]->destroy();

  PortableServer::Servant_var<WorkGropRegiste_i> registry = new WorkGropRegiste_i(rootPoa, board_);
  PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId(farm::kWorkGroupService);
  childPoa->activate_object_with_id(id.in(), registry.in());
  CORBA::Object_var ref = childPoa->id_to_reference(id.in());

  // Published now or whenever the name registry appears, and again after
  // it restarts; the announcer stops before the ORB goes.
  platform::StatusOr<registry::RegistryAddress> address = registry::RegistryAddressFromEnvironment();
  if (!address) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  auto announcer = std::make_unique<registry::Announcer>(
      farm::kWorkGroupService, *address,
      [&orb, &ref] { return static_cast<int>(registry::bind_service(orb, farm::kWorkGroupService, ref)); },
      [](const std::string& line) { platform::WriteMessageToStderr("kintrahub: " + line); });
  announcer->Start();

  {
    std::lock_guard<std::mutex> lock(mutex_);
    orb_ = CORBA::ORB::_duplicate(orb);
    if (stopRequested_) orb->shutdown(false);
  }
  try {
    orb->run();
  } catch (const CORBA::BAD_INV_ORDER&) {
    // Shut down before the loop began.
  }
  announcer.reset();

  // The shut-down ORB has destroyed its POAs and released the servants;
  // the registry object, and with it every work group, goes with the last
  // reference below.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    orb_ = CORBA::ORB::_nil();
  }
  orb->destroy();
}

}  // namespace workgroup
