// The name registry as a real process on a private port, and the name
// binding calls against it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "registry/NameBinding.h"
#include "registry/StoreFile.h"
#include "tests/support/FakeFarmer.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;

std::string D(const std::string& text) { return text + std::string(1, '\0'); }

// Asks and expects an answer.
std::string Ask(const Farm& farm, const std::string& request) {
  std::string answer;
  EXPECT_TRUE(farm.Registry(2000, 1).Ask(request, &answer)) << request;
  return answer;
}

// Sends raw bytes and tells whether anything came back.
bool Answered(const Farm& farm, const std::string& datagram) {
  std::string answer;
  return farm.Registry().SendRaw(datagram, &answer, 250);
}

std::vector<registry::RegistryEntry> Stored(const Farm& farm) {
  std::vector<registry::RegistryEntry> entries;
  std::string error;
  EXPECT_EQ(registry::store_file::Read(farm.StoreFile(), &entries, &error), registry::store_file::ReadResult::kLoaded)
      << error;
  return entries;
}

TEST(RegistryProcess, AnswersRotatesAndSurvivesJunk) {
  Farm farm;
  Process* ledgo = farm.StartRegistry();
  ASSERT_TRUE(ledgo && ledgo->Running());
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "noneior");
  EXPECT_EQ(Ask(farm, "PUT;WorkGroup;IOR:one;k1"), "k1");
  EXPECT_EQ(Ask(farm, "PUT;;WorkGroup;;IOR:two;k2"), "k2");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:two");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:one");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:two");

  EXPECT_FALSE(Answered(farm, "Get;WorkGroup"));                              // no NUL
  EXPECT_FALSE(Answered(farm, D("Get;WorkGroup" + std::string(1500, ';'))));  // oversize
  EXPECT_FALSE(Answered(farm, D(std::string(1022, 'x'))));                    // no room for the host
  EXPECT_FALSE(Answered(farm, std::string("\xff\xfe\x00\x01\x02", 5)));
  EXPECT_FALSE(Answered(farm, D("get;WorkGroup")));
  EXPECT_FALSE(Answered(farm, D("PUT;WorkGroup;IOR:three")));
  EXPECT_FALSE(Answered(farm, std::string()));
  EXPECT_TRUE(ledgo->Running());
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:one");
  EXPECT_EQ(Stored(farm).size(), 2u);

  EXPECT_TRUE(ledgo->WaitForOutput("注册服务:WorkGroup\n", 2s)) << ledgo->Output();
  EXPECT_TRUE(ledgo->WaitForOutput("解析服务:WorkGroup\n", 2s)) << ledgo->Output();
}

TEST(RegistryProcess, AnswersComeFromAnotherPort) {
  Farm farm;
  ASSERT_TRUE(farm.StartRegistry());
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(farm.RegistryPort());
  const std::string request = D("Get;WorkGroup");
  ASSERT_EQ(sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)),
            static_cast<ssize_t>(request.size()));
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  char buf[64];
  sockaddr_in from{};
  socklen_t len = sizeof(from);
  ssize_t n = recvfrom(fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &len);
  close(fd);
  ASSERT_EQ(n, 8);
  EXPECT_EQ(std::string(buf, 8), D("noneior"));
  EXPECT_NE(ntohs(from.sin_port), farm.RegistryPort());
}

TEST(RegistryProcess, StopEndsTheServiceLoop) {
  Farm farm;
  Process* ledgo = farm.StartRegistry();
  ASSERT_TRUE(ledgo);
  EXPECT_EQ(Ask(farm, "PUT;WorkGroup;IOR:one;k1"), "k1");
  EXPECT_TRUE(std::filesystem::exists(farm.StoreFile()));
  EXPECT_EQ(Ask(farm, "STOP"), "k1");
  EXPECT_TRUE(WaitUntil([&] { return !std::filesystem::exists(farm.StoreFile()); }, 5s));
  EXPECT_FALSE(Answered(farm, D("Get;WorkGroup")));
  // The program stays until it is told to end.
  EXPECT_TRUE(ledgo->Running());
  ledgo->Signal(SIGTERM);
  EXPECT_EQ(ledgo->WaitExit(5s), 0);
}

