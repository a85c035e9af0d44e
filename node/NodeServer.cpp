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

// Where the node keeps the packages of its last jobs.
constexpr char kPackageCacheFolder[] = "PackageCache";

// The node's logs name the minor code too.
std::string Described(const CORBA::Exception& e) { return farm::Describe(e, farm::ExceptionDetail::kWithMinor); }

// The node's worker over `folder`; an end or failure report that cannot
// reach the boss is said, and the node carries on.
std::shared_ptr<RenderNode> MakeRenderNode(const std::filesystem::path& folder, const std::shared_ptr<BossLink>& boss,
                                           const NodeServer::Say& say) {
  std::shared_ptr<RenderNode> renderNode = RenderNode::Create(
      folder,
      [boss, say](std::int32_t part) {
        try {
          boss->ReportFinish(part);
        } catch (const CORBA::Exception& e) {
          say("the end of band " + std::to_string(part) + " could not be reported: " + Described(e));
        }
      },
      [boss, say](std::int32_t part, const std::string& reason, bool sceneWrong) {
        try {
          boss->ReportFailure(part, reason, sceneWrong);
        } catch (const CORBA::Exception& e) {
          say("the failure of band " + std::to_string(part) + " could not be reported: " + Described(e));
        }
      });
  // A boss that stops answering while its band renders is gone: its node
  // does not render on for nobody.
  renderNode->WatchBoss([boss] { return boss->Answers(1000); });
  renderNode->set_package_cache(
      std::make_shared<PackageCache>(folder / kPackageCacheFolder, PackageCache::MaxBytesFromEnvironment()));
  return renderNode;
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
    *why = std::string("cannot look up \"") + farm::kWorkGroupService + "\": " + Described(e);
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
  farm::StartedOrb started;
  try {
    started = farm::StartOrb(args_);
  } catch (const CORBA::Exception& e) {
    return dormant("cannot start the ORB: " + Described(e));
  }
  CORBA::ORB_ptr orb = started.orb.in();

  const std::filesystem::path folder = platform::ExecutableFolder();
  auto boss = std::make_shared<BossLink>();
  Kintra::Farmer_var farmerRef;
  try {
    farmerRef = ActivateFarmer(started, MakeRenderNode(folder, boss, say_), boss);
  } catch (const CORBA::Exception& e) {
    return dormant("cannot activate the farmer: " + Described(e));
  }

  // In the work group as soon as the name registry and the workgroup server
  // can be found, whichever starts first, and back in it by itself whenever
  // the server forgets the node.
  say_("node folder " + folder.string());
  GroupMembership membership(
      farmerRef.in(), [orb](std::string* why) { return LookUpWorkgroup(orb, why); }, say_,
      [] { platform::MessageBox("先运行基础服务", "Tessel"); }, std::chrono::seconds(5));
  membership.Start(10000);
  ServeUntilEnd(orb, waitForEnd, say_);
}

}  // namespace node
