#include "registry/RegistryService.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "registry/StoreFile.h"

namespace registry {
namespace {

std::string D(const std::string& text) { return text + std::string(1, '\0'); }

class RegistryServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/regservice-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<RegistryService> Make() {
    RegistryService::Hooks hooks;
    hooks.log = [this](const std::string& line) { log_.push_back(line); };
    hooks.sameReference = [this] { ++sameIor_; };
    return std::make_unique<RegistryService>(dir_ / "~BS.bak", hooks);
  }

  std::vector<RegistryEntry> Stored() {
    std::vector<RegistryEntry> entries;
    std::string error;
    EXPECT_EQ(registry::store_file::Read(dir_ / "~BS.bak", &entries, &error), registry::store_file::ReadResult::kLoaded)
        << error;
    return entries;
  }

  std::filesystem::path dir_;
  std::vector<std::string> log_;
  int sameIor_ = 0;
};

using Answer = std::optional<std::string>;

TEST_F(RegistryServiceTest, RegistersLooksUpAndRemoves) {
  auto s = Make();
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("noneior"));
  EXPECT_EQ(s->Handle(D("BADSERVICE;x"), "beta"), Answer(""));  // no PUT yet

  EXPECT_EQ(s->Handle(D("PUT;WorkGroup;IOR:aa;k1"), "alpha"), Answer("k1"));
  EXPECT_EQ(log_.back(), "来自alpha注册服务:WorkGroup");
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].reference, "IOR:aa");

  // Same key from elsewhere: logged and answered, otherwise ignored.
  EXPECT_EQ(s->Handle(D("PUT;WorkGroup;IOR:bb;k1"), "gamma"), Answer("k1"));
  EXPECT_EQ(log_.back(), "来自gamma注册服务:WorkGroup");
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("IOR:aa"));
  // The log names the registrant's host, not the asker's.
  EXPECT_EQ(log_.back(), "来自alpha解析服务:WorkGroup");
  EXPECT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].uses, 0);  // look-ups do not rewrite the file

  EXPECT_EQ(s->Handle(D("PUT;Mirror;IOR:aa;k2"), "delta"), Answer("k2"));
  EXPECT_EQ(Stored().size(), 2u);
  EXPECT_EQ(Stored()[0].uses, 1);  // rewritten whole, with current counts

  log_.clear();
  EXPECT_EQ(s->Handle(D("BADSERVICE;IOR:aa"), "beta"), Answer("k2"));
  EXPECT_EQ(log_, (std::vector<std::string>{"来自alpha卸载服务:WorkGroup", "来自delta卸载服务:Mirror"}));
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("noneior"));
  EXPECT_EQ(Stored().size(), 2u);  // catches up at the next registration
}

TEST_F(RegistryServiceTest, CommandsAreExactAndMalformedRequestsChangeNothing) {
  auto s = Make();
  ASSERT_EQ(s->Handle(D("PUT;WorkGroup;IOR:aa;k1"), "alpha"), Answer("k1"));
  log_.clear();
  for (const char* text : {"get;WorkGroup", "put;X;IOR:1;k9", "GET;WorkGroup", "Stop", "HELLO", "", ";;;"}) {
    EXPECT_EQ(s->Handle(D(text), "alpha"), std::nullopt) << text;
  }
  EXPECT_EQ(s->Handle(D("PUT;X;IOR:1"), "alpha"), std::nullopt);  // key missing
  EXPECT_EQ(s->Handle(D("PUT;;X;;"), "alpha"), std::nullopt);     // empty fields vanish
  EXPECT_EQ(s->Handle("PUT;X;IOR:1;k9", "alpha"), std::nullopt);  // no NUL
  EXPECT_EQ(s->Handle(D("PUT;X;" + std::string(801, 'r') + ";k9"), "h"), std::nullopt);
  EXPECT_EQ(s->Handle(D(std::string("PUT;X;\x01\xff\x80;k\x02")), "h"), Answer("k\x02"));  // bytes are bytes
  EXPECT_EQ(s->Handle(D("Get"), ""), std::nullopt);                                        // nothing to look up at all
  EXPECT_EQ(s->table().entries().size(), 2u);
  EXPECT_FALSE(s->stopped());

  // "Get" without a name looks up the sender's host name.
  EXPECT_EQ(s->Handle(D("Get"), "X"), Answer(std::string("\x01\xff\x80")));
  EXPECT_EQ(s->Handle(D("Get"), "alpha"), Answer("noneior"));

  EXPECT_EQ(s->Handle(D("STOP"), "alpha"), Answer("k\x02"));
  EXPECT_TRUE(s->stopped());
}

TEST_F(RegistryServiceTest, SameReferenceIsReportedWithoutStopping) {
  auto s = Make();
  s->Handle(D("PUT;WorkGroup;IOR:aa;k1"), "alpha");
  s->Handle(D("PUT;WorkGroup;IOR:aa;k2"), "alpha");
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("IOR:aa"));
  EXPECT_EQ(sameIor_, 1);
  s->Handle(D("Get;WorkGroup"), "beta");  // c1 has passed c0: c0 again
  EXPECT_EQ(sameIor_, 1);
}

TEST_F(RegistryServiceTest, RestartsFromTheStoreFile) {
  {
    auto crashed = Make();
    crashed->Handle(D("PUT;WorkGroup;IOR:aa;k1"), "alpha");
    crashed->Handle(D("Get;WorkGroup"), "beta");
    crashed->Handle(D("PUT;WorkGroup;IOR:bb;k2"), "alpha");
    crashed->Handle(D("Get;WorkGroup"), "beta");  // uses not saved: aa 1, bb 0 on disk
  }
  auto s = Make();
  s->LoadStore();
  ASSERT_EQ(s->table().entries().size(), 2u);
  log_.clear();
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("IOR:bb"));
  EXPECT_EQ(log_.back(), "来自解析服务:WorkGroup");  // hosts are not stored
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("IOR:bb"));
  EXPECT_EQ(s->Handle(D("Get;WorkGroup"), "beta"), Answer("IOR:aa"));

  s->DeleteStore();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "~BS.bak"));
}

TEST_F(RegistryServiceTest, DamagedStoreFileIsLoggedAndServiceStartsEmpty) {
  std::vector<RegistryEntry> big(1);
  big[0].key = "k";
  big[0].reference = std::string(900, 'r');
  ASSERT_TRUE(registry::store_file::Write(dir_ / "~BS.bak", big));
  auto s = Make();
  s->LoadStore();
  EXPECT_TRUE(s->table().entries().empty());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("~BS.bak"), std::string::npos);
  EXPECT_EQ(s->Handle(D("PUT;WorkGroup;IOR:aa;k1"), "alpha"), Answer("k1"));
  EXPECT_EQ(Stored().size(), 1u);
}

}  // namespace
}  // namespace registry
