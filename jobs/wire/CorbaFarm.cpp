#include "jobs/wire/CorbaFarm.h"

#include <omniORB4/omniORB.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "idl/OrbInit.h"
#include "idl/PackageDigest.h"
#include "idl/WellKnownNames.h"
#include "registry/RegistrationKey.h"

namespace jobs {

namespace {

uint32_t TimeoutFromEnvironment(const char* name, uint32_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > 600000) return fallback;
  return static_cast<uint32_t>(value);
}

}  // namespace

uint32_t FarmerCallTimeoutMs() { return TimeoutFromEnvironment("LUMORA_FARMER_TIMEOUT_MS", kDefaultFarmerTimeoutMs); }

uint32_t WorkgroupCallTimeoutMs() {
  return TimeoutFromEnvironment("LUMORA_WORKGROUP_TIMEOUT_MS", kDefaultWorkgroupTimeoutMs);
}

CorbaFarmer::CorbaFarmer(Lumora::RenderFarmer_ptr farmer, Lumora::RenderBoss_ptr boss, PackageOffer package,
                         uint32_t timeoutMs)
    : farmer_(Lumora::RenderFarmer::_duplicate(farmer)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      package_(std::move(package)),
      timeout_ms_(timeoutMs) {
  omniORB::setClientCallTimeout(farmer_.in(), timeout_ms_);
  try {
    int argc = 0;
    CORBA::ORB_var orb = farm::InitOrb(argc, nullptr);  // the process's ORB, already running
    CORBA::String_var text = orb->object_to_string(farmer_.in());
    const std::optional<registry::IiopEndpoint> endpoint = registry::FirstIiopEndpoint(text.in());
    if (endpoint) name_ = endpoint->host + ":" + std::to_string(endpoint->port);
  } catch (...) {
  }
  if (name_.empty()) name_ = "a farmer";
}

std::string CorbaFarmer::Name() const { return name_; }

bool CorbaFarmer::IsLive() {
  try {
    return farmer_->IsLive();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(farm::Describe(e));
  }
}

bool CorbaFarmer::IsIdle() {
  try {
    return farmer_->IsIdle();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(farm::Describe(e));
  }
}

bool CorbaFarmer::SameFarmer(const FarmerLink& other) const {
  const auto* o = dynamic_cast<const CorbaFarmer*>(&other);
  return o != nullptr && farmer_->_is_equivalent(o->farmer_.in());
}

farm::Abilities CorbaFarmer::Abilities() {
  if (abilities_) return *abilities_;
  try {
    farm::Abilities found;
    // A farmer of the base protocol does not know the operation: ask first.
    if (farmer_->_is_a("IDL:Lumora/AbleFarmer:1.0")) {
      Lumora::AbleFarmer_var able = Lumora::AbleFarmer::_narrow(farmer_.in());
      if (!CORBA::is_nil(able.in())) {
        omniORB::setClientCallTimeout(able.in(), timeout_ms_);
        Lumora::AbilityList_var words = able->Abilities();
        for (CORBA::ULong i = 0; i < words->length(); ++i) found.Add(words[i].in());
      }
    }
    abilities_ = found;
    return found;
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(farm::Describe(e));
  }
}

void CorbaFarmer::SendPackage(bool byDigest) {
  Lumora::FileTransform_var file = farmer_->CreateFileAndPass();
  if (CORBA::is_nil(file.in())) throw CORBA::OBJECT_NOT_EXIST();
  omniORB::setClientCallTimeout(file.in(), timeout_ms_);
  if (byDigest && !file->CreateFile(farm::OfferedPackageName(package_.digest).c_str(), 0)) {
    file->CloseFile();
    if (package_.progress) package_.progress->PackageHeld();
    return;
  }
  if (!byDigest) file->CreateFile(farm::kPackageName, 1);
  // Wraps the package without copying; the sequence does not own the bytes.
  const PackageBytes& bytes = package_.bytes;
  const auto length = static_cast<CORBA::ULong>(bytes->size());
  Lumora::BinaryFile data(length, length, const_cast<CORBA::Octet*>(bytes->data()), false);
  file->WriteBuffer(static_cast<CORBA::Long>(length), data);
  const bool kept = file->CloseFile();
  if (package_.progress) package_.progress->PackageSent(static_cast<int64_t>(length));
  // The base protocol's answer was never examined; a caching farmer's
  // refusal means it holds no package for the band.
  if (byDigest && !kept) throw FarmerUnreachable(name_ + " refused the package: its contents did not match");
}

void CorbaFarmer::HandOut(const JobParameters& job) { HandOutTo(boss_.in(), job); }

void CorbaFarmer::HandOutTo(Lumora::RenderBoss_ptr bossRef, const JobParameters& job) {
  if (!package_.bytes) throw std::runtime_error("the job package could not be read");
  // Asked before the engagement: an answer kept from the idle probe costs nothing.
  const bool byDigest = !package_.digest.empty() && Abilities().Has(farm::kAbilityCache);
  try {
    CORBA::String_var id = farmer_->ID();
    CORBA::Object_var boss = CORBA::Object::_duplicate(bossRef);
    // A busy farmer keeps its own job: it gets neither our rows nor our
    // package.
    if (!farmer_->CouldEngage(boss.inout())) throw EngagementRefused(name_ + " is busy");
    farmer_->SetData(farm::EncodeJobParameters(job));
    SendPackage(byDigest);
    farmer_->Zarvo();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(name_ + ": " + farm::Describe(e));
  }
}

bool CorbaFarmer::StopBand() { return StopFor(boss_.in()); }

bool CorbaFarmer::StopFor(Lumora::RenderBoss_ptr boss) {
  try {
    omniORB::setClientCallTimeout(farmer_.in(), kStopTimeoutMs);
    Lumora::JobFarmer_var jobFarmer = Lumora::JobFarmer::_narrow(farmer_.in());
    if (!CORBA::is_nil(jobFarmer.in())) return jobFarmer->StopJob(boss);
    return farmer_->Stop();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(name_ + ": " + farm::Describe(e));
  }
}

CorbaWorkgroup::CorbaWorkgroup(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, PackageOffer package,
                               uint32_t farmerTimeoutMs, uint32_t groupTimeoutMs)
    : group_(Kintra::WorkGroup::_duplicate(group)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      package_(std::move(package)),
      farmer_timeout_ms_(farmerTimeoutMs),
      group_timeout_ms_(groupTimeoutMs) {
  omniORB::setClientCallTimeout(group_.in(), group_timeout_ms_);
  try {
    queue_ = Kintra::JobQueue::_narrow(group_.in());
  } catch (const CORBA::SystemException&) {
    // asked the server, which did not answer: a line is not needed to render
  }
  if (!CORBA::is_nil(queue_.in())) omniORB::setClientCallTimeout(queue_.in(), group_timeout_ms_);
}

int CorbaWorkgroup::WaitInLine() {
  if (CORBA::is_nil(queue_.in())) return 0;
  return queue_->WaitInLine(boss_.in());
}

void CorbaWorkgroup::LeaveLine() {
  if (CORBA::is_nil(queue_.in())) return;
  try {
    queue_->LeaveLine(boss_.in());
  } catch (const CORBA::SystemException&) {
    // the server drops a place nobody asks for after a while
  }
}

std::vector<std::shared_ptr<FarmerLink>> CorbaWorkgroup::GetValidFarmer() {
  Kintra::farmerlist_var list = new Kintra::farmerlist;
  const auto timedOut = [this] {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.1f s", group_timeout_ms_ / 1000.0);
    return std::runtime_error(std::string("the workgroup server did not answer within ") + limit);
  };
  // omniORB says TIMEOUT, or TRANSIENT from older configurations.
  try {
    group_->GetValidFarmer(list.inout());
  } catch (const CORBA::TIMEOUT&) {
    throw timedOut();
  } catch (const CORBA::TRANSIENT& e) {
    if (e.minor() != omni::TRANSIENT_CallTimedout) throw;
    throw timedOut();
  }
  std::vector<std::shared_ptr<FarmerLink>> farmers;
  for (CORBA::ULong i = 0; i < list->length(); ++i) {
    Lumora::RenderFarmer_var farmer;
    try {
      // Narrowing may ask the farmer itself: under the time limit too.
      omniORB::setClientCallTimeout(list[i].in(), farmer_timeout_ms_);
      farmer = Lumora::RenderFarmer::_narrow(list[i].in());
    } catch (...) {
      // narrowing may ask the object itself; one that cannot answer is skipped
    }
    if (CORBA::is_nil(farmer.in())) {
      farmers.push_back(nullptr);
    } else {
      farmers.push_back(std::make_shared<CorbaFarmer>(farmer.in(), boss_.in(), package_, farmer_timeout_ms_));
    }
  }
  return farmers;
}

}  // namespace jobs
