#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "idl/ConfigRecords.h"
#include "tests/support/BossBase.h"
#include "tests/support/FakeFarmer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"
#include "transfer/RowSender.h"

namespace {

namespace fs = std::filesystem;

class RowBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq&) override {}
  void Push(CORBA::Long line, const Lumora::ColorLine& colors) override {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_[line].assign(colors.get_buffer(), colors.get_buffer() + colors.length());
  }
  std::map<int, std::vector<std::int32_t>> Rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
  }

 private:
  std::mutex mutex_;
  std::map<int, std::vector<std::int32_t>> rows_;
};

class RowSenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { orb_ = new farmtest::TestOrb(); }
  static void TearDownTestSuite() {
    delete orb_;
    orb_ = nullptr;
  }

  // A boss served here, written into boss.ini of the test folder.
  RowBoss* NewBoss(CORBA::Object_var* ref) {
    auto* boss = new RowBoss();
    *ref = orb_->Activate(boss);
    return boss;  // the test and the POA both hold it
  }
  void Engage(CORBA::Object_ptr boss) {
    ASSERT_TRUE(farm::WriteBossIni(dir_.path() / "boss.ini", orb_->ToString(boss), nullptr));
  }

  static farmtest::TestOrb* orb_;
  farmtest::TempDir dir_;
  const std::vector<std::string> args_ = {"pvengine", "/Exit", "/Render"};
};
farmtest::TestOrb* RowSenderTest::orb_ = nullptr;

TEST_F(RowSenderTest, RowsReachTheBossNamedInBossIni) {
  transfer::RowSender sender;
  const std::int32_t row[] = {0x0000FF, 0x00FF00, 0xFF0000};
  EXPECT_FALSE(sender.Send(1, 3, row));  // before connecting
  EXPECT_FALSE(sender.IsOK());

  CORBA::Object_var ref;
  RowBoss* boss = NewBoss(&ref);
  Engage(ref);
  const platform::Status connected = sender.Connect(args_, dir_.path());
  ASSERT_TRUE(connected) << connected.reason();
  EXPECT_TRUE(sender.Send(7, 3, row));
  EXPECT_TRUE(sender.Send(8, 0, nullptr));  // an empty row is still a row
  EXPECT_FALSE(sender.Send(9, -1, row));
  EXPECT_FALSE(sender.IsOK());  // nothing ever marks the library ready
  const auto rows = boss->Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows.at(7), (std::vector<std::int32_t>{0x0000FF, 0x00FF00, 0xFF0000}));
  EXPECT_TRUE(rows.at(8).empty());
  boss->_remove_ref();
}

TEST_F(RowSenderTest, ConnectingAgainFollowsANewEngagement) {
  CORBA::Object_var firstRef, secondRef;
  RowBoss* first = NewBoss(&firstRef);
  RowBoss* second = NewBoss(&secondRef);
  transfer::RowSender sender;
  Engage(firstRef);
  platform::Status connected = sender.Connect(args_, dir_.path());
  ASSERT_TRUE(connected) << connected.reason();
  const std::int32_t px = 0x123456;
  EXPECT_TRUE(sender.Send(1, 1, &px));
  Engage(secondRef);  // a shorter or longer reference: the file is replaced whole
  connected = sender.Connect(args_, dir_.path());
  ASSERT_TRUE(connected) << connected.reason();
  EXPECT_TRUE(sender.Send(2, 1, &px));
  EXPECT_EQ(first->Rows().size(), 1u);
  EXPECT_EQ(second->Rows().size(), 1u);
  EXPECT_EQ(second->Rows().count(2), 1u);

  // A boss that is gone: connecting fails and no row goes anywhere.
  orb_->Deactivate(second);
  EXPECT_FALSE(sender.Connect(args_, dir_.path()));
  EXPECT_FALSE(sender.Send(3, 1, &px));
  first->_remove_ref();
  second->_remove_ref();
}

// A boss that fails the identity check once, as a busy link might.
class ShyBoss : public RowBoss {
 public:
  char* ID() override { throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO); }
};

