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

std::string Describe(const CORBA::Exception& e) {
  const CORBA::SystemException* se = CORBA::SystemException::_downcast(&e);
  if (se != nullptr) return std::string(e._name()) + " (minor " + std::to_string(se->minor()) + ")";
  return e._name();
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
  std::vector<char*> argv;
  for (std::string& a : args_) argv.push_back(a.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args_.size());

  CORBA::ORB_var orb;
  PortableServer::POA_var root;
  CORBA::Object_var registrar;
  try {
    orb = farm::InitOrb(argc, argv.data());
    CORBA::Object_var obj = orb->resolve_initial_references("RootPOA");
    root = PortableServer::POA::_narrow(obj);
    PortableServer::POAManager_var manager = root->the_POAManager();
    manager->activate();
  } catch (const CORBA::Exception& e) {
    return dormant("cannot start the ORB: " + Describe(e));
  }
  try {
    registrar = registry::resolve_initial_references2(orb, farm::kWorkGroupService, 1);
  } catch (const CORBA::Exception& e) {
    return dormant(std::string("cannot find the workgroup server (") + farm::kWorkGroupService + "): " + Describe(e));
  }

  const std::filesystem::path folder = platform::ExecutableFolder();
  auto boss = std::make_shared<BossLink>();
  const Say say = say_;
  std::shared_ptr<RenderNode> renderNode = RenderNode::Create(
      folder,
      [boss, say](std::int32_t part) {
        try {
          boss->ReportFinish(part);
        } catch (const CORBA::Exception& e) {
          say("the end of band " + std::to_string(part) + " could not be reported: " + Describe(e));
        }
      },
      [boss, say](std::int32_t part, const std::string& reason) {
        try {
          boss->ReportFailure(part, reason);
        } catch (const CORBA::Exception& e) {
          say("the failure of band " + std::to_string(part) + " could not be reported: " + Describe(e));
        }
      });
  // A boss that stops answering while its band renders is gone: its node
  // does not render on for nobody.
  renderNode->WatchBoss([boss] { return boss->Answers(1000); });
  auto* farmer = new FarmerServant(orb, root, renderNode, boss);
  Kintra::Farmer_var farmerRef;
  try {
    PortableServer::ObjectId_var id = root->activate_object(farmer);
    CORBA::Object_var obj = root->id_to_reference(id.in());
    farmerRef = Kintra::Farmer::_narrow(obj);
  } catch (const CORBA::Exception& e) {
    return dormant("cannot activate the farmer: " + Describe(e));
  }
  farmer->_remove_ref();

  try {
    Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(registrar);
    if (CORBA::is_nil(groups)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    Kintra::WorkGroup_var group = groups->CreateWorkGroup(farm::kWorkGroupName);
    if (CORBA::is_nil(group)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    CORBA::Object_var self = Kintra::Farmer::_duplicate(farmerRef.in());
    group->Add_Farmer(self.inout());
    say_(std::string("joined the work group ") + farm::kWorkGroupName + "; node folder " + folder.string());
  } catch (const CORBA::Exception& e) {
    say_("registration failed: " + Describe(e));
    platform::MessageBox("先运行基础服务", "Tessel");
  }

  // Back in the work group by itself whenever the server forgets it.
  GroupMembership membership(
      farmerRef.in(), [&orb] { return registry::resolve_initial_references2(orb.in(), farm::kWorkGroupService, 1); },
      say_, std::chrono::seconds(5));
  membership.Start(10000);

  // A running engine is left alone by the shutdown: it runs in a process
  // group of its own.
  std::thread([orb = CORBA::ORB::_duplicate(orb.in()), waitForEnd] {
    waitForEnd();
    try {
      orb->shutdown(false);
    } catch (const CORBA::Exception&) {
    }
  }).detach();
  try {
    orb->run();
  } catch (const CORBA::Exception& e) {
    say_("ORB loop ended: " + Describe(e));
  }
  say_("shutting down");
  try {
    orb->destroy();
  } catch (const CORBA::Exception&) {
  }
  // A worker may still wait for its engine; it ends with the process.
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace node
