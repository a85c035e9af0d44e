#include "tests/support/FakeFarmer.h"

namespace farmtest {

char* FakeFarmer::ID() {
  ++idCalls;
  if (onId) onId();
  return CORBA::string_dup(id_.c_str());
}

CORBA::Boolean FakeFarmer::IsLive() {
  ++liveCalls;
  return live.load();
}

CORBA::Boolean FakeFarmer::CouldEngage(CORBA::Object_ptr&) { return false; }

}  // namespace farmtest
