#include "jobs/CorbaFarm.h"

#include <stdexcept>

namespace lumora {

Lumora::DataSeq OneFrameData(const JobParameters& job) {
  Lumora::DataSeq data;
  data.length(7);
  data[0] <<= "OneFrame";
  data[1] <<= static_cast<CORBA::Long>(job.band);
  data[2] <<= static_cast<CORBA::Long>(job.bands);
  data[3] <<= static_cast<CORBA::Long>(job.width);
  data[4] <<= static_cast<CORBA::Long>(job.height);
  data[5] <<= static_cast<CORBA::Long>(job.first_row);
  data[6] <<= static_cast<CORBA::Long>(job.last_row);
  return data;
}

CorbaFarmer::CorbaFarmer(Lumora::RenderFarmer_ptr farmer, Lumora::RenderBoss_ptr boss, PackageBytes package)
    : farmer_(Lumora::RenderFarmer::_duplicate(farmer)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      package_(std::move(package)) {}

bool CorbaFarmer::IsLive() { return farmer_->IsLive(); }

bool CorbaFarmer::IsIdle() { return farmer_->IsIdle(); }

bool CorbaFarmer::SameFarmer(const FarmerLink& other) const {
  const auto* o = dynamic_cast<const CorbaFarmer*>(&other);
  return o != nullptr && farmer_->_is_equivalent(o->farmer_.in());
}

void CorbaFarmer::HandOut(const JobParameters& job) {
  if (!package_) throw std::runtime_error("the job package could not be read");
  CORBA::String_var id = farmer_->ID();
  CORBA::Object_var boss = CORBA::Object::_duplicate(boss_.in());
  farmer_->CouldEngage(boss.inout());
  farmer_->SetData(OneFrameData(job));
  Lumora::FileTransform_var file = farmer_->CreateFileAndPass();
  if (CORBA::is_nil(file.in())) throw CORBA::OBJECT_NOT_EXIST();
  file->CreateFile("Render.zip", 1);
  // Wraps the package without copying; the sequence does not own the bytes.
  const auto length = static_cast<CORBA::ULong>(package_->size());
  Lumora::BinaryFile data(length, length, const_cast<CORBA::Octet*>(package_->data()), false);
  file->WriteBuffer(static_cast<CORBA::Long>(length), data);
  file->CloseFile();
  farmer_->Zarvo();
}

CorbaWorkgroup::CorbaWorkgroup(Kintra::WorkGroup_ptr group, Lumora::RenderBoss_ptr boss, PackageBytes package)
    : group_(Kintra::WorkGroup::_duplicate(group)),
      boss_(Lumora::RenderBoss::_duplicate(boss)),
      package_(std::move(package)) {}

std::vector<std::shared_ptr<FarmerLink>> CorbaWorkgroup::GetValidFarmer() {
  Kintra::farmerlist_var list = new Kintra::farmerlist;
  group_->GetValidFarmer(list.inout());
  std::vector<std::shared_ptr<FarmerLink>> farmers;
  for (CORBA::ULong i = 0; i < list->length(); ++i) {
    Lumora::RenderFarmer_var farmer;
    try {
      farmer = Lumora::RenderFarmer::_narrow(list[i].in());
    } catch (...) {
      // narrowing may ask the object itself; one that cannot answer is skipped
    }
    if (CORBA::is_nil(farmer.in())) {
      farmers.push_back(nullptr);
    } else {
      farmers.push_back(std::make_shared<CorbaFarmer>(farmer.in(), boss_.in(), package_));
    }
  }
  return farmers;
}

}  // namespace lumora
