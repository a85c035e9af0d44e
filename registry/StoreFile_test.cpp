#include "registry/StoreFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace registry {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

RegistryEntry Entry(std::string key, std::string name, std::string reference, int uses) {
  RegistryEntry e;
  e.key = std::move(key);
  e.name = std::move(name);
  e.reference = std::move(reference);
  e.uses = uses;
  return e;
}

// Two entries as the store file lays them out: count, then per entry
// reference, uses, reserved text, reserved number, name, key.
const std::string kTwoEntries =
    Bytes({2, 0, 0, 0}) + Bytes({6, 0, 0, 0}) + "IOR:01" + Bytes({0x02, 0x01, 0, 0}) + Bytes({0, 0, 0, 0}) +
    Bytes({0, 0, 0, 0}) + Bytes({9, 0, 0, 0}) + "WorkGroup" + Bytes({2, 0, 0, 0}) + "k1" + Bytes({3, 0, 0, 0}) + "R#2" +
    Bytes({0, 0, 0, 0}) + Bytes({0, 0, 0, 0}) + Bytes({0, 0, 0, 0}) + Bytes({1, 0, 0, 0}) + "x" + Bytes({0, 0, 0, 0});

const std::vector<RegistryEntry> kEntries = {Entry("k1", "WorkGroup", "IOR:01", 0x0102), Entry("", "x", "R#2", 0)};

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class StoreFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/storefile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST(StoreFileFormat, EncodesTheLayoutAndDecodesItBack) {
  EXPECT_EQ(registry::store_file::Encode(kEntries), kTwoEntries);
  std::vector<RegistryEntry> back;
  std::string error;
  ASSERT_TRUE(registry::store_file::Decode(kTwoEntries, &back, &error)) << error;
  EXPECT_EQ(back, kEntries);
  // Hosts stay in memory.
  auto withHost = kEntries;
  withHost[0].host = "alpha";
  EXPECT_EQ(registry::store_file::Encode(withHost), kTwoEntries);
  EXPECT_EQ(registry::store_file::Encode({}), Bytes({0, 0, 0, 0}));
}

TEST(StoreFileFormat, RefusesDamagedFiles) {
  std::vector<RegistryEntry> out = {Entry("keep", "me", "as is", 1)};
  const auto untouched = out;
  std::string error;
  auto refused = [&](const std::string& bytes) {
    bool ok = registry::store_file::Decode(bytes, &out, &error);
    return !ok && !error.empty() && out == untouched;
  };
  EXPECT_TRUE(refused(""));
  EXPECT_TRUE(refused(Bytes({1, 0, 0})));
  EXPECT_TRUE(refused(kTwoEntries.substr(0, kTwoEntries.size() - 1)));  // cut in the last key
  EXPECT_TRUE(refused(kTwoEntries + "!"));                              // trailing byte
  std::string moreThanThere = kTwoEntries;
  moreThanThere[0] = 3;
  EXPECT_TRUE(refused(moreThanThere));
  EXPECT_TRUE(refused(Bytes({0xff, 0xff, 0xff, 0x7f})));  // huge count, nothing behind it
  EXPECT_TRUE(refused(Bytes({0xff, 0xff, 0xff, 0xff})));  // negative count
  std::string hugeText = kTwoEntries;
  hugeText[4] = static_cast<char>(0xff);  // reference length far beyond the file
  EXPECT_TRUE(refused(hugeText));

  // 800 bytes per text field are fine, 801 are not, whatever the field.
  auto one = [](const std::string& ref, const std::string& reserved, const std::string& name, const std::string& key) {
    RegistryEntry e = Entry(key, name, ref, 0);
    e.reservedText = reserved;
    return registry::store_file::Encode({e});
  };
  const std::string f800(800, 'a'), f801(801, 'a');
  std::vector<RegistryEntry> got;
  EXPECT_TRUE(registry::store_file::Decode(one(f800, f800, f800, f800), &got, &error)) << error;
  EXPECT_TRUE(refused(one(f801, "", "n", "k")));
  EXPECT_TRUE(refused(one("r", f801, "n", "k")));
  EXPECT_TRUE(refused(one("r", "", f801, "k")));
  EXPECT_TRUE(refused(one("r", "", "n", f801)));
}

TEST_F(StoreFileTest, WritesAndReadsTheFile) {
  const auto path = dir_ / "~BS.bak";
  std::vector<RegistryEntry> got;
  std::string error;
  EXPECT_EQ(registry::store_file::Read(path, &got, &error), registry::store_file::ReadResult::kMissing);

  ASSERT_TRUE(registry::store_file::Write(path, kEntries));
  EXPECT_EQ(Slurp(path), kTwoEntries);
  EXPECT_EQ(registry::store_file::Read(path, &got, &error), registry::store_file::ReadResult::kLoaded);
  EXPECT_EQ(got, kEntries);
  // Rewriting replaces the whole content and leaves no temporary behind.
  ASSERT_TRUE(registry::store_file::Write(path, {}));
  EXPECT_EQ(Slurp(path), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);

  std::ofstream(path, std::ios::binary) << "junk";
  EXPECT_EQ(registry::store_file::Read(path, &got, &error), registry::store_file::ReadResult::kDamaged);
  EXPECT_FALSE(registry::store_file::Write(dir_ / "no-such-dir" / "~BS.bak", kEntries));
}

}  // namespace
}  // namespace registry
