// The workgroup server as a real process, reached through the real name
// registry, with farmers served by this test (and some in processes of
// their own that can be stopped).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "Kintra.hh"
#include "registry/NameBinding.h"
#include "registry/StoreFile.h"
#include "tests/support/FakeFarmer.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;

class WorkgroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orb_ = std::make_unique<TestOrb>();
    ASSERT_TRUE(farm_.StartRegistry());
    hub_ = farm_.StartWorkgroup(orb_->orb());
    ASSERT_TRUE(hub_ && hub_->Running()) << (hub_ ? hub_->Output() : "");
    CORBA::Object_var obj = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 1);
    registry_ = Kintra::WorkGropRegiste::_narrow(obj);
    ASSERT_FALSE(CORBA::is_nil(registry_));
  }

  void TearDown() override {
    registry_ = Kintra::WorkGropRegiste::_nil();
    orb_.reset();
  }

  Kintra::WorkGroup_ptr Group(const char* name) {
    Kintra::WorkGroup_var g = registry_->CreateWorkGroup(name);
    EXPECT_FALSE(CORBA::is_nil(g));
    return g._retn();
  }

  // A farmer served here; the POA keeps it alive.
  std::pair<FakeFarmer*, CORBA::Object_ptr> NewFarmer() {
    auto* servant = new FakeFarmer();
    CORBA::Object_ptr ref = orb_->Activate(servant);
    servant->_remove_ref();
    return {servant, ref};
  }

  // A farmer in a process of its own: the process and its reference.
  std::pair<Process*, CORBA::Object_ptr> FarmerProcess() {
    Process* p = farm_.StartProgram({(TestProgramDir() / "workgroup_farmer").string()}, "farmer");
    EXPECT_TRUE(p && p->WaitForOutput("\n", 10s));
    std::string out = p ? p->Output() : "";
    std::string ior = out.substr(0, out.find('\n'));
    return {p, orb_->FromString(ior)};
  }

  static std::vector<CORBA::Object_var> Valid(Kintra::WorkGroup_ptr group) {
    Kintra::farmerlist_var list = new Kintra::farmerlist;
    EXPECT_TRUE(group->GetValidFarmer(list.inout()));
    std::vector<CORBA::Object_var> out;
    for (CORBA::ULong i = 0; i < list->length(); ++i) out.push_back(CORBA::Object::_duplicate(list[i]));
    return out;
  }

  static bool Add(Kintra::WorkGroup_ptr group, CORBA::Object_ptr farmer) {
    CORBA::Object_var inout = CORBA::Object::_duplicate(farmer);
    return group->Add_Farmer(inout.inout());
  }

  Farm farm_;
  std::unique_ptr<TestOrb> orb_;
  Process* hub_ = nullptr;
  Kintra::WorkGropRegiste_var registry_;
};

TEST_F(WorkgroupTest, GroupsByExactNameAndPolicy) {
  Kintra::WorkGroup_var tessel = Group("Tessel");
  Kintra::WorkGroup_var again = Group("Tessel");
  Kintra::WorkGroup_var lower = Group("tessel");
  Kintra::WorkGroup_var empty = Group("");
  EXPECT_TRUE(tessel->_is_equivalent(again));
  EXPECT_FALSE(tessel->_is_equivalent(lower));
  EXPECT_FALSE(lower->_is_equivalent(empty));
  EXPECT_TRUE(empty->_is_equivalent(Kintra::WorkGroup_var(Group("")).in()));

  // A new group answers an empty list, whatever the caller sent.
  Kintra::farmerlist_var list = new Kintra::farmerlist;
  list->length(2);
  list[0] = CORBA::Object::_duplicate(registry_.in());
  list[1] = CORBA::Object::_duplicate(registry_.in());
  EXPECT_TRUE(tessel->GetValidFarmer(list.inout()));
  EXPECT_EQ(list->length(), 0u);

  EXPECT_EQ(tessel->policy(), 0);
  tessel->policy(42);
  lower->policy(-7);
  EXPECT_EQ(again->policy(), 42);
  EXPECT_EQ(lower->policy(), -7);
}

TEST_F(WorkgroupTest, AddFarmerCallsBackAndListsEveryAddition) {
  Kintra::WorkGroup_var group = Group("Tessel");
  auto [first, firstRef] = NewFarmer();
  auto [second, secondRef] = NewFarmer();
  CORBA::Object_var a = firstRef, b = secondRef;

  // The ID call back reaches the farmer while Add_Farmer waits.
  std::atomic<bool> adding{false};
  std::atomic<int> idWhileAdding{0};
  first->onId = [&] { idWhileAdding += adding ? 1 : 0; };
  adding = true;
  EXPECT_TRUE(Add(group, a));
  adding = false;
  EXPECT_EQ(idWhileAdding, 1);
  EXPECT_EQ(first->idCalls, 1);
  EXPECT_TRUE(Add(group, b));
  EXPECT_TRUE(Add(group, a));
  EXPECT_EQ(first->idCalls, 2);
  EXPECT_EQ(second->idCalls, 1);

  // Nil and non-farmers are refused and change nothing.
  CORBA::Object_var nil;
  EXPECT_FALSE(Add(group, nil));
  EXPECT_FALSE(Add(group, group.in()));
  EXPECT_FALSE(Add(group, registry_.in()));

  second->live = false;  // answering FALSE still counts as an answer
  auto valid = Valid(group);
  ASSERT_EQ(valid.size(), 3u);
  EXPECT_TRUE(valid[0]->_is_equivalent(a));
  EXPECT_TRUE(valid[1]->_is_equivalent(b));
  EXPECT_TRUE(valid[2]->_is_equivalent(a));
  EXPECT_EQ(first->liveCalls, 2);
  EXPECT_EQ(second->liveCalls, 1);
}

