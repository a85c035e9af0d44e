// tessel: the render node. Joins the work group "Tessel" with its farmer and
// serves until SIGINT or SIGTERM (or, on a desktop, its tray menu's end).
// Every argument goes to the ORB.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "Kintra.hh"
#include "Lumora.hh"
#include "idl/OrbInit.h"
#include "node/FarmerServant.h"
#include "node/GroupMembership.h"
#include "node/RenderNode.h"
#include "node/TesselDesktop.h"
#include "platform/Desktop.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "registry/NameBinding.h"

namespace {

void Say(const std::string& line) { platform::WriteMessageToStderr("tessel: " + line); }

std::string Describe(const CORBA::Exception& e) {
  const CORBA::SystemException* se = CORBA::SystemException::_downcast(&e);
  if (se != nullptr) return std::string(e._name()) + " (minor " + std::to_string(se->minor()) + ")";
  return e._name();
}

int WaitForSignal(const sigset_t& signals) {
  int sig = 0;
  while (sigwait(&signals, &sig) != 0) {
  }
  return sig;
}

// Without a farmer to serve, the node only waits to be ended.
int Dormant(const std::function<void()>& waitForEnd, const std::string& why) {
  Say(why + "; not serving");
  waitForEnd();
  return 0;
}

// Starts the ORB, joins the work group and serves until `waitForEnd`
// returns; then ends the process.
int RunNode(int argc, char** argv, const std::function<void()>& waitForEnd) {
  CORBA::ORB_var orb;
  PortableServer::POA_var root;
  CORBA::Object_var registrar;
  try {
    orb = farm::InitOrb(argc, argv);
    CORBA::Object_var obj = orb->resolve_initial_references("RootPOA");
    root = PortableServer::POA::_narrow(obj);
    PortableServer::POAManager_var manager = root->the_POAManager();
    manager->activate();
  } catch (const CORBA::Exception& e) {
    return Dormant(waitForEnd, "cannot start the ORB: " + Describe(e));
  }
  try {
    registrar = farm::resolve_initial_references2(orb, "WorkGroup", 1);
  } catch (const CORBA::Exception& e) {
    return Dormant(waitForEnd, "cannot find the workgroup server (WorkGroup): " + Describe(e));
  }

  const std::filesystem::path folder = platform::ExecutableFolder();
  auto boss = std::make_shared<node::BossLink>();
  std::shared_ptr<node::RenderNode> renderNode = node::RenderNode::Create(
      folder,
      [boss](std::int32_t part) {
        try {
          boss->ReportFinish(part);
        } catch (const CORBA::Exception& e) {
          Say("the end of band " + std::to_string(part) + " could not be reported: " + Describe(e));
        }
      },
      [boss](std::int32_t part, const std::string& reason) {
        try {
          boss->ReportFailure(part, reason);
        } catch (const CORBA::Exception& e) {
          Say("the failure of band " + std::to_string(part) + " could not be reported: " + Describe(e));
        }
      });
  auto* farmer = new node::FarmerServant(orb, root, renderNode, boss);
  Kintra::Farmer_var farmerRef;
  try {
    PortableServer::ObjectId_var id = root->activate_object(farmer);
    CORBA::Object_var obj = root->id_to_reference(id.in());
    farmerRef = Kintra::Farmer::_narrow(obj);
  } catch (const CORBA::Exception& e) {
    return Dormant(waitForEnd, "cannot activate the farmer: " + Describe(e));
  }
  farmer->_remove_ref();

  try {
    Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(registrar);
    if (CORBA::is_nil(groups)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    Kintra::WorkGroup_var group = groups->CreateWorkGroup("Tessel");
    if (CORBA::is_nil(group)) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    CORBA::Object_var self = Kintra::Farmer::_duplicate(farmerRef.in());
    group->Add_Farmer(self.inout());
    Say("joined the work group Tessel; node folder " + folder.string());
  } catch (const CORBA::Exception& e) {
    Say("registration failed: " + Describe(e));
    platform::MessageBox("先运行基础服务", "Tessel");
  }

  // Back in the work group by itself whenever the server forgets it.
  node::GroupMembership membership(
      farmerRef.in(), [&orb] { return farm::resolve_initial_references2(orb.in(), "WorkGroup", 1); }, Say,
      std::chrono::seconds(5));
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
    Say("ORB loop ended: " + Describe(e));
  }
  Say("shutting down");
  try {
    orb->destroy();
  } catch (const CORBA::Exception&) {
  }
  // A worker may still wait for its engine; it ends with the process.
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(argc, argv, "tessel",
                                    std::string("usage: tessel [ORB options]\n"
                                                "The render node: joins the work group \"Tessel\" of the workgroup server\n"
                                                "found through the name registry, and renders the bands it is given with\n"
                                                "pvengine, which must lie beside it. Each node needs a folder of its own.\n"
                                                "Ends on SIGINT or SIGTERM (or its tray menu's \"关闭\").\n\n") +
                                        platform::kCommonEnvironmentHelp + "\n" + platform::kOrbOptionsHelp)) {
    return 0;
  }
  // Signals are taken by one thread with sigwait; every other thread,
  // including the ORB's, inherits the block.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  if (platform::DesktopAvailable()) return node::RunTesselDesktop(argc, argv, signals, RunNode);
  return RunNode(argc, argv, [&signals] { WaitForSignal(signals); });
}
