#include "node/NodeServer.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "Kintra.hh"
#include "Lumora.hh"
#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "node/FarmerServant.h"
#include "node/GroupMembership.h"
#include "node/RenderNode.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "registry/NameBinding.h"

namespace node {
namespace {

// The node's logs name the minor code too.
std::string Described(const CORBA::Exception& e) { return farm::Describe(e, farm::ExceptionDetail::kWithMinor); }

// The node's worker over `folder`; an end or failure report that cannot
// reach the boss is said, and the node carries on.
std::shared_ptr<RenderNode> MakeRenderNode(const std::filesystem::path& folder, const std::shared_ptr<BossLink>& boss,
                                           const NodeServer::Say& say) {
  return RenderNode::Create(
      folder,
      [boss, say](std::int32_t part) {
        try {
          boss->ReportFinish(part);
        } catch (const CORBA::Exception& e) {
          say("the end of band " + std::to_string(part) + " could not be reported: " + Described(e));
        }
      },
      [boss, say](std::int32_t part, const std::string& reason) {
        try {
          boss->ReportFailure(part, reason);
        } catch (const CORBA::Exception& e) {
          say("the failure of band " + std::to_string(part) + " could not be reported: " + Described(e));
        }
      });
}

// The farmer activated in the root adapter, which then owns it. Raises what
// the adapter raises.
Kintra::Farmer_var ActivateFarmer(const farm::StartedOrb& started, std::shared_ptr<RenderNode> renderNode,
                                  std::shared_ptr<BossLink> boss) {
  PortableServer::Servant_var<FarmerServant> farmer =
      new FarmerServant(started.orb.in(), started.rootPoa.in(), std::move(renderNode), std::move(boss));
  PortableServer::ObjectId_var id = started.rootPoa->activate_object(farmer.in());
  CORBA::Object_var obj = started.rootPoa->id_to_reference(id.in());
  return Kintra::Farmer::_narrow(obj);
}

// Adds the farmer to the farm's work group; a failure is said and shown,
// and the membership watcher tries again later.
void JoinWorkGroup(CORBA::Object_ptr registrar, Kintra::Farmer_ptr farmerRef, const std::filesystem::path& folder,
                   const NodeServer::Say& say) {
  try {
    Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(registrar);
    if (CORBA::is_nil(groups)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    Kintra::WorkGroup_var group = groups->CreateWorkGroup(farm::kWorkGroupName);
    if (CORBA::is_nil(group)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    CORBA::Object_var self = Kintra::Farmer::_duplicate(farmerRef);
    group->Add_Farmer(self.inout());
    say(std::string("joined the work group ") + farm::kWorkGroupName + "; node folder " + folder.string());
  } catch (const CORBA::Exception& e) {
    say("registration failed: " + Described(e));
    platform::MessageBox("先运行基础服务", "Tessel");
  }
}

// Runs the ORB loop until `waitForEnd` returns on a thread of its own, then
// ends the process. A running engine is left alone by the shutdown: it runs
// in a process group of its own.
[[noreturn]] void ServeUntilEnd(CORBA::ORB_ptr orb, const std::function<void()>& waitForEnd,
                                const NodeServer::Say& say) {
  std::thread([orb = CORBA::ORB::_duplicate(orb), waitForEnd] {
    waitForEnd();
    try {
      orb->shutdown(false);
    } catch (const CORBA::Exception&) {
    }
  }).detach();
  try {
    orb->run();
  } catch (const CORBA::Exception& e) {
    say("ORB loop ended: " + Described(e));
  }
  say("shutting down");
  try {
    orb->destroy();
  } catch (const CORBA::Exception&) {
  }
  // A worker may still wait for its engine; it ends with the process.
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace

NodeServer::NodeServer(int argc, char** argv, Say say) : args_(argv, argv + argc), say_(std::move(say)) {}

int NodeServer::Run(const std::function<void()>& waitForEnd) {
  // Without a farmer to serve, the node only waits to be ended.
  auto dormant = [&](const std::string& why) {
    say_(why + "; not serving");
    waitForEnd();
    return 0;
  };
  farm::StartedOrb started;
  CORBA::Object_var registrar;
  try {
    started = farm::StartOrb(args_);
  } catch (const CORBA::Exception& e) {
    return dormant("cannot start the ORB: " + Described(e));
  }
  CORBA::ORB_ptr orb = started.orb.in();
  try {
    registrar = registry::resolve_initial_references2(orb, farm::kWorkGroupService, 1);
  } catch (const CORBA::Exception& e) {
    return dormant(std::string("cannot find the workgroup server (") + farm::kWorkGroupService + "): " + Described(e));
  }

  const std::filesystem::path folder = platform::ExecutableFolder();
  auto boss = std::make_shared<BossLink>();
  Kintra::Farmer_var farmerRef;
  try {
    farmerRef = ActivateFarmer(started, MakeRenderNode(folder, boss, say_), boss);
  } catch (const CORBA::Exception& e) {
    return dormant("cannot activate the farmer: " + Described(e));
  }
  JoinWorkGroup(registrar.in(), farmerRef.in(), folder, say_);

  // Back in the work group by itself whenever the server forgets it.
  GroupMembership membership(
      farmerRef.in(), [orb] { return registry::resolve_initial_references2(orb, farm::kWorkGroupService, 1); }, say_,
      std::chrono::seconds(5));
  membership.Start(10000);
  ServeUntilEnd(orb, waitForEnd, say_);
}

}  // namespace node