TEST(RegistryProcess, KilledRegistryRestartsWithItsTable) {
  Farm farm;
  Process* first = farm.StartRegistry();
  ASSERT_TRUE(first);
  Ask(farm, "PUT;WorkGroup;IOR:one;k1");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:one");
  Ask(farm, "PUT;WorkGroup;IOR:two;k2");
  first->Kill();
  first->WaitExit(5s);
  ASSERT_TRUE(std::filesystem::exists(farm.StoreFile()));

  Process* second = farm.StartRegistry();
  ASSERT_TRUE(second && second->Running()) << (second ? second->Output() : "");
  // Counts as saved with the last registration: one 1, two 0.
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:two");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:two");
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:one");
  EXPECT_TRUE(second->WaitForOutput("来自解析服务:WorkGroup\n", 2s)) << second->Output();

  // An orderly end removes the copy.
  second->Signal(SIGTERM);
  EXPECT_EQ(second->WaitExit(5s), 0);
  EXPECT_FALSE(std::filesystem::exists(farm.StoreFile()));
}

TEST(RegistryProcess, PortInUseEndsTheSecondRegistry) {
  Farm farm;
  Process* first = farm.StartRegistry();
  ASSERT_TRUE(first);
  Ask(farm, "PUT;WorkGroup;IOR:one;k1");
  Process* second = farm.StartProgram({(BinDir() / "ledgo").string()}, "ledgo");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->WaitExit(5s), 1);
  EXPECT_NE(second->Output().find("端口被占用---退出程序"), std::string::npos) << second->Output();
  EXPECT_NE(second->Output().find("UDP port " + std::to_string(farm.RegistryPort()) + " is taken"), std::string::npos)
      << second->Output();
  // With an English locale the box is in English; the default stays as is.
  {
    ScopedEnv english("LANG", "en_US.UTF-8");
    Process* third = farm.StartProgram({(BinDir() / "ledgo").string()}, "ledgo");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->WaitExit(5s), 1);
    EXPECT_NE(third->Output().find("Port taken - ending the program"), std::string::npos) << third->Output();
    EXPECT_EQ(third->Output().find("端口被占用"), std::string::npos) << third->Output();
  }
  // The second one did not touch the first one's store file.
  EXPECT_EQ(Stored(farm).size(), 1u);
  EXPECT_EQ(Ask(farm, "Get;WorkGroup"), "IOR:one");
}

class NameBindingTest : public ::testing::Test {
 protected:
  CORBA::Object_ptr NewObject(FakeFarmer** servant = nullptr) {
    auto* s = new FakeFarmer();
    CORBA::Object_ptr ref = orb_->Activate(s);
    s->_remove_ref();
    if (servant) *servant = s;
    return ref;
  }

  Farm farm_;
  std::unique_ptr<TestOrb> orb_ = std::make_unique<TestOrb>();
};

TEST_F(NameBindingTest, PublishesOnceAndResolves) {
  ASSERT_TRUE(farm_.StartRegistry());
  CORBA::Object_var obj = NewObject();
  EXPECT_EQ(registry::bind_service(orb_->orb(), "WorkGroup", obj), 0);
  EXPECT_EQ(registry::bind_service(orb_->orb(), "WorkGroup", obj), 0);  // same key: still one entry
  auto stored = Stored(farm_);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].reference, orb_->ToString(obj));
  EXPECT_EQ(stored[0].key.rfind("127.0.0.1:", 0), 0u) << stored[0].key;

  CORBA::Object_var found = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 1);
  EXPECT_TRUE(found->_is_equivalent(obj));
  EXPECT_THROW(registry::resolve_initial_references2(orb_->orb(), "Nothing", 1), CORBA::OBJECT_NOT_EXIST);
  EXPECT_THROW(registry::resolve_initial_references2(orb_->orb(), "Work;Group", 1), CORBA::BAD_PARAM);
  EXPECT_NE(registry::bind_service(orb_->orb(), "WorkGroup", CORBA::Object::_nil()), 0);
}