TEST_F(RowSenderTest, ABossThatMissesTheCheckStillGetsTheRows) {
  auto* boss = new ShyBoss();
  CORBA::Object_var ref = orb_->Activate(boss);
  Engage(ref);
  transfer::RowSender sender;
  const platform::Status connected = sender.Connect(args_, dir_.path());
  EXPECT_FALSE(connected);
  EXPECT_NE(connected.reason().find("TRANSIENT"), std::string::npos) << connected.reason();
  const std::int32_t px = 0x10203;
  EXPECT_TRUE(sender.Send(5, 1, &px));
  EXPECT_EQ(boss->Rows().count(5), 1u);
  boss->_remove_ref();
}

TEST_F(RowSenderTest, MissingOrBadBossIniFails) {
  transfer::RowSender sender;
  const platform::Status missing = sender.Connect(args_, dir_.path());
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.reason().empty());
  ASSERT_TRUE(farm::WriteBossIni(dir_.path() / "boss.ini", "IOR:not-a-reference", nullptr));
  EXPECT_FALSE(sender.Connect(args_, dir_.path()));
  ASSERT_TRUE(farm::WriteBossIni(dir_.path() / "boss.ini", "", nullptr));
  EXPECT_FALSE(sender.Connect(args_, dir_.path()));
  // A farmer is not a boss.
  auto* farmer = new farmtest::FakeFarmer();
  CORBA::Object_var notBoss = orb_->Activate(farmer);
  farmer->_remove_ref();
  Engage(notBoss);
  EXPECT_FALSE(sender.Connect(args_, dir_.path()));
  const std::int32_t px = 0;
  EXPECT_FALSE(sender.Send(1, 1, &px));
}

TEST(OwnCommandLineTest, ReadsThisProcess) {
  const std::vector<std::string> args = transfer::OwnCommandLine();
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("ferrix_test"), std::string::npos);
}

// The exported functions, as an engine loads them: without a boss.ini or
// Farmer.ini beside this program they fail, and the failing start says so
// on standard error instead of waiting for a click.
TEST(FerrixLibraryTest, WithoutItsFilesTheLibraryRefusesQuietly) {
  const fs::path here = farmtest::TestProgramDir();
  if (fs::exists(here / "boss.ini") || fs::exists(here / "Farmer.ini")) GTEST_SKIP() << "job records beside the test";
  void* lib = dlopen((farmtest::BinDir() / "libferrix.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto init = reinterpret_cast<bool (*)()>(dlsym(lib, "Transformdata_init"));
  auto send = reinterpret_cast<bool (*)(std::int32_t, std::int32_t, const std::int32_t*)>(dlsym(lib, "Transformdata"));
  auto getbegin =
      reinterpret_cast<bool (*)(std::int32_t*, std::int32_t*, std::int32_t*)>(dlsym(lib, "Transformdata_getbegin"));
  auto isOk = reinterpret_cast<bool (*)()>(dlsym(lib, "Transformdata_IsOK"));
  ASSERT_TRUE(init && send && getbegin && isOk);
  EXPECT_EQ(dlsym(lib, "_ZN8transfer9RowSender4SendEiiPKi"), nullptr);  // nothing else is exported

  const std::int32_t px[2] = {1, 2};
  EXPECT_FALSE(send(1, 2, px));
  EXPECT_FALSE(isOk());
  std::int32_t a = -5, b = -6, c = -7;
  EXPECT_FALSE(getbegin(&a, &b, &c));
  EXPECT_EQ(a, -5);
  EXPECT_EQ(b, -6);
  EXPECT_EQ(c, -7);

  // Catch standard error around the failing start.
  farmtest::TempDir dir;
  const fs::path errFile = dir.path() / "stderr.txt";
  std::fflush(stderr);
  const int saved = dup(2);
  const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, 2);
  close(fd);
  const bool started = init();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  EXPECT_FALSE(started);
  EXPECT_NE(farmtest::ReadFile(errFile).find("TransFormInit error \n"), std::string::npos)
      << farmtest::ReadFile(errFile);
  EXPECT_FALSE(send(1, 2, px));
  EXPECT_FALSE(isOk());
}

}  // namespace
