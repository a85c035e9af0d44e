#include "workgroup/WorkGropRegiste_i.h"

namespace workgroup {

WorkGropRegiste_i::WorkGropRegiste_i(PortableServer::POA_ptr poa) : poa_(PortableServer::POA::_duplicate(poa)) {}

Kintra::WorkGroup_ptr WorkGropRegiste_i::CreateWorkGroup(const char* name) {
  try {
    Group* group = groups_.FindOrCreate(name ? name : "", [this](const std::string& n) {
      auto g = std::make_unique<Group>();
      g->servant = new WorkGroup_i(n);
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
