#include "jobs/DispatchJob.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Kintra.hh"
#include "Lumora.hh"
#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"
#include "jobs/CorbaFarm.h"
#include "jobs/JobPackage.h"
#include "jobs/RenderBoss.h"
#include "platform/MessageBox.h"
#include "platform/ThreadPriority.h"
#include "registry/NameBinding.h"
#include "registry/RegistryClient.h"

namespace jobs {

namespace {

// Jobs of one process share the work folder: the package of one job must not
// be read while another writes it, nor deleted once a later job rewrote it.
std::mutex& PackageMutex() {
  static std::mutex mutex;
  return mutex;
}

struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  timespec mtime{};
  off_t size = -1;
  bool operator==(const FileStamp& o) const {
    return dev == o.dev && ino == o.ino && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           size == o.size;
  }
};

FileStamp StampOf(const std::filesystem::path& file) {
  FileStamp stamp;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.mtime = st.st_mtim;
    stamp.size = st.st_size;
  }
  return stamp;
}

// Packs the source folder and reads the package back whole. Null when
// there is no package to read.
PackageBytes PackAndLoad(const std::filesystem::path& work_folder, FileStamp* stamp) {
  std::lock_guard<std::mutex> lock(PackageMutex());
  const std::filesystem::path zip = work_folder / farm::kPackageName;
  WriteJobPackage(work_folder / farm::kPackageFolder, zip);  // a failure shows when the package is read
  std::ifstream in(zip, std::ios::binary);
  if (!in) return nullptr;
  auto bytes = std::make_shared<std::vector<unsigned char>>(std::istreambuf_iterator<char>(in),
                                                            std::istreambuf_iterator<char>());
  if (in.bad()) return nullptr;
  *stamp = StampOf(zip);
  return bytes;
}

void DeletePackage(const std::filesystem::path& work_folder, const FileStamp& stamp) {
  std::lock_guard<std::mutex> lock(PackageMutex());
  const std::filesystem::path zip = work_folder / farm::kPackageName;
  if (!(StampOf(zip) == stamp)) return;  // a later job's package
  std::error_code ec;
  std::filesystem::remove(zip, ec);
}

// The host's own command line, kept for the life of the process: the ORB
// takes its options from it.
void HostArguments(int* argc, char*** argv) {
  static std::vector<std::string> args;
  static std::vector<char*> pointers;
  static std::once_flag once;
  std::call_once(once, [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    if (args.empty()) args.push_back("lumora");
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
  });
  // ORB_init removes the options it consumed, so hand it a fresh copy.
  static thread_local std::vector<char*> copy;
  copy = pointers;
  *argc = static_cast<int>(copy.size()) - 1;
  *argv = copy.data();
}

std::string Describe(const CORBA::Exception& e) {
  const char* name = e._name();
  return name != nullptr ? name : "CORBA exception";
}

// What the look-up of the workgroup server needs: a name registry that
// answers at the address the environment gives.
std::string RegistryStage() {
  const platform::StatusOr<registry::RegistryAddress> address = registry::RegistryAddressFromEnvironment();
  if (!address) return address.status().reason();
  return "no name registry answered at " + registry::Describe(*address) +
         "; start ledgo there, or point LEDGO_HOST and LEDGO_PORT at the one that runs";
}

}  // namespace

void RunDispatch(const std::shared_ptr<RenderJob>& job, const std::filesystem::path& work_folder,
                 Dispatcher::PictureSize size, BandPlan plan) {
  platform::SetCurrentThreadHighestPriority();
  FileStamp stamp;
  PackageBytes package = PackAndLoad(work_folder, &stamp);

  auto tally = std::make_shared<BandTally>();
  CORBA::ORB_var orb;
  PortableServer::POA_var root;
  PortableServer::ObjectId_var boss_id;
  bool boss_active = false;
  JobOutcome outcome = JobOutcome::kFailed;
  std::string reason;
  std::string stage = "the ORB could not start";
  try {
    int argc = 0;
    char** argv = nullptr;
    HostArguments(&argc, &argv);
    orb = farm::InitOrb(argc, argv);
    CORBA::Object_var obj = orb->resolve_initial_references("RootPOA");
    root = PortableServer::POA::_narrow(obj.in());
    PortableServer::POAManager_var manager = root->the_POAManager();
    manager->activate();

    auto* boss =
        new RenderBoss_i(root.in(), work_folder, tally, [job](int32_t line, const int32_t* colors, std::size_t count) {
          job->DeliverRow(line, colors, count);
          job->progress().RowPlaced(line);
        });
    boss_id = root->activate_object(boss);
    boss_active = true;
    boss->_remove_ref();  // the POA owns it
    CORBA::Object_var boss_obj = root->id_to_reference(boss_id.in());
    Lumora::RenderBoss_var boss_ref = Lumora::RenderBoss::_narrow(boss_obj.in());

    stage = RegistryStage();
    CORBA::Object_var wg_obj;
    try {
      wg_obj = registry::resolve_initial_references2(orb.in(), farm::kWorkGroupService, 1);
    } catch (const CORBA::OBJECT_NOT_EXIST&) {
      stage = std::string("no workgroup server is running (none published as \"") + farm::kWorkGroupService +
              "\" in the name registry)";
      throw;
    }
    stage = "the workgroup server did not answer";
    Kintra::WorkGropRegiste_var registrar = Kintra::WorkGropRegiste::_narrow(wg_obj.in());
    if (CORBA::is_nil(registrar.in())) throw CORBA::BAD_PARAM();
    // A server that hangs, or whose host drops off the network, ends the
    // job with a reason instead of holding it for good.
    const uint32_t group_timeout_ms = WorkgroupCallTimeoutMs();
    omniORB::setClientCallTimeout(registrar.in(), group_timeout_ms);
    Kintra::WorkGroup_var group = registrar->CreateWorkGroup(farm::kWorkGroupName);
    if (CORBA::is_nil(group.in())) throw CORBA::OBJECT_NOT_EXIST();

    stage = "the render job failed on the farm";
    // omniORB serves the boss on threads of its own, also while this thread
    // sleeps or waits for a farmer, so the watch loop only sleeps.
    CorbaWorkgroup link(group.in(), boss_ref.in(), package, FarmerCallTimeoutMs(), group_timeout_ms);
    Dispatcher dispatcher(
        link, *tally, job->height(), std::move(size),
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }, plan);
    dispatcher.set_progress(&job->progress());
    outcome = dispatcher.Run();
    if (outcome == JobOutcome::kNoIdleNode) reason = "no idle render node in the work group";
    if (outcome == JobOutcome::kAbandoned) {
      reason = "the work group lost every render node during the job; " + tally->MissingRows() + " missing";
    }
    if (outcome == JobOutcome::kIncomplete) reason = dispatcher.reason();
  } catch (const CORBA::Exception& e) {
    outcome = JobOutcome::kFailed;
    reason = stage + " (" + Describe(e) + ")";
  } catch (const std::exception& e) {
    outcome = JobOutcome::kFailed;
    reason = stage + " (" + e.what() + ")";
  } catch (...) {
    outcome = JobOutcome::kFailed;
    reason = stage;
  }

  if (outcome == JobOutcome::kCompleted || outcome == JobOutcome::kAbandoned) DeletePackage(work_folder, stamp);
  if (outcome == JobOutcome::kFailed) platform::MessageBox("请按照说明方式启动各级服务程序");

  // Late calls on the boss now fail at their caller.
  if (boss_active) {
    try {
      root->deactivate_object(boss_id.in());
    } catch (...) {
    }
  }
  job->progress().JobEnded();
  job->End(outcome, reason);
}

}  // namespace jobs
