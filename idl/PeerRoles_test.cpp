#include "idl/PeerRoles.h"

#include <gtest/gtest.h>

namespace farm {
namespace {

constexpr PeerRole kServer = PeerRole::kServer, kNode = PeerRole::kNode, kClient = PeerRole::kClient,
                   kNone = PeerRole::kNone;

TEST(PeerRoles, WhoMayCallWhom) {
  // A stranger's peer (no farm role) may call nothing, not even _is_a.
  for (PeerRole own : {kServer, kNode, kClient}) EXPECT_FALSE(MayCall(own, "_is_a", kNone));
  // The workgroup server: only nodes join; nodes and controllers ask for
  // the list; the policy is the controllers'.
  EXPECT_TRUE(MayCall(kServer, "Add_Farmer", kNode));
  EXPECT_FALSE(MayCall(kServer, "Add_Farmer", kClient));
  EXPECT_FALSE(MayCall(kServer, "Add_Farmer", kServer));
  EXPECT_TRUE(MayCall(kServer, "GetValidFarmer", kClient));
  EXPECT_TRUE(MayCall(kServer, "CreateWorkGroup", kNode));
  EXPECT_FALSE(MayCall(kServer, "_set_policy", kNode));
  EXPECT_TRUE(MayCall(kServer, "WaitInLine", kClient));
  EXPECT_FALSE(MayCall(kServer, "WaitInLine", kNode));
  // Controllers report their jobs; people ask the farm's state as clients.
  EXPECT_TRUE(MayCall(kServer, "JobReport", kClient));
  EXPECT_FALSE(MayCall(kServer, "JobReport", kNode));
  EXPECT_TRUE(MayCall(kServer, "FarmStatus", kClient));
  // A node: bands and files only from a controller; the server may probe.
  for (const char* op : {"CouldEngage", "SetData", "CreateFileAndPass", "WriteBuffer", "Zarvo", "Stop", "StopJob"}) {
    EXPECT_TRUE(MayCall(kNode, op, kClient)) << op;
    EXPECT_FALSE(MayCall(kNode, op, kNode)) << op;
    EXPECT_FALSE(MayCall(kNode, op, kServer)) << op;
  }
  EXPECT_TRUE(MayCall(kNode, "IsLive", kServer));
  EXPECT_TRUE(MayCall(kNode, "_get_ID", kServer));
  EXPECT_TRUE(MayCall(kNode, "Abilities", kServer));
  EXPECT_TRUE(MayCall(kNode, "Status", kServer));
  EXPECT_FALSE(MayCall(kNode, "Status", kNode));
  EXPECT_FALSE(MayCall(kNode, "IsLive", kNode));
  // A controller: rows, end messages and files from nodes only.
  for (const char* op : {"Push", "SetData", "CreateFileAndPass", "IsLive"}) {
    EXPECT_TRUE(MayCall(kClient, op, kNode)) << op;
    EXPECT_FALSE(MayCall(kClient, op, kClient)) << op;
    EXPECT_FALSE(MayCall(kClient, op, kServer)) << op;
  }
  EXPECT_TRUE(MayCall(kClient, "_non_existent", kServer));
}

TEST(PeerRoles, WhoMustAnswer) {
  // The workgroup's operations are a server's to answer, whoever calls.
  for (PeerRole own : {kServer, kNode, kClient}) EXPECT_EQ(ExpectedCallee(own, "GetValidFarmer"), kServer);
  EXPECT_EQ(ExpectedCallee(kNode, "Add_Farmer"), kServer);
  // A job's place in the work group's line is kept by the server too.
  EXPECT_EQ(ExpectedCallee(kClient, "WaitInLine"), kServer);
  EXPECT_EQ(ExpectedCallee(kClient, "LeaveLine"), kServer);
  EXPECT_EQ(ExpectedCallee(kClient, "JobReport"), kServer);
  EXPECT_EQ(ExpectedCallee(kClient, "FarmStatus"), kServer);
  EXPECT_EQ(ExpectedCallee(kServer, "Status"), kNode);
  EXPECT_EQ(ExpectedCallee(kClient, "StopJob"), kNode);
  // The same operation name has one meaning per caller.
  EXPECT_EQ(ExpectedCallee(kClient, "SetData"), kNode);
  EXPECT_EQ(ExpectedCallee(kNode, "SetData"), kClient);
  EXPECT_EQ(ExpectedCallee(kNode, "Push"), kClient);
  EXPECT_EQ(ExpectedCallee(kServer, "IsLive"), kNode);
  EXPECT_EQ(ExpectedCallee(kClient, "_get_ID"), kNode);
  EXPECT_EQ(ExpectedCallee(kClient, "_is_a"), kNone);
  EXPECT_EQ(RoleFromName("server"), kServer);
  EXPECT_EQ(RoleFromName("Server"), kNone);
  EXPECT_STREQ(RoleName(kNode), "node");
}

}  // namespace
}  // namespace farm
