#include "jobs/CorbaFarm.h"

#include <omniORB4/omniORB.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "idl/OrbInit.h"
#include "idl/WellKnownNames.h"

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

namespace {

// Reads the CDR encapsulation of a reference far enough to find the
// address of its first IIOP profile.
class Cdr {
 public:
  Cdr(const std::vector<unsigned char>& bytes, std::size_t begin, std::size_t end)
      : bytes_(bytes), begin_(begin), pos_(begin), end_(end) {
    little_ = Octet() == 1;
  }
  bool ok() const { return ok_; }
  unsigned char Octet() {
    if (pos_ >= end_) {
      ok_ = false;
      return 0;
    }
    return bytes_[pos_++];
  }
  uint32_t ULong() { return Number(4); }
  uint32_t UShort() { return Number(2); }
  std::string String() {
    const uint32_t length = ULong();
    if (!ok_ || length == 0 || length > end_ - pos_) {
      ok_ = false;
      return {};
    }
    std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                     bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + length - 1));
    pos_ += length;
    return text;
  }
  std::size_t pos() const { return pos_; }
  void Skip(std::size_t n) {
    if (n > end_ - pos_) ok_ = false;
    pos_ = ok_ ? pos_ + n : end_;
  }

 private:
  uint32_t Number(std::size_t size) {
    while ((pos_ - begin_) % size != 0) Octet();
    uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const uint32_t b = Octet();
      value = little_ ? value | (b << (8 * i)) : (value << 8) | b;
    }
    return value;
  }
  const std::vector<unsigned char>& bytes_;
  const std::size_t begin_;
  std::size_t pos_;
  const std::size_t end_;
  bool little_ = false;
  bool ok_ = true;
};

std::string Describe(const CORBA::Exception& e) {
  const char* name = e._name();
  return name != nullptr ? name : "CORBA exception";
}

}  // namespace

std::string AddressOfReference(const std::string& ior) {
  if (ior.rfind("IOR:", 0) != 0 || ior.size() % 2 != 0) return {};
  std::vector<unsigned char> bytes;
  for (std::size_t i = 4; i + 1 < ior.size(); i += 2) {
    const std::string pair = ior.substr(i, 2);
    char* end = nullptr;
    const long b = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return {};
    bytes.push_back(static_cast<unsigned char>(b));
  }
  Cdr ref(bytes, 0, bytes.size());
  ref.String();  // type id
  const uint32_t profiles = ref.ULong();
  for (uint32_t p = 0; p < profiles && ref.ok(); ++p) {
    const uint32_t tag = ref.ULong();
    const uint32_t length = ref.ULong();
    if (!ref.ok() || length > bytes.size() - ref.pos()) return {};
    if (tag == 0) {  // IIOP
      Cdr body(bytes, ref.pos(), ref.pos() + length);
      body.Octet();  // version
      body.Octet();
      const std::string host = body.String();
      const uint32_t port = body.UShort();
      if (body.ok()) return host + ":" + std::to_string(port);
    }
    ref.Skip(length);
  }
  return {};
}

CorbaFarmer::CorbaFarmer(Lumora::RenderFarmer_ptr farmer, Lumora::RenderBoss_ptr boss, PackageBytes package,
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
    name_ = AddressOfReference(text.in());
  } catch (...) {
  }
  if (name_.empty()) name_ = "a farmer";
}

std::string CorbaFarmer::Name() const { return name_; }

bool CorbaFarmer::IsLive() {
  try {
    return farmer_->IsLive();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(Describe(e));
  }
}

bool CorbaFarmer::IsIdle() {
  try {
    return farmer_->IsIdle();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(Describe(e));
  }
}

bool CorbaFarmer::SameFarmer(const FarmerLink& other) const {
  const auto* o = dynamic_cast<const CorbaFarmer*>(&other);
  return o != nullptr && farmer_->_is_equivalent(o->farmer_.in());
}

void CorbaFarmer::HandOut(const JobParameters& job) {
  if (!package_) throw std::runtime_error("the job package could not be read");
  try {
    CORBA::String_var id = farmer_->ID();
    CORBA::Object_var boss = CORBA::Object::_duplicate(boss_.in());
    // A busy farmer keeps its own job: it gets neither our rows nor our
    // package.
    if (!farmer_->CouldEngage(boss.inout())) throw EngagementRefused(name_ + " is busy");
    farmer_->SetData(farm::EncodeJobParameters(job));
    Lumora::FileTransform_var file = farmer_->CreateFileAndPass();
    if (CORBA::is_nil(file.in())) throw CORBA::OBJECT_NOT_EXIST();
    omniORB::setClientCallTimeout(file.in(), timeout_ms_);
    file->CreateFile(farm::kPackageName, 1);
    // Wraps the package without copying; the sequence does not own the bytes.
    const auto length = static_cast<CORBA::ULong>(package_->size());
    Lumora::BinaryFile data(length, length, const_cast<CORBA::Octet*>(package_->data()), false);
    file->WriteBuffer(static_cast<CORBA::Long>(length), data);
    file->CloseFile();
    farmer_->Zarvo();
  } catch (const CORBA::SystemException& e) {
    throw FarmerUnreachable(name_ + ": " + Describe(e));
  }
}

CorbaWorkgroup::CorbaWorkgroup(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, PackageBytes package,
                               uint32_t farmerTimeoutMs, uint32_t groupTimeoutMs)
    : group_(Kintra::WorkGroup::_duplicate(group)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      package_(std::move(package)),
      farmer_timeout_ms_(farmerTimeoutMs),
      group_timeout_ms_(groupTimeoutMs) {
  omniORB::setClientCallTimeout(group_.in(), group_timeout_ms_);
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
