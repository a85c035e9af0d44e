#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "idl/BandLabel.h"
#include "idl/ConfigRecords.h"
#include "idl/EndMessage.h"
#include "idl/FileReceiver.h"
#include "idl/JobParameters.h"
#include "idl/OrbInit.h"
#include "idl/PackageDigest.h"
#include "node/EngineCommand.h"
#include "node/FarmerServant.h"
#include "node/PackageCache.h"
#include "node/PackageUnpacker.h"
#include "node/RenderNode.h"
#include "node/TestZip.h"
#include "platform/ChildProcess.h"
#include "platform/MessageBox.h"
#include "tests/support/BossBase.h"
#include "tests/support/FakeFarmer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using farmtest::ReadFile;

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// ---------------------------------------------------------------- command line

TEST(EngineCommandTest, TheEngineLineWithItsDoubledBlanks) {
  node::JobParameters job;
  job.part = 1;
  job.width = 640;
  job.height = 480;
  job.rows = farm::IncomingRows(job.part, 0, 250);
  const node::EngineCommand c = node::BuildEngineCommand("/node/", job);
  EXPECT_EQ(c.text,
            "/node/pvengine /Exit  /Render    /node/Render/Tessel.pov  +sc0  +sr0  +ec1.0  +er250 +ORender1.bmp "
            "+W640  +H480  +UA");
  const std::vector<std::string> expected = {"/node/pvengine", "/Exit", "/Render", "/node/Render/Tessel.pov",
                                             "+sc0",           "+sr0",  "+ec1.0",  "+er250",
                                             "+ORender1.bmp",  "+W640", "+H480",   "+UA"};
  EXPECT_EQ(c.argv, expected);
  EXPECT_EQ(platform::SplitCommandLine(c.text), expected);  // the text says what is started

  job.part = 12;
  job.rows = farm::IncomingRows(job.part, 311, 480);
  const node::EngineCommand twelve = node::BuildEngineCommand("/node", job);  // no trailing separator
  EXPECT_EQ(twelve.text,
            "/node/pvengine /Exit  /Render    /node/Render/Tessel.pov  +sc0  +sr311  +ec1.0  +er480 +ORender12.bmp "
            "+W640  +H480  +UA");
  EXPECT_EQ(twelve.argv[8], "+ORender12.bmp");

  // A frame of an animation: the renderer renders that frame of the
  // animation the options file describes.
  job.rows.frame = -3;
  const node::EngineCommand frame = node::BuildEngineCommand("/node", job, true);
  EXPECT_EQ(std::vector<std::string>(frame.argv.end() - 2, frame.argv.end()),
            (std::vector<std::string>{"+SF-3", "+EF-3"}));
  EXPECT_EQ(platform::SplitCommandLine(frame.text), frame.argv);
}

TEST(EngineCommandTest, AFolderWithBlanksStaysOneArgument) {
  node::JobParameters job;  // defaults: part 1, 640 x 480, rows 0 to 480
  const node::EngineCommand c = node::BuildEngineCommand("/srv/render node/", job);
  ASSERT_EQ(c.argv.size(), 12u);
  EXPECT_EQ(c.argv[0], "/srv/render node/pvengine");
  EXPECT_EQ(c.argv[3], "/srv/render node/Render/Tessel.pov");
  EXPECT_EQ(c.argv[7], "+er480");
  EXPECT_EQ(c.text.substr(0, 42), "/srv/render node/pvengine /Exit  /Render  ");
}

// ---------------------------------------------------------------- SetData lists

// Anys need the ORB's type machinery; no adapter or connection is made.
class JobParametersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    int argc = 0;
    orb_ = farm::InitOrb(argc, nullptr);
  }
  static void TearDownTestSuite() {
    orb_->destroy();
    CORBA::release(orb_);
  }
  static CORBA::ORB_ptr orb_;
};
CORBA::ORB_ptr JobParametersTest::orb_ = CORBA::ORB::_nil();

Lumora::DataSeq List(std::initializer_list<CORBA::Any> items) {
  Lumora::DataSeq d;
  d.length(static_cast<CORBA::ULong>(items.size()));
  CORBA::ULong i = 0;
  for (const CORBA::Any& a : items) d[i++] = a;
  return d;
}

CORBA::Any Str(const char* s) {
  CORBA::Any a;
  a <<= s;
  return a;
}

CORBA::Any Long(CORBA::Long v) {
  CORBA::Any a;
  a <<= v;
  return a;
}