TEST_F(WorkgroupTest, UnreachableFarmersAreDroppedInOnePass) {
  Kintra::WorkGroup_var group = Group("Tessel");
  auto [live, liveRef] = NewFarmer();
  auto [gone, goneRef] = NewFarmer();
  auto [proc, procRef] = FarmerProcess();
  auto [after, afterRef] = NewFarmer();
  CORBA::Object_var l = liveRef, g = goneRef, p = procRef, a = afterRef;
  ASSERT_TRUE(proc);
  for (CORBA::Object_ptr f : {l.in(), g.in(), p.in(), a.in()}) ASSERT_TRUE(Add(group, f));

  orb_->Deactivate(gone);  // no such object any more
  proc->Kill();            // nothing listens any more
  proc->WaitExit(5s);
  auto valid = Valid(group);
  ASSERT_EQ(valid.size(), 2u);
  EXPECT_TRUE(valid[0]->_is_equivalent(l));
  EXPECT_TRUE(valid[1]->_is_equivalent(a));
  EXPECT_EQ(after->liveCalls, 1);
  EXPECT_EQ(Valid(group).size(), 2u);
}

// Stopped farmers are probed all at once: together they cost one probe
// limit, and the server answers other callers meanwhile.
TEST_F(WorkgroupTest, StoppedFarmersCostOneProbeLimitTogether) {
  Kintra::WorkGroup_var group = Group("Tessel");
  std::vector<Process*> stopped;
  for (int i = 0; i < 4; ++i) {
    auto [proc, procRef] = FarmerProcess();
    CORBA::Object_var p = procRef;
    ASSERT_TRUE(proc);
    ASSERT_TRUE(Add(group, p));
    stopped.push_back(proc);
  }
  auto [after, afterRef] = NewFarmer();
  CORBA::Object_var a = afterRef;
  ASSERT_TRUE(Add(group, a));
  ASSERT_EQ(Valid(group).size(), 5u);

  for (Process* proc : stopped) ASSERT_TRUE(proc->Suspend(10s));
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration took{};
  std::vector<CORBA::Object_var> valid;
  std::thread pass([&] {
    valid = Valid(group);
    took = std::chrono::steady_clock::now() - start;
  });
  std::this_thread::sleep_for(300ms);
  const auto asked = std::chrono::steady_clock::now();
  group->policy(7);
  EXPECT_EQ(group->policy(), 7);
  Kintra::WorkGroup_var other = Group("Other");
  const auto answered = std::chrono::steady_clock::now() - asked;
  pass.join();
  ASSERT_EQ(valid.size(), 1u);
  EXPECT_TRUE(valid[0]->_is_equivalent(a));
  EXPECT_LT(answered, 1s) << "the server stood still while it probed";
  // Bounded by the server's 2 s limit on the probe, not by the ORB's own,
  // nor by one limit per stopped farmer (8 s).
  EXPECT_GT(took, 1500ms);
  EXPECT_LT(took, 5s);
  for (Process* proc : stopped) proc->Kill();
}

TEST_F(WorkgroupTest, RestartOnTheSameEndpointKeepsThePublishedReference) {
  Kintra::WorkGroup_var group = Group("Tessel");
  auto [farmer, farmerRef] = NewFarmer();
  CORBA::Object_var f = farmerRef;
  ASSERT_TRUE(Add(group, f));
  ASSERT_EQ(Valid(group).size(), 1u);

  hub_->Signal(SIGTERM);
  ASSERT_EQ(hub_->WaitExit(10s), 0) << hub_->Output();
  Process* restarted = farm_.StartWorkgroup(orb_->orb());
  ASSERT_TRUE(restarted && restarted->Running()) << (restarted ? restarted->Output() : "");

  // The reference resolved before the restart works again, and the group
  // it hands out is a new, empty one.
  Kintra::WorkGroup_var fresh = Group("Tessel");
  EXPECT_TRUE(Valid(fresh).empty());
  EXPECT_EQ(farmer->liveCalls, 1);

  // The second registration of the same endpoint left one entry behind.
  std::vector<registry::RegistryEntry> stored;
  std::string error;
  ASSERT_EQ(registry::store_file::Read(farm_.StoreFile(), &stored, &error), registry::store_file::ReadResult::kLoaded);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "WorkGroup");
}

}  // namespace
}  // namespace farmtest
