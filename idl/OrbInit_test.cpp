#include "idl/OrbInit.h"

#include <gtest/gtest.h>
#include <omniORB4/omniORB.h>

#include <string>
#include <vector>

namespace {

// One ORB per process: the row sender's client-only start must not serve,
// and a later server start of the same process must.
TEST(OrbInitTest, ClientOnlyStartHoldsTheRootAdapterAndAServerStartActivatesIt) {
  const std::vector<std::string> args = {"orb_init_test", "-ORBendPoint", "giop:tcp:127.0.0.1:"};
  const farm::StartedOrb client = farm::StartOrb(args, farm::OrbRole::kClientOnly);
  ASSERT_FALSE(CORBA::is_nil(client.rootPoa.in()));
  EXPECT_EQ(client.manager->get_state(), PortableServer::POAManager::HOLDING);
  // Every farm program takes whole job packages in one message.
  EXPECT_EQ(omniORB::giopMaxMsgSize(), farm::kMaxMessageBytes);

  const farm::StartedOrb server = farm::StartOrb(args);
  EXPECT_EQ(server.manager->get_state(), PortableServer::POAManager::ACTIVE);
  server.orb->destroy();
}

TEST(OrbInitTest, DescribeNamesTheExceptionAndOnRequestTheMinorCode) {
  const CORBA::TRANSIENT transient(7, CORBA::COMPLETED_NO);
  EXPECT_EQ(farm::Describe(transient), "TRANSIENT");
  EXPECT_EQ(farm::Describe(transient, farm::ExceptionDetail::kWithMinor), "TRANSIENT (minor 7)");
  // A user exception has no minor code.
  const CORBA::ORB::InvalidName invalid;
  EXPECT_EQ(farm::Describe(invalid, farm::ExceptionDetail::kWithMinor), "InvalidName");
}

}  // namespace