TEST_F(JobParametersTest, OneFrameIsReadOnlyWhenWholeAndExact) {
  node::JobParameters job;
  ASSERT_EQ(farm::DecodeJobParameters(
                List({Str("OneFrame"), Long(2), Long(3), Long(800), Long(600), Long(151), Long(329)}), &job),
            farm::OneFrame::kAccepted);
  EXPECT_EQ(job.part, 2);
  EXPECT_EQ(job.partCount, 3);
  EXPECT_EQ(job.width, 800);
  EXPECT_EQ(job.height, 600);
  EXPECT_EQ(job.rows.first, 151);
  EXPECT_EQ(job.rows.last, 329);

  const node::JobParameters before = job;
  auto unchanged = [&] {
    return job.part == before.part && job.partCount == before.partCount && job.width == before.width &&
           job.height == before.height && job.rows == before.rows;
  };
  // Other messages: not for the node.
  EXPECT_EQ(
      farm::DecodeJobParameters(List({Str("oneframe"), Long(1), Long(1), Long(1), Long(1), Long(0), Long(1)}), &job),
      farm::OneFrame::kIgnored);
  EXPECT_EQ(
      farm::DecodeJobParameters(List({Str("OneFrameX"), Long(1), Long(1), Long(1), Long(1), Long(0), Long(1)}), &job),
      farm::OneFrame::kIgnored);
  EXPECT_EQ(farm::DecodeJobParameters(List({Long(7), Long(1), Long(1), Long(1), Long(1), Long(0), Long(1)}), &job),
            farm::OneFrame::kIgnored);
  EXPECT_EQ(farm::DecodeJobParameters(List({}), &job), farm::OneFrame::kIgnored);
  // "OneFrame" lists that are short or hold something else than longs.
  EXPECT_EQ(farm::DecodeJobParameters(List({Str("OneFrame"), Long(1), Long(1), Long(1), Long(1), Long(0)}), &job),
            farm::OneFrame::kRefused);
  EXPECT_EQ(
      farm::DecodeJobParameters(List({Str("OneFrame"), Long(1), Long(1), Str("640"), Long(1), Long(0), Long(1)}), &job),
      farm::OneFrame::kRefused);
  CORBA::Any d;
  d <<= CORBA::Double(1.0);
  EXPECT_EQ(farm::DecodeJobParameters(List({Str("OneFrame"), Long(1), Long(1), Long(1), Long(1), Long(0), d}), &job),
            farm::OneFrame::kRefused);
  EXPECT_TRUE(unchanged());
}

TEST_F(JobParametersTest, FinishCarriesTheBandLabel) {
  const Lumora::DataSeq m = farm::EncodeEndMessage(12);
  ASSERT_EQ(m.length(), 2u);
  const char* kind = nullptr;
  const char* label = nullptr;
  ASSERT_TRUE(m[0] >>= kind);
  ASSERT_TRUE(m[1] >>= label);
  EXPECT_STREQ(kind, "Finish");
  EXPECT_STREQ(label, "Render12.zip");
  EXPECT_EQ(farm::FormatBandLabel(3), "Render3.zip");
}

// ---------------------------------------------------------------- unpacking

