#pragma once
#include <memory>
#include <string>

#include "Kintra.hh"
#include "workgroup/GroupDirectory.h"
#include "workgroup/WorkGroup_i.h"

namespace workgroup {

// The servant of the work group registry: hands out work groups by name.
// Work groups are activated in `poa` (the root POA: transient references
// with identities chosen by the POA) and live as long as this object. Their
// nodes are asked for their state into `board` (StatusGatherer) while this
// object lives.
//
// Called on any ORB thread, several at once: the directory's lock guards the groups.
class WorkGropRegiste_i : public POA_Kintra::WorkGropRegiste {
 public:
  WorkGropRegiste_i(PortableServer::POA_ptr poa, std::shared_ptr<StatusBoard> board);
  ~WorkGropRegiste_i() override;

  // The work group called `name`, made on its first use; the same name
  // always yields the same object. Nil when it cannot be made.
  Kintra::WorkGroup_ptr CreateWorkGroup(const char* name) override;

 private:
  struct Group {
    PortableServer::Servant_var<WorkGroup_i> servant;
    Kintra::WorkGroup_var reference;
  };

  PortableServer::POA_var poa_;
  GroupDirectory<Group> groups_;
  const std::shared_ptr<StatusBoard> board_;
  // Declared after the groups: it stops before they go.
  std::shared_ptr<StatusGatherer> gatherer_;
};

}  // namespace workgroup
