#include "idl/ConfigRecords.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

void WriteRaw(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(ConfigRecordsTest, FarmerIniIsThreeLittleEndianIntegers) {
  farmtest::TempDir dir;
  const fs::path file = dir.path() / "Farmer.ini";
  ASSERT_TRUE(farm::WriteFarmerIni(file, {240, 490, 480}, nullptr));
  EXPECT_EQ(farmtest::ReadFile(file), Bytes({0xF0, 0, 0, 0, 0xEA, 0x01, 0, 0, 0xE0, 0x01, 0, 0}));

  farm::FarmerRecord back;
  ASSERT_TRUE(farm::ReadFarmerIni(file, &back, nullptr));
  EXPECT_EQ(back.firstRow, 240);
  EXPECT_EQ(back.lastRow, 490);
  EXPECT_EQ(back.height, 480);

  // Negative rows are stored as two's complement.
  ASSERT_TRUE(farm::WriteFarmerIni(file, {-9, 9, 1}, nullptr));
  EXPECT_EQ(farmtest::ReadFile(file), Bytes({0xF7, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0, 1, 0, 0, 0}));
  ASSERT_TRUE(farm::ReadFarmerIni(file, &back, nullptr));
  EXPECT_EQ(back.firstRow, -9);
}

TEST(ConfigRecordsTest, ShortOrMissingFarmerIniIsRefusedWithoutTouchingTheOutput) {
  farmtest::TempDir dir;
  const fs::path file = dir.path() / "Farmer.ini";
  farm::FarmerRecord out{7, 8, 9};
  std::string error;
  EXPECT_FALSE(farm::ReadFarmerIni(file, &out, &error));
  EXPECT_FALSE(error.empty());
  WriteRaw(file, Bytes({0, 0, 0, 0, 0xFA, 0, 0, 0, 0xE0, 0x01, 0}));  // 11 bytes
  EXPECT_FALSE(farm::ReadFarmerIni(file, &out, nullptr));
  EXPECT_EQ(out.firstRow, 7);
  EXPECT_EQ(out.lastRow, 8);
  EXPECT_EQ(out.height, 9);
  // The example band of the record: 0, 250, 480.
  WriteRaw(file, Bytes({0, 0, 0, 0, 0xFA, 0, 0, 0, 0xE0, 0x01, 0, 0}));
  ASSERT_TRUE(farm::ReadFarmerIni(file, &out, nullptr));
  EXPECT_EQ(out.firstRow, 0);
  EXPECT_EQ(out.lastRow, 250);
  EXPECT_EQ(out.height, 480);
}

TEST(ConfigRecordsTest, BossIniIsLengthThenTextAndAShorterRewriteLeavesNoOldBytes) {
  farmtest::TempDir dir;
  const fs::path file = dir.path() / "boss.ini";
  const std::string longRef = "IOR:" + std::string(300, 'a');
  ASSERT_TRUE(farm::WriteBossIni(file, longRef, nullptr));
  EXPECT_EQ(farmtest::ReadFile(file), Bytes({0x30, 0x01, 0, 0}) + longRef);

  ASSERT_TRUE(farm::WriteBossIni(file, "IOR:0123", nullptr));
  EXPECT_EQ(farmtest::ReadFile(file), Bytes({8, 0, 0, 0}) + "IOR:0123");
  std::string ref;
  ASSERT_TRUE(farm::ReadBossIni(file, &ref, nullptr));
  EXPECT_EQ(ref, "IOR:0123");
}

TEST(ConfigRecordsTest, BadBossIniIsRefused) {
  farmtest::TempDir dir;
  const fs::path file = dir.path() / "boss.ini";
  std::string ref = "unchanged";
  EXPECT_FALSE(farm::ReadBossIni(file, &ref, nullptr));  // missing

  const std::string cases[] = {
      Bytes({5, 0, 0}),                                    // shorter than the length field
      Bytes({9, 0, 0, 0}) + "IOR:0123",                    // fewer bytes than announced
      Bytes({0xFF, 0xFF, 0xFF, 0xFF}) + "IOR:0123",        // negative length
      Bytes({0x00, 0x08, 0, 0}) + std::string(2048, 'x'),  // 2048: no room for the zero
      Bytes({0x00, 0x00, 0x01, 0}) + std::string(100, 'x'),
  };
  for (const std::string& bytes : cases) {
    WriteRaw(file, bytes);
    EXPECT_FALSE(farm::ReadBossIni(file, &ref, nullptr)) << bytes.size();
    EXPECT_EQ(ref, "unchanged");
  }

  // The largest reference that fits: 2047 bytes.
  WriteRaw(file, Bytes({0xFF, 0x07, 0, 0}) + std::string(2047, 'y') + "trailing");
  ASSERT_TRUE(farm::ReadBossIni(file, &ref, nullptr));
  EXPECT_EQ(ref, std::string(2047, 'y'));

  // An empty reference is a valid record; resolving it is the reader's task.
  WriteRaw(file, Bytes({0, 0, 0, 0}));
  ASSERT_TRUE(farm::ReadBossIni(file, &ref, nullptr));
  EXPECT_EQ(ref, "");

  // The writer does not produce what the readers refuse.
  std::string error;
  EXPECT_FALSE(farm::WriteBossIni(file, std::string(2048, 'z'), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