TEST(PackageUnpackerTest, FilesLandUnderTheirFoldersAndFolderEntriesAreSkipped) {
  farmtest::TempDir dir;
  const fs::path zip = dir.path() / "Render.zip";
  ASSERT_TRUE(nodetest::WriteZip(zip, {{"Render\\", ""},
                                       {"Render\\Tessel.pov", "sphere { 0, 1 }\n"},
                                       {"Render\\maps\\", ""},
                                       {"Render\\maps\\deep\\wood.png", std::string(50000, 'w'), 2021, 3, 4, 5, 6, 8},
                                       {"Render/forward.txt", "slashes too"}}));
  const fs::path node = dir.path() / "node";
  std::string error;
  ASSERT_TRUE(node::UnpackPackage(zip, node, &error)) << error;
  EXPECT_EQ(ReadFile(node / "Render" / "Tessel.pov"), "sphere { 0, 1 }\n");
  EXPECT_EQ(ReadFile(node / "Render" / "maps" / "deep" / "wood.png"), std::string(50000, 'w'));
  EXPECT_EQ(ReadFile(node / "Render" / "forward.txt"), "slashes too");
  EXPECT_TRUE(fs::exists(zip));  // the caller removes the package

  // The entry's stored local date becomes the last-write time.
  std::tm t{};
  t.tm_year = 2021 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 4;
  t.tm_hour = 5;
  t.tm_min = 6;
  t.tm_sec = 8;
  t.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(stat((node / "Render" / "maps" / "deep" / "wood.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, std::mktime(&t));

  // An existing file is replaced whole.
  WriteText(node / "Render" / "Tessel.pov", std::string(1000, 'x'));
  ASSERT_TRUE(node::UnpackPackage(zip, node, &error)) << error;
  EXPECT_EQ(ReadFile(node / "Render" / "Tessel.pov"), "sphere { 0, 1 }\n");
}

TEST(PackageUnpackerTest, EmptyDamagedOrMissingArchivesFail) {
  farmtest::TempDir dir;
  const fs::path node = dir.path() / "node";
  std::string error;
  const fs::path empty = dir.path() / "empty.zip";
  ASSERT_TRUE(nodetest::WriteZip(empty, {}));
  EXPECT_FALSE(node::UnpackPackage(empty, node, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::exists(empty));

  const fs::path junk = dir.path() / "junk.zip";
  WriteText(junk, "this is not a zip archive");
  EXPECT_FALSE(node::UnpackPackage(junk, node, &error));
  EXPECT_FALSE(node::UnpackPackage(dir.path() / "missing.zip", node, &error));

  // A node folder that is a file cannot take the package.
  const fs::path ok = dir.path() / "ok.zip";
  ASSERT_TRUE(nodetest::WriteZip(ok, {{"Render\\a.txt", "a"}}));
  WriteText(dir.path() / "blocked", "a file");
  EXPECT_FALSE(node::UnpackPackage(ok, dir.path() / "blocked", &error));
  // So can a folder level that is a file.
  WriteText(node / "Render", "a file where the work folder belongs");
  EXPECT_FALSE(node::UnpackPackage(ok, node, &error));
}

TEST(PackageUnpackerTest, EntriesThatLeaveTheNodeFolderAreRefused) {
  EXPECT_EQ(node::EntryTarget("/n", "Render\\Tessel.pov"), fs::path("/n/Render/Tessel.pov"));
  EXPECT_EQ(node::EntryTarget("/n", "Render/./a/b.png"), fs::path("/n/Render/a/b.png"));
  EXPECT_EQ(node::EntryTarget("/n", "Render\\..\\..\\etc\\passwd"), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "../x"), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", ".."), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "/etc/passwd"), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "\\etc\\passwd"), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "C:\\Windows\\x"), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", ""), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "."), std::nullopt);
  EXPECT_EQ(node::EntryTarget("/n", "a..b"), fs::path("/n/a..b"));  // dots inside a name are fine

  farmtest::TempDir dir;
  const fs::path zip = dir.path() / "Render.zip";
  ASSERT_TRUE(nodetest::WriteZip(
      zip, {{"Render\\first.txt", "1"}, {"Render\\..\\..\\escaped.txt", "out"}, {"Render\\after.txt", "2"}}));
  const fs::path node = dir.path() / "a" / "node";
  std::string error;
  EXPECT_FALSE(node::UnpackPackage(zip, node, &error));
  EXPECT_NE(error.find("escaped.txt"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(node / "Render" / "first.txt"), "1");  // entries before the bad one stay
  EXPECT_FALSE(fs::exists(node / "Render" / "after.txt"));  // unpacking stops there
  EXPECT_FALSE(fs::exists(dir.path() / "a" / "escaped.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "escaped.txt"));
}

TEST(PackageUnpackerTest, PackagesOverTheLimitsAreRefusedBeforeAnythingIsWritten) {
  farmtest::TempDir dir;
  const fs::path zip = dir.path() / "Render.zip";
  // Compresses to a few kilobytes; unpacks to 1.2 MB.
  ASSERT_TRUE(nodetest::WriteZip(
      zip, {{"Render\\a.bin", std::string(600000, '\0')}, {"Render\\b.bin", std::string(600000, '\0')}}));
  const fs::path node = dir.path() / "node";
  std::string error;
  node::UnpackLimits limits;
  limits.maxBytes = 1000000;
  EXPECT_FALSE(node::UnpackPackage(zip, node, &error, limits));
  EXPECT_NE(error.find("refused, it unpacks to more than the limit of 1000000 bytes"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_FALSE(fs::exists(node / "Render"));
  limits = {};
  limits.maxEntries = 1;
  EXPECT_FALSE(node::UnpackPackage(zip, node, &error, limits));
  EXPECT_NE(error.find("more than 1 entries"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(node / "Render"));
  ASSERT_TRUE(node::UnpackPackage(zip, node, &error)) << error;  // the default limits take it
  EXPECT_EQ(fs::file_size(node / "Render" / "b.bin"), 600000u);
  {
    // And packages of 256 MB and more.
    const fs::path big = dir.path() / "big.zip";
    ASSERT_TRUE(nodetest::WriteZip(big, {{"Render\\big.bin", std::string(size_t{260} << 20, 'b')}}));
    ASSERT_TRUE(node::UnpackPackage(big, node, &error)) << error;
    EXPECT_EQ(fs::file_size(node / "Render" / "big.bin"), size_t{260} << 20);
    fs::remove(node / "Render" / "big.bin");
  }

  // An entry whose directory claims fewer bytes than it holds fails, and
  // leaves no cut-off file behind.
  std::string bytes = ReadFile(zip);
  const size_t central = bytes.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  bytes.replace(central + 24, 4, std::string("\x10\0\0\0", 4));  // uncompressed size 16
  WriteText(zip, bytes);
  fs::remove_all(node);
  EXPECT_FALSE(node::UnpackPackage(zip, node, &error));
  EXPECT_FALSE(fs::exists(node / "Render" / "a.bin"));
}

TEST(PackageUnpackerTest, CleaningEmptiesTheWholeTree) {
  farmtest::TempDir dir;
  const fs::path work = dir.path() / "Render";
  WriteText(work / "old.pov", "old");
  WriteText(work / "old.png", "old");
  // An include left in a subfolder by the last job must not stand in for
  // one the next job's package lacks.
  WriteText(work / "sub" / "deeper" / "old.inc", "stale");
  fs::create_symlink(dir.path() / "elsewhere", work / "link");
  fs::create_directory_symlink(dir.path() / "elsewhere", work / "folder-link");
  WriteText(dir.path() / "elsewhere" / "target.txt", "not touched");
  node::CleanWorkFolder(work);
  EXPECT_FALSE(fs::exists(work / "old.pov"));
  EXPECT_FALSE(fs::exists(work / "old.png"));
  EXPECT_FALSE(fs::is_symlink(work / "link"));
  EXPECT_FALSE(fs::is_symlink(work / "folder-link"));
  EXPECT_FALSE(fs::exists(work / "sub"));
  EXPECT_TRUE(fs::is_directory(work));
  // Links are removed, never followed.
  EXPECT_EQ(ReadFile(dir.path() / "elsewhere" / "target.txt"), "not touched");

  node::CleanWorkFolder(dir.path() / "new" / "Render");  // made when missing
  EXPECT_TRUE(fs::is_directory(dir.path() / "new" / "Render"));
}

// ---------------------------------------------------------------- jobs

// A node folder whose engine is a script: it writes its arguments to
// engine-args.txt and, while the file "hold" exists, waits.
class RenderNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.path() / "render node";  // a blank in the folder name
    fs::create_directories(folder_);
    InstallEngine(
        "#!/bin/sh\n"
        "here=$(dirname \"$0\")\n"
        "printf '%s\\n' \"$@\" > \"$here/engine-args.txt\"\n"
        "awk '{print $19}' /proc/$$/stat > \"$here/engine-nice.txt\"\n"
        "while [ -f \"$here/hold\" ]; do sleep 0.02; done\n"
        "exit 0\n");
    node_ = node::RenderNode::Create(folder_, [this](std::int32_t part) {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back(part);
      reported_.notify_all();
    });
  }

  void InstallEngine(const std::string& script) {
    const fs::path engine = folder_ / "pvengine";
    WriteText(engine, script);
    fs::permissions(engine, fs::perms::owner_all);
  }

  void Package(const std::vector<nodetest::ZipEntry>& entries) {
    ASSERT_TRUE(nodetest::WriteZip(folder_ / "Render.zip", entries));
  }

  bool WaitForReports(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return reported_.wait_for(lock, 10s, [&] { return reports_.size() >= n; });
  }
  std::vector<std::int32_t> Reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  bool BecomesIdle() {
    return farmtest::WaitUntil([&] { return node_->IsIdle(); }, 10s);
  }

  farmtest::TempDir dir_;
  fs::path folder_;
  std::shared_ptr<node::RenderNode> node_;
  std::mutex mutex_;
  std::condition_variable reported_;
  std::vector<std::int32_t> reports_;
};

TEST_F(RenderNodeTest, AJobUnpacksRunsTheEngineAndReportsItsBand) {
  WriteText(folder_ / "Render" / "leftover.pov", "from the last job");
  WriteText(folder_ / "Render" / "sub" / "stale.png", "from the last job");
  Package({{"Render\\", ""}, {"Render\\Tessel.pov", "scene"}, {"Render\\sub\\tex.png", "png"}});
  ASSERT_TRUE(node_->Engage("IOR:boss-one"));
  node::JobParameters job;
  job.part = 2;
  job.partCount = 3;
  job.width = 320;
  job.height = 240;
  job.rows = farm::IncomingRows(job.part, 71, 170);
  ASSERT_TRUE(node_->SetJob(job));
  EXPECT_EQ(ReadFile(folder_ / "Farmer.ini"), std::string("\x47\0\0\0\xAA\0\0\0\xF0\0\0\0", 12));
  EXPECT_EQ(ReadFile(folder_ / "boss.ini"), std::string("\x0C\0\0\0", 4) + "IOR:boss-one");

  ASSERT_TRUE(node_->Start());
  ASSERT_TRUE(WaitForReports(1));
  EXPECT_EQ(Reports(), std::vector<std::int32_t>{2});
  EXPECT_TRUE(BecomesIdle());
  const std::string f = folder_.string() + "/";
  EXPECT_EQ(ReadFile(folder_ / "engine-args.txt"), "/Exit\n/Render\n" + f +
                                                       "Render/Tessel.pov\n+sc0\n+sr71\n+ec1.0\n+er170\n"
                                                       "+ORender2.bmp\n+W320\n+H240\n+UA\n");
  // The engine runs at the node's own priority, not the worker's lowest.
  EXPECT_EQ(ReadFile(folder_ / "engine-nice.txt"), std::to_string(getpriority(PRIO_PROCESS, 0)) + "\n");
  EXPECT_FALSE(fs::exists(folder_ / "Render.zip"));
  EXPECT_FALSE(fs::exists(folder_ / "Render" / "leftover.pov"));
  EXPECT_FALSE(fs::exists(folder_ / "Render" / "sub" / "stale.png"));
  EXPECT_EQ(ReadFile(folder_ / "Render" / "sub" / "tex.png"), "png");
}

// The package as a caching boss hands it out: offered by its digest as the
// file name, sent only when the node lacks it, checked on arrival.
TEST_F(RenderNodeTest, APackageIsSentOnceByItsDigestAndCheckedOnArrival) {
  const fs::path zipA = dir_.path() / "a.zip";
  const fs::path zipA2 = dir_.path() / "a2.zip";
  const fs::path zipB = dir_.path() / "b.zip";
  ASSERT_TRUE(nodetest::WriteZip(zipA, {{"Render\\", ""}, {"Render\\Tessel.pov", "scene"}, {"Render\\t.inc", "x"}}));
  // Rewritten by the maker: other dates, other order, same files.
  nodetest::ZipEntry later{"Render\\Tessel.pov", "scene"};
  later.year = 2025;
  ASSERT_TRUE(nodetest::WriteZip(zipA2, {{"Render\\t.inc", "x"}, later, {"Render\\", ""}}));
  ASSERT_TRUE(nodetest::WriteZip(zipB, {{"Render\\", ""}, {"Render\\Tessel.pov", "scenf"}, {"Render\\t.inc", "x"}}));
  const std::string a = farm::PackageDigestOf(zipA, nullptr).value_or("");
  ASSERT_EQ(a.size(), 64u);
  EXPECT_EQ(farm::PackageDigestOf(zipA2, nullptr), a);
  const std::string b = farm::PackageDigestOf(zipB, nullptr).value_or("");
  EXPECT_NE(b, a);
  std::string why;
  EXPECT_FALSE(farm::PackageDigestOf(zipA, &why, 5)) << "inflating stops at the limit";
  EXPECT_EQ(farm::DigestOfOfferedName(farm::OfferedPackageName(a)), a);
  EXPECT_FALSE(farm::DigestOfOfferedName("Render-" + std::string(64, 'A') + ".zip"));

  std::vector<std::string> failures;
  node_ = node::RenderNode::Create(
      folder_,
      [this](std::int32_t part) {
        std::lock_guard<std::mutex> lock(mutex_);
        reports_.push_back(part);
        reported_.notify_all();
      },
      [&](std::int32_t, const std::string& reason, bool) {
        std::lock_guard<std::mutex> lock(mutex_);
        failures.push_back(reason);
        reports_.push_back(-1);
        reported_.notify_all();
      });
  // The limit 0 keeps only the package in use.
  node_->set_package_cache(std::make_shared<node::PackageCache>(folder_ / "cache", 0));
  FileReceiver::Hooks hooks;
  hooks.held = [this](const std::string& name) { return node_->HoldsPackage(name); };
  hooks.arrived = [this](const fs::path& file) { return node_->PackageArrived(file); };
  // One hand-out: engage, offer, send when asked, start. Answers whether the
  // bytes were asked for and whether the node kept them.
  const auto handOut = [&](const std::string& digest, const fs::path& zip, bool* kept) {
    EXPECT_TRUE(node_->Engage("IOR:boss"));
    FileReceiver receiver(folder_, hooks);
    if (!receiver.CreateFile(farm::OfferedPackageName(digest).c_str(), 0)) {
      *kept = receiver.CloseFile();
      return false;
    }
    const std::string bytes = ReadFile(zip);
    Lumora::BinaryFile data(static_cast<CORBA::ULong>(bytes.size()));
    data.length(static_cast<CORBA::ULong>(bytes.size()));
    std::memcpy(data.get_buffer(), bytes.data(), bytes.size());
    receiver.WriteBuffer(static_cast<CORBA::Long>(bytes.size()), data);
    *kept = receiver.CloseFile();
    return true;
  };
  const auto render = [&](size_t reports) {
    EXPECT_TRUE(node_->Start());
    EXPECT_TRUE(WaitForReports(reports));
    EXPECT_TRUE(BecomesIdle());
  };
  bool kept = false;
  EXPECT_TRUE(handOut(a, zipA, &kept));
  EXPECT_TRUE(kept);
  render(1);
  EXPECT_EQ(ReadFile(folder_ / "Render" / "Tessel.pov"), "scene");
  EXPECT_FALSE(handOut(a, zipA2, &kept)) << "held: no bytes asked";
  render(2);
  EXPECT_EQ(ReadFile(folder_ / "Render" / "Tessel.pov"), "scene");

  // A package whose bytes are not what its name claims fails its band and
  // is not kept.
  const std::string forged = a.substr(0, 60) + "beef";
  EXPECT_TRUE(handOut(forged, zipB, &kept));
  render(3);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("not the one its name claims"), std::string::npos) << failures[0];
  EXPECT_FALSE(fs::exists(folder_ / farm::OfferedPackageName(forged)));
  EXPECT_FALSE(fs::exists(folder_ / "cache" / (forged + ".zip")));
  EXPECT_FALSE(handOut(a, zipB, &kept)) << "the package held is still the true one";
  render(4);
  EXPECT_EQ(ReadFile(folder_ / "Render" / "Tessel.pov"), "scene");

  EXPECT_TRUE(handOut(b, zipB, &kept));
  EXPECT_TRUE(kept);
  render(5);
  EXPECT_EQ(ReadFile(folder_ / "Render" / "Tessel.pov"), "scenf");
  EXPECT_FALSE(fs::exists(folder_ / "cache" / (a + ".zip"))) << "over the limit: the older package went";
  EXPECT_TRUE(fs::exists(folder_ / "cache" / (b + ".zip")));
  EXPECT_EQ(Reports(), (std::vector<std::int32_t>{1, 1, -1, 1, 1}));
}

TEST_F(RenderNodeTest, TheNodeIsBusyFromStartToReportAndKeepsItsJob) {
  Package({{"Render\\Tessel.pov", "scene"}});
  ASSERT_TRUE(node_->Engage("IOR:first"));
  node::JobParameters job;
  job.part = 5;
  ASSERT_TRUE(node_->SetJob(job));
  WriteText(folder_ / "hold", "");
  ASSERT_TRUE(node_->Start());
  EXPECT_FALSE(node_->IsIdle());  // at once, before the engine has started
  EXPECT_TRUE(farmtest::WaitUntil([&] { return fs::exists(folder_ / "engine-args.txt"); }, 10s));

  // A second engagement while the job runs: refused, boss.ini untouched;
  // new parameters are stored for the next job, not this one.
  EXPECT_FALSE(node_->Engage("IOR:second"));
  EXPECT_EQ(ReadFile(folder_ / "boss.ini"), std::string("\x09\0\0\0", 4) + "IOR:first");
  node::JobParameters next;
  next.part = 6;
  next.rows = farm::IncomingRows(next.part, 100, 200);
  ASSERT_TRUE(node_->SetJob(next));
  // Farmer.ini follows every job-parameter delivery, also during a job.
  EXPECT_EQ(ReadFile(folder_ / "Farmer.ini"), std::string("\x64\0\0\0\xC8\0\0\0\xE0\x01\0\0", 12));
  EXPECT_FALSE(node_->Start());
  fs::remove(folder_ / "hold");
  ASSERT_TRUE(WaitForReports(1));
  EXPECT_TRUE(BecomesIdle());
  EXPECT_EQ(Reports(), std::vector<std::int32_t>{5});
  EXPECT_TRUE(node_->Engage("IOR:second"));
  EXPECT_EQ(ReadFile(folder_ / "boss.ini"), std::string("\x0A\0\0\0", 4) + "IOR:second");
}

TEST_F(RenderNodeTest, StopEndsTheEngineAndTheJobIsStillReported) {
  Package({{"Render\\Tessel.pov", "scene"}});
  WriteText(folder_ / "hold", "");
  EXPECT_FALSE(node_->Stop());  // nothing under way
  ASSERT_TRUE(node_->Start());
  ASSERT_TRUE(farmtest::WaitUntil([&] { return fs::exists(folder_ / "engine-args.txt"); }, 10s));
  EXPECT_TRUE(node_->Stop());
  ASSERT_TRUE(WaitForReports(1));
  EXPECT_TRUE(BecomesIdle());
  EXPECT_TRUE(fs::exists(folder_ / "hold"));  // the engine did not end by itself
}

// Two controllers must never share a node: an engagement holds it for its
// boss until that boss's band ends, and a stop counts only from that boss.
TEST_F(RenderNodeTest, AnEngagementHoldsTheNodeForItsBossAlone) {
  ASSERT_TRUE(node_->Engage("IOR:a"));
  EXPECT_FALSE(node_->IsIdle());  // engaged, not started: taken all the same
  EXPECT_FALSE(node_->Engage("IOR:b"));
  EXPECT_EQ(ReadFile(folder_ / "boss.ini"), std::string("\x05\0\0\0", 4) + "IOR:a");
  EXPECT_TRUE(node_->Engage("IOR:a"));  // its own boss may ask again
  EXPECT_FALSE(node_->StopFor("IOR:b"));
  EXPECT_TRUE(node_->StopFor("IOR:a"));  // let go before its band started
  EXPECT_TRUE(node_->IsIdle());

  ASSERT_TRUE(node_->Engage("IOR:b"));
  Package({{"Render\\Tessel.pov", "scene"}});
  WriteText(folder_ / "hold", "");
  ASSERT_TRUE(node_->Start());
  ASSERT_TRUE(farmtest::WaitUntil([&] { return fs::exists(folder_ / "engine-args.txt"); }, 10s));
  EXPECT_FALSE(node_->StopFor("IOR:a"));  // a's stop, late: b's band goes on
  EXPECT_FALSE(node_->Engage("IOR:a"));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(node_->StopFor("IOR:b"));
  ASSERT_TRUE(WaitForReports(1));
  EXPECT_TRUE(BecomesIdle());
  EXPECT_TRUE(fs::exists(folder_ / "hold"));  // stopped, not ended by itself
  EXPECT_FALSE(node_->StopFor("IOR:b"));      // its band is over: nothing of b's left

  // A boss that engages and never starts holds the node for the hold only.
  node_->set_engagement_hold(100ms);
  ASSERT_TRUE(node_->Engage("IOR:c"));
  EXPECT_FALSE(node_->Engage("IOR:d"));
  EXPECT_TRUE(farmtest::WaitUntil([&] { return node_->IsIdle(); }, 5s));
  EXPECT_TRUE(node_->Engage("IOR:d"));
}

TEST_F(RenderNodeTest, AFailedUnpackStartsNothingAndKeepsThePackage) {
  Package({});
  ASSERT_TRUE(node_->Start());
  EXPECT_TRUE(BecomesIdle());
  EXPECT_TRUE(fs::exists(folder_ / "Render.zip"));
  EXPECT_FALSE(fs::exists(folder_ / "engine-args.txt"));

  Package({{"Render\\..\\..\\escape.pov", "x"}});
  ASSERT_TRUE(node_->Start());
  EXPECT_TRUE(BecomesIdle());
  EXPECT_FALSE(fs::exists(folder_ / "engine-args.txt"));
  EXPECT_FALSE(fs::exists(dir_.path() / "escape.pov"));

  // Nor may a package replace what stands beside the work folder.
  const std::string engine = ReadFile(folder_ / "pvengine");
  Package({{"Render\\Tessel.pov", "scene"}, {"pvengine", "#!/bin/sh\necho replaced\n"}});
  ASSERT_TRUE(node_->Start());
  EXPECT_TRUE(BecomesIdle());
  EXPECT_EQ(ReadFile(folder_ / "pvengine"), engine);
  EXPECT_FALSE(fs::exists(folder_ / "engine-args.txt"));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(RenderNodeTest, APackageOverTheLimitFailsItsJobAndTheNodeServesOn) {
  node::UnpackLimits limits;
  limits.maxBytes = 4096;
  std::mutex failureMutex;
  std::vector<std::string> failures;
  auto limited = node::RenderNode::Create(
      folder_,
      [this](std::int32_t part) {
        std::lock_guard<std::mutex> lock(mutex_);
        reports_.push_back(part);
        reported_.notify_all();
      },
      [&](std::int32_t, const std::string& reason, bool) {
        std::lock_guard<std::mutex> lock(failureMutex);
        failures.push_back(reason);
      },
      limits);
  Package({{"Render\\Tessel.pov", std::string(5000, ' ')}});
  testing::internal::CaptureStderr();
  ASSERT_TRUE(limited->Start());
  EXPECT_TRUE(farmtest::WaitUntil([&] { return limited->IsIdle(); }, 10s));
  std::this_thread::sleep_for(100ms);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("tessel: job not started: " + (folder_ / "Render.zip").string() +
                     ": refused, it unpacks to more than the limit of 4096 bytes\n"),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(folder_ / "engine-args.txt"));
  EXPECT_FALSE(fs::exists(folder_ / "Render" / "Tessel.pov"));
  EXPECT_TRUE(Reports().empty());
  {
    // The boss hears why its band failed.
    std::lock_guard<std::mutex> lock(failureMutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("refused, it unpacks to more than the limit of 4096 bytes"), std::string::npos)
        << failures[0];
  }

  Package({{"Render\\Tessel.pov", "scene"}});
  ASSERT_TRUE(limited->Start());
  ASSERT_TRUE(WaitForReports(1));
  EXPECT_EQ(ReadFile(folder_ / "Render" / "Tessel.pov"), "scene");
}

TEST_F(RenderNodeTest, AMissingEngineIsShownAndNotReported) {
  std::vector<std::string> boxes;
  std::mutex boxesMutex;
  auto previous = platform::SetMessageBoxPresenter([&](const std::string& text, const std::string&) {
    std::lock_guard<std::mutex> lock(boxesMutex);
    boxes.push_back(text);
  });
  fs::remove(folder_ / "pvengine");
  Package({{"Render\\Tessel.pov", "scene"}});
  ASSERT_TRUE(node_->Start());
  EXPECT_TRUE(BecomesIdle());
  // The node is free before its box shows (the box may wait for a user).
  EXPECT_TRUE(farmtest::WaitUntil(
      [&] {
        std::lock_guard<std::mutex> lock(boxesMutex);
        return !boxes.empty();
      },
      10s));
  std::this_thread::sleep_for(100ms);
  platform::SetMessageBoxPresenter(previous);
  {
    std::lock_guard<std::mutex> lock(boxesMutex);
    EXPECT_EQ(boxes, std::vector<std::string>{"服务程序不在规定位置!"});
  }
  EXPECT_TRUE(Reports().empty());
}

TEST_F(RenderNodeTest, AFailedReportStillFreesTheNode) {
  std::atomic<int> attempts{0};
  auto node = node::RenderNode::Create(folder_, [&](std::int32_t) {
    ++attempts;
    throw std::runtime_error("the boss is gone");
  });
  Package({{"Render\\Tessel.pov", "scene"}});
  ASSERT_TRUE(node->Start());
  EXPECT_TRUE(farmtest::WaitUntil([&] { return attempts.load() == 1 && node->IsIdle(); }, 10s));
  Package({{"Render\\Tessel.pov", "scene"}});
  EXPECT_TRUE(node->Start());  // the next job is taken
  EXPECT_TRUE(farmtest::WaitUntil([&] { return attempts.load() == 2 && node->IsIdle(); }, 10s));
}

TEST_F(RenderNodeTest, AFailedBandIsReportedAsFailedAndAStoppedOneAsFinished) {
  std::mutex m;
  std::vector<std::string> events;
  auto node = node::RenderNode::Create(
      folder_,
      [&](std::int32_t part) {
        std::lock_guard<std::mutex> lock(m);
        events.push_back("finish " + std::to_string(part));
      },
      [&](std::int32_t part, const std::string& reason, bool) {
        std::lock_guard<std::mutex> lock(m);
        events.push_back("failed " + std::to_string(part) + ": " + reason);
      });
  auto runJob = [&](int part) {
    node::JobParameters job;
    job.part = part;
    ASSERT_TRUE(node->SetJob(job));
    ASSERT_TRUE(node->Start());
    ASSERT_TRUE(farmtest::WaitUntil([&] { return node->IsIdle(); }, 10s));
  };
  auto last = [&] {
    std::lock_guard<std::mutex> lock(m);
    return events.empty() ? std::string() : events.back();
  };

  InstallEngine("#!/bin/sh\nexit 3\n");
  Package({{"Render\\Tessel.pov", "scene"}});
  runJob(4);
  EXPECT_EQ(last(), "failed 4: the engine ended with status 3");

  InstallEngine("#!/bin/sh\nkill -9 $$\n");
  Package({{"Render\\Tessel.pov", "scene"}});
  runJob(5);
  EXPECT_EQ(last(), "failed 5: the engine was ended by signal 9");

  runJob(6);  // the package went with the last job
  EXPECT_EQ(last().rfind("failed 6: the package could not be unpacked", 0), 0u) << last();

  InstallEngine("#!/bin/sh\nsleep 20\n");
  Package({{"Render\\Tessel.pov", "scene"}});
  node::JobParameters job;
  job.part = 7;
  ASSERT_TRUE(node->SetJob(job));
  ASSERT_TRUE(node->Start());
  ASSERT_TRUE(farmtest::WaitUntil([&] { return fs::exists(folder_ / "Render" / "Tessel.pov"); }, 10s));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(node->Stop());
  ASSERT_TRUE(farmtest::WaitUntil([&] { return node->IsIdle(); }, 10s));
  EXPECT_EQ(last(), "finish 7") << "a stop asked for is no failure";

  // On the wire: the end report, its label, then the word and the reason.
  const Lumora::DataSeq m4 = farm::EncodeEndMessage(4, "why");
  ASSERT_EQ(m4.length(), 4u);
  const char* texts[4] = {};
  for (CORBA::ULong i = 0; i < 4; ++i) ASSERT_TRUE(m4[i] >>= texts[i]);
  EXPECT_STREQ(texts[0], "Finish");
  EXPECT_STREQ(texts[1], "Render4.zip");
  EXPECT_STREQ(texts[2], "Failed");
  EXPECT_STREQ(texts[3], "why");
}

TEST_F(RenderNodeTest, RecordsThatCannotBeWrittenAreReported) {
  fs::create_directories(folder_ / "Farmer.ini");  // a folder where the record belongs
  fs::create_directories(folder_ / "boss.ini");
  node::JobParameters job;
  job.part = 9;
  std::string error;
  EXPECT_FALSE(node_->SetJob(job, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(node_->job().part, 9);  // stored all the same
  EXPECT_FALSE(node_->Engage("IOR:x"));
}

// ---------------------------------------------------------------- the servant

// A boss that counts the end reports it gets.
class ReportBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq& data) override {
    const char* kind = nullptr;
    const char* label = nullptr;
    if (data.length() == 2 && (data[0] >>= kind) && (data[1] >>= label) && std::string(kind) == "Finish") {
      std::lock_guard<std::mutex> lock(mutex_);
      labels_.push_back(label);
    }
  }
  void Push(CORBA::Long, const Lumora::ColorLine&) override {}
  std::vector<std::string> Labels() {
    std::lock_guard<std::mutex> lock(mutex_);
    return labels_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> labels_;
};

// Engagement as the wire sees it: only a boss whose engagement was accepted
// (boss.ini names it) receives the end report.
TEST(FarmerServantTest, OnlyAnAcceptedEngagementTakesTheEndReport) {
  farmtest::TestOrb orb;
  farmtest::TempDir dir;
  auto link = std::make_shared<node::BossLink>();
  auto renderNode = node::RenderNode::Create(dir.path(), [link](std::int32_t part) { link->ReportFinish(part); });
  auto* farmer = new node::FarmerServant(orb.orb(), orb.poa(), renderNode, link);
  auto* first = new ReportBoss();
  auto* second = new ReportBoss();
  CORBA::Object_var firstRef = orb.Activate(first);
  CORBA::Object_var secondRef = orb.Activate(second);

  CORBA::Object_var offered = CORBA::Object::_duplicate(firstRef.in());
  ASSERT_TRUE(farmer->CouldEngage(offered.inout()));
  EXPECT_TRUE(offered->_is_equivalent(firstRef));  // travels back unchanged
  std::string written;
  ASSERT_TRUE(farm::ReadBossIni(dir.path() / "boss.ini", &written, nullptr));
  CORBA::Object_var named = orb.FromString(written);
  EXPECT_TRUE(named->_is_equivalent(firstRef));

  // Engagements that fail keep the first boss: a farmer is not a boss, a
  // nil reference is none, and a boss.ini that cannot be written refuses
  // the second boss.
  auto* notBoss = new farmtest::FakeFarmer();
  CORBA::Object_var notBossRef = orb.Activate(notBoss);
  notBoss->_remove_ref();
  CORBA::Object_var wrong = CORBA::Object::_duplicate(notBossRef.in());
  EXPECT_FALSE(farmer->CouldEngage(wrong.inout()));
  CORBA::Object_var nil = CORBA::Object::_nil();
  EXPECT_FALSE(farmer->CouldEngage(nil.inout()));
  fs::remove(dir.path() / "boss.ini");
  fs::create_directories(dir.path() / "boss.ini");
  CORBA::Object_var refused = CORBA::Object::_duplicate(secondRef.in());
  EXPECT_FALSE(farmer->CouldEngage(refused.inout()));

  link->ReportFinish(4);
  EXPECT_EQ(first->Labels(), std::vector<std::string>{"Render4.zip"});
  EXPECT_TRUE(second->Labels().empty());

  EXPECT_TRUE(farmer->Stop());  // nothing to stop, still true
  // The first boss holds the node until it starts a band or lets go; only
  // its own stop lets go.
  EXPECT_FALSE(farmer->IsIdle());
  Lumora::RenderBoss_var firstBoss = Lumora::RenderBoss::_narrow(firstRef);
  Lumora::RenderBoss_var secondBoss = Lumora::RenderBoss::_narrow(secondRef);
  EXPECT_FALSE(farmer->StopJob(secondBoss.in()));
  EXPECT_FALSE(farmer->IsIdle());
  EXPECT_TRUE(farmer->StopJob(firstBoss.in()));
  EXPECT_TRUE(farmer->IsIdle());
  first->_remove_ref();
  second->_remove_ref();
  farmer->_remove_ref();
}

}  // namespace
