// A farmer in a process of its own, for tests that need one they can stop
// or kill: prints its reference on one line and serves until killed.
#include <unistd.h>

#include <iostream>

#include "tests/support/FakeFarmer.h"
#include "tests/support/TestOrb.h"

int main() {
  farmtest::TestOrb orb;
  PortableServer::Servant_var<farmtest::FakeFarmer> farmer = new farmtest::FakeFarmer("Farmer_Process");
  CORBA::Object_var ref = orb.Activate(farmer.in());
  std::cout << orb.ToString(ref) << std::endl;
  for (;;) pause();
}