TEST_F(NameBindingTest, RegistrationsOfGoneServersAreCleared) {
  ASSERT_TRUE(farm_.StartRegistry());
  CORBA::Object_var live = NewObject();
  FakeFarmer* goneServant = nullptr;
  CORBA::Object_var gone = NewObject(&goneServant);
  const std::string goneIor = orb_->ToString(gone);
  orb_->Deactivate(goneServant);
  ASSERT_EQ(registry::bind_service(orb_->orb(), "WorkGroup", live), 0);
  ASSERT_EQ(Ask(farm_, "PUT;WorkGroup;" + goneIor + ";old"), "old");

  // The registry hands out the gone one first; the look-up sees through it
  // and removes it for everyone.
  CORBA::Object_var found = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 1);
  EXPECT_TRUE(found->_is_equivalent(live));
  const std::string liveIor = orb_->ToString(live);
  EXPECT_EQ(Ask(farm_, "Get;WorkGroup"), liveIor);
  EXPECT_EQ(Ask(farm_, "Get;WorkGroup"), liveIor);

  // Flag 0 takes the registry's answer as it stands.
  ASSERT_EQ(Ask(farm_, "PUT;WorkGroup;" + goneIor + ";old"), "old");
  CORBA::Object_var raw = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 0);
  EXPECT_EQ(orb_->ToString(raw), goneIor);

  // A server whose process is gone (nothing listens) is cleared as well;
  // with nothing left the look-up fails.
  Process* proc = farm_.StartProgram({(TestProgramDir() / "workgroup_farmer").string()}, "farmer");
  ASSERT_TRUE(proc && proc->WaitForOutput("\n", 10s));
  const std::string procIor = proc->Output().substr(0, proc->Output().find('\n'));
  proc->Kill();
  proc->WaitExit(5s);
  ASSERT_EQ(Ask(farm_, "PUT;Solo;" + procIor + ";solo"), "solo");
  EXPECT_THROW(registry::resolve_initial_references2(orb_->orb(), "Solo", 1), CORBA::OBJECT_NOT_EXIST);
}

TEST_F(NameBindingTest, StoppedServerKeepsItsRegistration) {
  ASSERT_TRUE(farm_.StartRegistry());
  Process* proc = farm_.StartProgram({(TestProgramDir() / "workgroup_farmer").string()}, "farmer");
  ASSERT_TRUE(proc && proc->WaitForOutput("\n", 10s));
  const std::string ior = proc->Output().substr(0, proc->Output().find('\n'));
  ASSERT_EQ(Ask(farm_, "PUT;Paused;" + ior + ";paused"), "paused");
  ASSERT_TRUE(proc->Suspend(10s));
  const auto start = std::chrono::steady_clock::now();
  CORBA::Object_var found = registry::resolve_initial_references2(orb_->orb(), "Paused", 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
  EXPECT_EQ(orb_->ToString(found), ior);
  EXPECT_EQ(Ask(farm_, "Get;Paused"), ior);  // not removed: it may wake up
  proc->Kill();
}

TEST_F(NameBindingTest, RegistryDownFailsInBoundedTime) {
  // No registry on this farm's port.
  CORBA::Object_var obj = NewObject();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 1), CORBA::TRANSIENT);
  EXPECT_EQ(registry::bind_service(orb_->orb(), "WorkGroup", obj), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(NameBinding, InitialReferenceOnTheCommandLineComesFirst) {
  Farm farm;  // no registry at all
  const std::string url = "corbaloc::127.0.0.1:1/Elsewhere";
  TestOrb orb({"-ORBInitRef", "WorkGroup=" + url});
  CORBA::Object_var found = registry::resolve_initial_references2(orb.orb(), "WorkGroup", 1);
  CORBA::Object_var expected = orb.FromString(url);
  EXPECT_TRUE(found->_is_equivalent(expected));
  EXPECT_THROW(registry::resolve_initial_references2(orb.orb(), "Other", 1), CORBA::TRANSIENT);
}

}  // namespace
}  // namespace farmtest
