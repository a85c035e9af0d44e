#include "jobs/core/JobPackage.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "jobs/core/JobOrder.h"

namespace jobs {
namespace {

namespace fs = std::filesystem;

struct Entry {
  std::string name;
  unz_file_info info;
  std::string data;
};

std::vector<Entry> ReadZip(const fs::path& zip) {
  std::vector<Entry> entries;
  unzFile uz = unzOpen(zip.c_str());
  EXPECT_NE(uz, nullptr);
  if (uz == nullptr) return entries;
  for (int rc = unzGoToFirstFile(uz); rc == UNZ_OK; rc = unzGoToNextFile(uz)) {
    Entry e;
    char name[512];
    EXPECT_EQ(unzGetCurrentFileInfo(uz, &e.info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    e.name = name;
    EXPECT_EQ(unzOpenCurrentFile(uz), UNZ_OK);
    char buf[4096];
    int got;
    while ((got = unzReadCurrentFile(uz, buf, sizeof buf)) > 0) e.data.append(buf, static_cast<std::size_t>(got));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(unzCloseCurrentFile(uz), UNZ_OK) << "CRC of " << e.name;
    entries.push_back(e);
  }
  unz_global_info global{};
  EXPECT_EQ(unzGetGlobalInfo(uz, &global), UNZ_OK);
  EXPECT_EQ(global.size_comment, 0u);
  unzClose(uz);
  return entries;
}

// Names in a folder as readdir lists them, without "." names.
std::vector<std::string> ListOrder(const fs::path& folder) {
  std::vector<std::string> names;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  }
  closedir(d);
  return names;
}

class JobPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("jobpackage_test_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "Render");
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

  fs::path root_;
};

TEST_F(JobPackageTest, EntriesFollowTheFolderWithBackslashNamesDeflateDatesAndModes) {
  const fs::path src = root_ / "Render";
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "sphere { <" + std::to_string(i) + ", 0, 0>, 1 }\n";  // many 2048-byte pieces
  Write(src / "Tessel.pov", big);
  Write(src / "a1b2.png", std::string("\x89PNG\r\n\x1a\n", 8));
  Write(src / ".hidden", "not packed");
  fs::create_directories(src / "maps" / ".git");
  Write(src / "maps" / "bump.png", "bump");
  fs::create_symlink(src / "nowhere", src / "dangling.png");  // cannot be opened
  fs::create_directory_symlink(src, src / "maps" / "loop");   // would recurse for ever
  ::chmod((src / "a1b2.png").c_str(), 0640);

  const fs::path zip = root_ / "Render.zip";
  Write(zip, "an older package to be replaced");
  ASSERT_TRUE(WriteJobPackage(src, zip));

  std::vector<std::string> expected = {"Render\\"};
  for (const std::string& name : ListOrder(src)) {
    if (name == "dangling.png") continue;
    if (fs::is_directory(src / name)) {
      expected.push_back("Render\\" + name + "\\");
      for (const std::string& sub : ListOrder(src / name)) {
        if (sub != "loop") expected.push_back("Render\\" + name + "\\" + sub);
      }
    } else {
      expected.push_back("Render\\" + name);
    }
  }
  const std::vector<Entry> entries = ReadZip(zip);
  std::vector<std::string> names;
  for (const Entry& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, expected);

  for (const Entry& e : entries) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.info.compression_method, 8u);
    const bool folder = e.name.back() == '\\';
    // Given as 0; minizip itself may only add its text-data bit (1) to files.
    EXPECT_EQ(e.info.internal_fa & ~1ul, 0u);
    if (folder) {
      EXPECT_EQ(e.info.internal_fa, 0u);
    }
    std::string rel = e.name;
    for (char& c : rel) {
      if (c == '\\') c = '/';
    }
    const fs::path path = root_ / rel;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(e.info.external_fa >> 16, st.st_mode & 0xFFFFu);
    EXPECT_EQ((e.info.external_fa & 0x10u) != 0, folder);
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    EXPECT_EQ(e.info.tmu_date.tm_year, static_cast<uInt>(local.tm_year + 1900));
    EXPECT_EQ(e.info.tmu_date.tm_mon, static_cast<uInt>(local.tm_mon));
    EXPECT_EQ(e.info.tmu_date.tm_mday, static_cast<uInt>(local.tm_mday));
    EXPECT_EQ(e.info.tmu_date.tm_hour, static_cast<uInt>(local.tm_hour));
    EXPECT_EQ(e.info.tmu_date.tm_min, static_cast<uInt>(local.tm_min));
    EXPECT_EQ(e.info.tmu_date.tm_sec / 2, static_cast<uInt>(local.tm_sec) / 2);  // DOS times keep even seconds
    if (folder) {
      EXPECT_TRUE(e.data.empty());
    } else {
      std::ifstream in(path, std::ios::binary);
      const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(e.data, content);
    }
  }
  EXPECT_EQ(entries[0].info.external_fa >> 16 & S_IFMT, static_cast<uLong>(S_IFDIR));
}

TEST_F(JobPackageTest, MissingSourceFolderGivesOnlyTheFolderEntry) {
  const fs::path zip = root_ / "Render.zip";
  ASSERT_TRUE(WriteJobPackage(root_ / "NoSuchFolder" / "Render", zip));
  const std::vector<Entry> entries = ReadZip(zip);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Render\\");
  EXPECT_EQ(entries[0].info.compression_method, 8u);
  EXPECT_TRUE(entries[0].data.empty());
}

TEST_F(JobPackageTest, UnwritableArchiveIsReported) {
  EXPECT_FALSE(WriteJobPackage(root_ / "Render", root_ / "no" / "such" / "dir" / "Render.zip"));
}

std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Two jobs started at once from one work folder: each packs into a file of
// its own, both packages whole; at their ends a job that failed leaves its
// package as Render.zip in the work folder, and nothing else stays.
TEST_F(JobPackageTest, JobsStartedAtOnceEachPackIntoTheirOwnFile) {
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "sphere { <" + std::to_string(i) + ", 0, 0>, 1 }\n";
  Write(root_ / "Render" / "Tessel.pov", big);
  const fs::path direct = root_ / "direct.zip";
  ASSERT_TRUE(WriteJobPackage(root_ / "Render", direct));
  const std::string expected = ReadWhole(direct);
  fs::remove(direct);

  JobOrder a(1, {64, 48}, BandPlan(), root_);
  JobOrder b(2, {64, 48}, BandPlan(), root_);
  PackageBytes packA;
  PackageBytes packB;
  std::thread ta([&] { packA = a.Pack(); });
  std::thread tb([&] { packB = b.Pack(); });
  ta.join();
  tb.join();
  ASSERT_TRUE(packA && packB);
  EXPECT_NE(a.packageFile(), b.packageFile());
  EXPECT_EQ(a.packageFile().filename(), "Render.zip");
  EXPECT_EQ(std::string(packA->begin(), packA->end()), expected);
  EXPECT_EQ(std::string(packB->begin(), packB->end()), expected);
  EXPECT_EQ(ReadWhole(a.packageFile()), expected);
  EXPECT_FALSE(fs::exists(root_ / "Render.zip"));

  a.ReleasePackage(true);  // failed: its package stays where the host finds it
  EXPECT_EQ(ReadWhole(root_ / "Render.zip"), expected);
  EXPECT_TRUE(fs::exists(b.packageFile())) << "one job's end leaves the other's package alone";
  b.ReleasePackage(false);
  EXPECT_FALSE(fs::exists(root_ / "Render.zip"));
  EXPECT_EQ(ListOrder(root_), std::vector<std::string>{"Render"});
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace jobs
