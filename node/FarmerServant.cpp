#include "node/FarmerServant.h"

#include <chrono>
#include <thread>

#include "idl/Abilities.h"
#include "idl/EndMessage.h"
#include "idl/FileReceiver.h"
#include "idl/JobParameters.h"
#include "idl/OrbInit.h"

namespace node {

void BossLink::Set(Lumora::RenderBoss_ptr boss) {
  std::lock_guard<std::mutex> lock(mutex_);
  boss_ = Lumora::RenderBoss::_duplicate(boss);
}

void BossLink::ReportFinish(std::int32_t part) { Send(farm::EncodeEndMessage(part)); }

void BossLink::ReportFailure(std::int32_t part, const std::string& reason, bool sceneWrong) {
  Send(farm::EncodeEndMessage(part, reason, sceneWrong));
}

bool BossLink::Answers(unsigned timeoutMs) {
  Lumora::RenderBoss_var boss;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boss = Lumora::RenderBoss::_duplicate(boss_.in());
  }
  if (CORBA::is_nil(boss)) return true;
  // A thread's call time limit needs an omni_thread; a plain thread gets a
  // stand-in for the call.
  const bool standIn = omni_thread::self() == nullptr;
  if (standIn) omni_thread::create_dummy();
  omniORB::setClientThreadCallTimeout(timeoutMs);
  bool live = false;
  try {
    live = boss->IsLive();
  } catch (const CORBA::Exception&) {
  }
  if (standIn) omni_thread::release_dummy();
  return live;
}

void BossLink::Send(const Lumora::DataSeq& message) {
  Lumora::RenderBoss_var boss;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boss = Lumora::RenderBoss::_duplicate(boss_.in());
  }
  if (CORBA::is_nil(boss)) throw CORBA::OBJECT_NOT_EXIST(0, CORBA::COMPLETED_NO);
  // A lost end report leaves the boss waiting for a band that is done, so a
  // broken connection is tried again. A report that did arrive before the
  // connection broke arrives twice, which the boss counts once.
  for (int attempt = 1;; ++attempt) {
    try {
      boss->SetData(message);
      return;
    } catch (const CORBA::COMM_FAILURE&) {
      if (attempt == kSendAttempts) throw;
    } catch (const CORBA::TRANSIENT&) {
      if (attempt == kSendAttempts) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

FarmerServant::FarmerServant(CORBA::ORB_ptr orb, PortableServer::POA_ptr poa, std::shared_ptr<RenderNode> node,
                             std::shared_ptr<BossLink> boss)
    : orb_(CORBA::ORB::_duplicate(orb)),
      poa_(PortableServer::POA::_duplicate(poa)),
      node_(std::move(node)),
      boss_(std::move(boss)),
      status_(node_->folder()) {}

char* FarmerServant::ID() { return CORBA::string_dup("Farmer_Tessel"); }

CORBA::Boolean FarmerServant::IsLive() { return true; }

CORBA::Boolean FarmerServant::CouldEngage(CORBA::Object_ptr& boss) {
  if (!node_->IsIdle()) return false;
  try {
    Lumora::RenderBoss_var renderBoss = Lumora::RenderBoss::_narrow(boss);
    if (CORBA::is_nil(renderBoss)) return false;
    const std::string reference = farm::ObjectToString(orb_, renderBoss);
    // Kept only once boss.ini names it: an engagement refused because a job
    // has just started must not send that job's end report elsewhere.
    return node_->Engage(reference, nullptr, [&] { boss_->Set(renderBoss); });
  } catch (const CORBA::Exception&) {
    return false;
  }
}

CORBA::Boolean FarmerServant::IsIdle() { return node_->IsIdle(); }

void FarmerServant::Zarvo() { node_->Start(); }

CORBA::Boolean FarmerServant::Stop() {
  node_->Stop();
  return true;
}

CORBA::Boolean FarmerServant::StopJob(Lumora::RenderBoss_ptr boss) {
  if (CORBA::is_nil(boss)) return false;
  try {
    // Compared as boss.ini keeps it: the text of the reference CouldEngage got.
    return node_->StopFor(farm::ObjectToString(orb_, boss));
  } catch (const CORBA::Exception&) {
    return false;
  }
}

Lumora::FileTransform_ptr FarmerServant::CreateFileAndPass() {
  FileReceiver::Hooks hooks;
  hooks.held = [node = node_](const std::string& name) { return node->HoldsPackage(name); };
  hooks.arrived = [node = node_](const std::filesystem::path& file) { return node->PackageArrived(file); };
  return FileReceiver::Activate(poa_.in(), node_->folder(), std::move(hooks));
}

void FarmerServant::SetData(const Lumora::DataSeq& data) {
  if (data.length() > farm::kMaxDataSeqLength) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  JobParameters job;
  switch (farm::DecodeJobParameters(data, &job)) {
    case farm::OneFrame::kIgnored: return;
    case farm::OneFrame::kRefused: throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
    case farm::OneFrame::kAccepted: break;
  }
  if (!node_->SetJob(job)) throw CORBA::NO_RESOURCES(0, CORBA::COMPLETED_YES);
}

Lumora::AbilityList* FarmerServant::Abilities() {
  const std::vector<std::string> words = farm::Abilities::OfThisNode().words();
  Lumora::AbilityList_var list = new Lumora::AbilityList;
  list->length(static_cast<CORBA::ULong>(words.size()));
  for (CORBA::ULong i = 0; i < list->length(); ++i) list[i] = CORBA::string_dup(words[i].c_str());
  return list._retn();
}

}  // namespace node

namespace node {

Lumora::NodeStatus* FarmerServant::Status() {
  const farm::NodeState s = status_.Read(node_->activity());
  Lumora::NodeStatus_var out = new Lumora::NodeStatus;
  out->busy = s.busy;
  out->controller = s.controller.c_str();
  out->width = s.width;
  out->height = s.height;
  out->band = s.band;
  out->bandCount = s.bandCount;
  out->firstRow = s.firstRow;
  out->lastRow = s.lastRow;
  out->frame = s.frame;
  out->rowsDone = s.rowsDone;
  out->rowsAsked = s.rowsAsked;
  out->cpuSeconds = s.cpuSeconds;
  out->memoryMb = s.memoryMb;
  out->busySince = s.busySince;
  out->folder = s.folder.c_str();
  out->host = s.host.c_str();
  out->version = s.version.c_str();
  out->renderer = s.renderer.c_str();
  return out._retn();
}

}  // namespace node
