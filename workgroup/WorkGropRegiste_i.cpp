#include "workgroup/WorkGropRegiste_i.h"

#include "idl/OrbInit.h"

namespace workgroup {

WorkGropRegiste_i::WorkGropRegiste_i(PortableServer::POA_ptr poa, std::shared_ptr<StatusBoard> board)
    : poa_(PortableServer::POA::_duplicate(poa)), board_(std::move(board)) {
  int argc = 0;
  CORBA::ORB_var orb = farm::InitOrb(argc, nullptr);  // the server's own, running
  gatherer_ = std::make_shared<StatusGatherer>(orb.in(), board_, WorkGroup_i::kFarmerCallTimeoutMs);
  gatherer_->Start();
}

WorkGropRegiste_i::~WorkGropRegiste_i() { gatherer_->Stop(); }

Kintra::WorkGroup_ptr WorkGropRegiste_i::CreateWorkGroup(const char* name) {
  try {
    Group* group = groups_.FindOrCreate(name ? name : "", [this](const std::string& n) {
      auto g = std::make_unique<Group>();
      g->servant = new WorkGroup_i(n, board_, gatherer_);
      PortableServer::ObjectId_var id = poa_->activate_object(g->servant.in());
      CORBA::Object_var obj = poa_->id_to_reference(id.in());
      g->reference = Kintra::WorkGroup::_narrow(obj);
      return g;
    });
    if (group == nullptr) return Kintra::WorkGroup::_nil();
    return Kintra::WorkGroup::_duplicate(group->reference);
  } catch (...) {
    return Kintra::WorkGroup::_nil();
  }
}

}  // namespace workgroup
