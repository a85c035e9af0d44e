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
#include "registry/RegistryClient.h"

namespace node {
namespace {

std::string Describe(const CORBA::Exception& e) {
  const CORBA::SystemException* se = CORBA::SystemException::_downcast(&e);
  if (se != nullptr) return std::string(e._name()) + " (minor " + std::to_string(se->minor()) + ")";
  return e._name();
}

// The workgroup server's registration object, or nil with *why saying what
// is missing.
CORBA::Object_ptr LookUpWorkgroup(CORBA::ORB_ptr orb, std::string* why) {
  const platform::StatusOr<registry::RegistryAddress> address = registry::RegistryAddressFromEnvironment();
  const std::string where = address ? registry::Describe(*address) : std::string("?");
  try {
    return registry::resolve_initial_references2(orb, farm::kWorkGroupService, 1);
  } catch (const CORBA::TRANSIENT&) {
    *why = "no name registry answers at " + where + " (ledgo not started yet?)";
  } catch (const CORBA::OBJECT_NOT_EXIST&) {
    *why = std::string("the name registry at ") + where + " lists no workgroup server \"" + farm::kWorkGroupService +
           "\" (kintrahub not started yet?)";
  } catch (const CORBA::Exception& e) {
    *why = std::string("cannot look up \"") + farm::kWorkGroupService + "\": " + Describe(e);
  }
  return CORBA::Object::_nil();
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
  try {
    orb = farm::InitOrb(argc, argv.data());
    CORBA::Object_var obj = orb->resolve_initial_references("RootPOA");
    root = PortableServer::POA::_narrow(obj);
    PortableServer::POAManager_var manager = root->the_POAManager();
    manager->activate();
  } catch (const CORBA::Exception& e) {
    return dormant("cannot start the ORB: " + Describe(e));
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

  // In the work group as soon as the name registry and the workgroup server
  // can be found, whichever starts first, and back in it by itself whenever
  // the server forgets the node.
  say_("node folder " + folder.string());
  GroupMembership membership(
      farmerRef.in(), [&orb](std::string* why) { return LookUpWorkgroup(orb.in(), why); }, say_,
      [] { platform::MessageBox("先运行基础服务", "Tessel"); }, std::chrono::seconds(5));
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
