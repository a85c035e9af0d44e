// Render nodes as real processes: ledgo, kintrahub and tessel in node
// folders of their own, with povray behind pvengine, and a boss served by
// this test that engages them the way a render job controller does.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "Kintra.hh"
#include "Lumora.hh"
#include "engine/PpmImage.h"
#include "node/TestZip.h"
#include "platform/ChildProcess.h"
#include "registry/NameBinding.h"
#include "tests/support/BossBase.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A 4 x 4 picture for the floor, so the scene needs a file beside it.
std::string FloorPicture() {
  std::string ppm = "P6\n4 4\n255\n";
  for (int i = 0; i < 16; ++i) {
    const bool light = ((i % 4) + (i / 4)) % 2 == 0;
    ppm += light ? std::string("\xF0\xE0\x40", 3) : std::string("\x20\x30\xA0", 3);
  }
  return ppm;
}

std::string Scene(const std::string& cameraExtra = "", const std::string& lightExtra = "") {
  return "#version 3.7;\n"
         "global_settings { assumed_gamma 1.0 }\n"
         "background { color rgb <0.2, 0.3, 0.6> }\n"
         "camera { location <0, 2, -6> look_at <0, 0.5, 0> " +
         cameraExtra +
         " }\n"
         "light_source { <5, 8, -6> color rgb 1 " +
         lightExtra +
         " }\n"
         "plane { y, 0 pigment { image_map { ppm \"floor.ppm\" } rotate x*90 scale 2 } }\n"
         "sphere { <0, 1, 0>, 1 pigment { color rgb <0.8, 0.1, 0.1> } finish { phong 0.8 reflection 0.3 } }\n"
         "box { <-2.5, 0, -0.5>, <-1.5, 1, 0.5> pigment { color rgb <0.1, 0.8, 0.1> } }\n";
}

// The same scene under an area light: every pixel traced alike whichever
// rows a run renders, but a band takes a while.
std::string ShadedScene() { return Scene("", "area_light <2, 0, 0>, <0, 0, 2>, 32, 32"); }

// The same scene with a blurred camera: seconds per band instead of a blink.
std::string SlowScene() {
  return Scene("aperture 0.5 blur_samples 400, 400 focal_point <0, 1, 0> confidence 0.999 variance 0");
}

std::string Package(const fs::path& dir, const std::string& scene) {
  const fs::path zip = dir / "package.zip";
  EXPECT_TRUE(nodetest::WriteZip(
      zip, {{"Render\\", ""}, {"Render\\Tessel.pov", scene}, {"Render\\floor.ppm", FloorPicture()}}));
  return ReadFile(zip);
}

// Row number -> pixels of a direct povray render of the scene (COLORREF).
std::map<int, std::vector<std::int32_t>> DirectRender(const fs::path& dir, const std::string& scene) {
  fs::create_directories(dir);
  std::ofstream(dir / "Tessel.pov") << scene;
  std::ofstream(dir / "floor.ppm", std::ios::binary) << FloorPicture();
  const std::string cmd = "cd '" + dir.string() + "' && povray +ITessel.pov +W" + std::to_string(kWidth) + " +H" +
                          std::to_string(kHeight) + " -D -P +FP +Oreference.ppm >povray.log 2>&1";
  std::string error;
  auto p = platform::ChildProcess::Start({"/bin/sh", "-c", cmd}, &error);
  EXPECT_TRUE(p) << error;
  std::map<int, std::vector<std::int32_t>> rows;
  if (!p || p->Wait() != 0) {
    ADD_FAILURE() << ReadFile(dir / "povray.log");
    return rows;
  }
  const std::string data = ReadFile(dir / "reference.ppm");
  engine::PpmHeader h;
  EXPECT_EQ(engine::ParsePpmHeader(data, &h), engine::PpmParse::kOk);
  EXPECT_EQ(data.size(), h.totalBytes());
  for (int row = 1; row <= kHeight && data.size() >= h.totalBytes(); ++row) {
    std::vector<std::int32_t> px(kWidth);
    engine::PpmRowToColorref(
        reinterpret_cast<const unsigned char*>(data.data()) + h.dataOffset + h.rowBytes() * (row - 1), h, px.data());
    rows[row] = std::move(px);
  }
  return rows;
}

// The boss side of a job, as a render job controller serves it: it takes
// rows and end reports and remembers when they came.
class TestBoss : public farmtest::BossBase {
 public:
  void SetData(const Lumora::DataSeq& data) override {
    const char* kind = nullptr;
    const char* label = nullptr;
    const char* failed = nullptr;
    const char* reason = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    const char* mark = nullptr;
    if ((data.length() == 2 || data.length() == 4 || data.length() == 5) && (data[0] >>= kind) &&
        std::string(kind) == "Finish" && (data[1] >>= label)) {
      finishes_.push_back(label);
      if (data.length() >= 4 && (data[2] >>= failed) && (data[3] >>= reason)) failures_[label] = reason;
      if (data.length() == 5 && (data[4] >>= mark) && std::string(mark) == "SceneWrong") sceneWrong_.insert(label);
      changed_.notify_all();
    }
  }

  void Push(CORBA::Long line, const Lumora::ColorLine& colors) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Row& row = rows_[line];
    if (row.pixels.empty()) row.firstArrived = Clock::now();
    row.pixels.assign(colors.get_buffer(), colors.get_buffer() + colors.length());
    row.arrived = Clock::now();
    ++pushes_;
    changed_.notify_all();
  }

  bool WaitForFinishes(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finishes_.size() >= n; });
  }
  bool WaitForRows(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return rows_.size() >= n; });
  }

  struct Row {
    std::vector<std::int32_t> pixels;  // as sent last
    Clock::time_point arrived;         // last sent
    Clock::time_point firstArrived;    // first sent (an engine may send a row again, mended)
  };
  std::map<int, Row> Rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
  }
  std::vector<std::string> Finishes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finishes_;
  }
  // The reason a band's end report gave for its failure; empty for none.
  std::string Failure(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.count(label) ? failures_[label] : std::string();
  }
  // The band's failure was marked as a wrong scene.
  bool SceneWrong(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    return sceneWrong_.count(label) > 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int, Row> rows_;
  int pushes_ = 0;
  std::vector<std::string> finishes_;
  std::map<std::string, std::string> failures_;
  std::set<std::string> sceneWrong_;
};

Lumora::DataSeq OneFrame(int part, int parts, int first, int last) {
  Lumora::DataSeq d;
  d.length(7);
  d[0] <<= "OneFrame";
  d[1] <<= static_cast<CORBA::Long>(part);
  d[2] <<= static_cast<CORBA::Long>(parts);
  d[3] <<= static_cast<CORBA::Long>(kWidth);
  d[4] <<= static_cast<CORBA::Long>(kHeight);
  d[5] <<= static_cast<CORBA::Long>(first);
  d[6] <<= static_cast<CORBA::Long>(last);
  return d;
}

// Processes whose current folder lies in `folder` (an engine and its
// renderers work in the node's Render folder).
std::vector<pid_t> ProcessesWorkingIn(const fs::path& folder) {
  std::vector<pid_t> pids;
  std::error_code ec;
  const std::string prefix = fs::canonical(folder, ec).string();
  // Without a folder every process would match, and be killed by callers.
  if (ec || prefix.size() < 2) return pids;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkEc;
    const fs::path cwd = fs::read_symlink(entry.path() / "cwd", linkEc);
    if (!linkEc && cwd.string().rfind(prefix, 0) == 0) pids.push_back(std::stoi(name));
  }
  return pids;
}

class NodeFarmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orb_ = std::make_unique<TestOrb>();
    ASSERT_TRUE(farm_.StartRegistry());
    hub_ = farm_.StartWorkgroup(orb_->orb());
    ASSERT_TRUE(hub_ && hub_->Running()) << (hub_ ? hub_->Output() : "");
    boss_ = new TestBoss();
    bossRef_ = orb_->Activate(boss_);
  }

  void TearDown() override {
    // An engine outlives its node by design; a failed test must not leave
    // one rendering.
    for (const fs::path& folder : folders_) {
      for (pid_t pid : ProcessesWorkingIn(folder)) kill(pid, SIGKILL);
    }
    boss_->_remove_ref();
    orb_.reset();
  }

  // Starts `n` nodes and answers their farmers in work-group order.
  std::vector<Lumora::RenderFarmer_var> StartNodes(size_t n) {
    for (size_t i = 0; i < n; ++i) {
      folders_.push_back(farm_.MakeNodeFolder());
      Process* node = farm_.StartNode(folders_.back());
      EXPECT_TRUE(node && node->WaitForOutput("joined the work group", 15s)) << (node ? node->Output() : "");
      nodes_.push_back(node);
    }
    CORBA::Object_var obj = registry::resolve_initial_references2(orb_->orb(), "WorkGroup", 1);
    Kintra::WorkGropRegiste_var groups = Kintra::WorkGropRegiste::_narrow(obj);
    Kintra::WorkGroup_var group = groups->CreateWorkGroup("Tessel");
    Kintra::farmerlist_var list = new Kintra::farmerlist;
    EXPECT_TRUE(group->GetValidFarmer(list.inout()));
    std::vector<Lumora::RenderFarmer_var> farmers;
    for (CORBA::ULong i = 0; i < list->length(); ++i) farmers.push_back(Lumora::RenderFarmer::_narrow(list[i]));
    EXPECT_EQ(farmers.size(), n);
    return farmers;
  }

  // One band handed out as a boss does it (by default the test's boss).
  void HandOut(Lumora::RenderFarmer_ptr farmer, const Lumora::DataSeq& job, const std::string& package,
               CORBA::Object_ptr bossRef = CORBA::Object::_nil()) {
    CORBA::String_var id = farmer->ID();
    EXPECT_STREQ(id.in(), "Farmer_Tessel");
    CORBA::Object_var boss = CORBA::Object::_duplicate(CORBA::is_nil(bossRef) ? bossRef_.in() : bossRef);
    ASSERT_TRUE(farmer->CouldEngage(boss.inout()));
    farmer->SetData(job);
    Lumora::FileTransform_var file = farmer->CreateFileAndPass();
    ASSERT_TRUE(file->CreateFile("Render.zip", 1));
    Lumora::BinaryFile data(static_cast<CORBA::ULong>(package.size()), static_cast<CORBA::ULong>(package.size()),
                            reinterpret_cast<CORBA::Octet*>(const_cast<char*>(package.data())), false);
    ASSERT_TRUE(file->WriteBuffer(static_cast<CORBA::Long>(package.size()), data));
    ASSERT_TRUE(file->CloseFile());
    farmer->Zarvo();
  }

  static bool BecomesIdle(Lumora::RenderFarmer_ptr farmer) {
    return WaitUntil([&] { return farmer->IsIdle(); }, 10s);
  }

  Farm farm_;
  Process* hub_ = nullptr;
  std::unique_ptr<TestOrb> orb_;
  TestBoss* boss_ = nullptr;
  CORBA::Object_var bossRef_;
  std::vector<fs::path> folders_;
  std::vector<Process*> nodes_;
};

// Rows equal a direct render bit for bit: the scene has no anti-aliasing,
// radiosity or other sampling that depends on neighbouring pixels, so every
// pixel is traced the same way whichever rows a run renders.
void ExpectRowsMatch(const std::map<int, TestBoss::Row>& rows, const std::map<int, std::vector<std::int32_t>>& ref,
                     int first, int last) {
  for (int row = first; row <= last; ++row) {
    auto it = rows.find(row);
    ASSERT_NE(it, rows.end()) << "row " << row << " never arrived";
    ASSERT_EQ(it->second.pixels.size(), static_cast<size_t>(kWidth)) << "row " << row;
    ASSERT_TRUE(ref.count(row));
    EXPECT_EQ(it->second.pixels, ref.at(row)) << "row " << row;
  }
}

TEST_F(NodeFarmTest, OneNodeRendersItsBandRowByRow) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  Lumora::RenderFarmer_ptr farmer = farmers[0];
  EXPECT_TRUE(farmer->IsIdle());
  const auto reference = DirectRender(farm_.TmpDir() / "direct", ShadedScene());

  // A band of a taller picture: rows 31 to 120 of 120.
  const auto start = Clock::now();
  HandOut(farmer, OneFrame(3, 4, 31, kHeight), Package(farm_.TmpDir(), ShadedScene()));
  EXPECT_FALSE(farmer->IsIdle());  // busy from the accepted start on
  ASSERT_TRUE(boss_->WaitForFinishes(1, 60s)) << nodes_[0]->Output();
  EXPECT_EQ(boss_->Finishes(), std::vector<std::string>{"Render3.zip"});

  const auto rows = boss_->Rows();
  EXPECT_EQ(rows.size(), static_cast<size_t>(kHeight - 31 + 1));
  EXPECT_EQ(rows.begin()->first, 31);
  EXPECT_EQ(rows.rbegin()->first, kHeight);
  ExpectRowsMatch(rows, reference, 31, kHeight);

  // The band arrives while it renders, not all at its end.
  Clock::time_point firstArrival = Clock::time_point::max(), lastArrival = Clock::time_point::min();
  for (const auto& [line, row] : rows) {
    firstArrival = std::min(firstArrival, row.firstArrived);
    lastArrival = std::max(lastArrival, row.firstArrived);
  }
  // Rows leave the renderer as it finishes them, over the band's tracing.
  EXPECT_GE(lastArrival - firstArrival, 150ms);
  EXPECT_LT(firstArrival - start, (lastArrival - start) * 3 / 4);

  EXPECT_TRUE(BecomesIdle(farmer));
  const fs::path node = folders_[0];
  EXPECT_FALSE(fs::exists(node / "Render.zip"));  // unpacked and removed
  EXPECT_TRUE(fs::exists(node / "Render" / "Tessel.pov"));
  EXPECT_EQ(ReadFile(node / "Farmer.ini"), std::string("\x1F\0\0\0\x78\0\0\0\x78\0\0\0", 12));  // 31, 120, 120
}

TEST_F(NodeFarmTest, TwoNodesShareAPictureAndTheTopBandStartsAtZero) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(2);
  ASSERT_EQ(farmers.size(), 2u);
  const auto reference = DirectRender(farm_.TmpDir() / "direct", Scene());
  const std::string package = Package(farm_.TmpDir(), Scene());
  // Two bands of 120 rows as a boss splits them, widened by 10 rows.
  HandOut(farmers[0], OneFrame(1, 2, 0, 69), package);
  HandOut(farmers[1], OneFrame(2, 2, 51, kHeight), package);
  ASSERT_TRUE(boss_->WaitForFinishes(2, 60s)) << nodes_[0]->Output() << nodes_[1]->Output();
  std::vector<std::string> finishes = boss_->Finishes();
  std::sort(finishes.begin(), finishes.end());
  EXPECT_EQ(finishes, (std::vector<std::string>{"Render1.zip", "Render2.zip"}));
  const auto rows = boss_->Rows();
  EXPECT_EQ(rows.size(), static_cast<size_t>(kHeight));
  ExpectRowsMatch(rows, reference, 1, kHeight);
  EXPECT_TRUE(BecomesIdle(farmers[0]));
  EXPECT_TRUE(BecomesIdle(farmers[1]));
}

TEST_F(NodeFarmTest, StopEndsTheEngineAndTheBandIsStillReported) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  Lumora::RenderFarmer_ptr farmer = farmers[0];
  HandOut(farmer, OneFrame(12, 12, 0, kHeight), Package(farm_.TmpDir(), SlowScene()));
  ASSERT_TRUE(boss_->WaitForRows(1, 60s)) << nodes_[0]->Output();
  EXPECT_FALSE(farmer->IsIdle());
  // A second boss cannot take the node while it renders.
  CORBA::Object_var other = CORBA::Object::_duplicate(bossRef_.in());
  EXPECT_FALSE(farmer->CouldEngage(other.inout()));

  EXPECT_TRUE(farmer->Stop());
  ASSERT_TRUE(boss_->WaitForFinishes(1, 15s)) << nodes_[0]->Output();
  EXPECT_EQ(boss_->Finishes(), std::vector<std::string>{"Render12.zip"});
  EXPECT_LT(boss_->Rows().size(), static_cast<size_t>(kHeight));
  EXPECT_TRUE(BecomesIdle(farmer));
  // The engine went with all its renderers.
  EXPECT_TRUE(WaitUntil([&] { return ProcessesWorkingIn(folders_[0]).empty(); }, 5s));
  EXPECT_NE(nodes_[0]->Output().find("+ORender12.bmp"), std::string::npos);
}

TEST_F(NodeFarmTest, EndingTheNodeLeavesARunningEngineAlone) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  HandOut(farmers[0], OneFrame(1, 1, 0, kHeight), Package(farm_.TmpDir(), SlowScene()));
  ASSERT_TRUE(boss_->WaitForRows(1, 60s)) << nodes_[0]->Output();
  nodes_[0]->Signal(SIGTERM);
  EXPECT_EQ(nodes_[0]->WaitExit(10s), std::optional<int>(0)) << nodes_[0]->Output();
  // The engine goes on rendering for the boss; no end report can come.
  const size_t rowsAtExit = boss_->Rows().size();
  EXPECT_FALSE(ProcessesWorkingIn(folders_[0]).empty());
  EXPECT_TRUE(boss_->WaitForRows(rowsAtExit + 1, 30s));
  EXPECT_TRUE(boss_->Finishes().empty());
}

TEST_F(NodeFarmTest, APackageOfMoreThan256MegabytesPasses) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  const size_t size = 260u * 1024u * 1024u;
  std::vector<CORBA::Octet> bytes(size, 0x5A);
  bytes.front() = 1;
  bytes.back() = 2;
  Lumora::FileTransform_var file = farmers[0]->CreateFileAndPass();
  ASSERT_TRUE(file->CreateFile("big.bin", 1));
  Lumora::BinaryFile data(static_cast<CORBA::ULong>(size), static_cast<CORBA::ULong>(size), bytes.data(), false);
  ASSERT_TRUE(file->WriteBuffer(static_cast<CORBA::Long>(size), data));
  ASSERT_TRUE(file->CloseFile());
  const fs::path big = folders_[0] / "big.bin";
  EXPECT_EQ(fs::file_size(big), size);
  fs::remove(big);
}

// A package of files (zip paths use backslashes, as a boss writes them).
std::string PackageOf(const fs::path& dir, const std::vector<std::pair<std::string, std::string>>& files) {
  const fs::path zip = dir / "package.zip";
  std::vector<nodetest::ZipEntry> entries;
  for (const auto& [name, data] : files) entries.push_back({name, data});
  EXPECT_TRUE(nodetest::WriteZip(zip, entries));
  return ReadFile(zip);
}

// The scene's rows in one colour: green when `condition` (POV-Ray) holds,
// else blue.
std::string ColourScene(const std::string& prelude, const std::string& condition = "true") {
  return "#version 3.7;\nglobal_settings { assumed_gamma 1.0 }\n" + prelude +
         "\ncamera { location <0, 0, -2> look_at 0 }\n"
         "plane { z, 0 pigment { color #if (" +
         condition + ") rgb <0, 1, 0> #else rgb <0, 0, 1> #end } finish { ambient 1 diffuse 0 } }\n";
}

constexpr std::int32_t kGreen = 0x00FF00;
constexpr std::int32_t kBlue = 0xFF0000;

// A scene that reads or writes outside its job folder, or holds the node,
// and what becomes of its band.
struct HostileCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  // A reason the band fails with (a part of it); empty: it renders, every
  // row `colour`.
  std::string failure;
  std::string logSays;  // what the renderer said, when it failed
  std::int32_t colour = kGreen;
};

// One scene from anyone each, given `out`, a folder outside the job folder
// holding secret.txt, colour.inc and floor.ppm.
std::vector<HostileCase> HostileCases(const std::string& out) {
  const std::string shellIni = "Pre_Scene_Command=\"touch " + out + "/shell.txt\"\nPre_Scene_Return=\"-\"\n";

  const std::string denied = "is not permitted";  // povray refuses before the kernel would
  const std::string hidden = "Cannot find file";  // for reading
  return {
      {"write by absolute path",
       {{"Render\\Tessel.pov", ColourScene("#fopen F \"" + out + "/absolute.txt\" write #write(F, \"x\") #fclose F")}},
       "status 1",
       denied},
      {"write with ../",
       {{"Render\\Tessel.pov", ColourScene("#fopen F \"../../outside/up.txt\" write #write(F, \"x\") #fclose F")}},
       "status 1",
       denied},
      {"write beside the job folder",
       {{"Render\\Tessel.pov", ColourScene("#fopen F \"../escape.txt\" write #write(F, \"x\") #fclose F")}},
       "status 1",
       denied},
      {"#fopen and #read /etc/passwd",
       {{"Render\\Tessel.pov", ColourScene("#fopen F \"/etc/passwd\" read #read(F, S) #fclose F")}},
       "status 1",
       hidden},
      {"#fopen and #read outside",
       {{"Render\\Tessel.pov", ColourScene("#fopen F \"" + out + "/secret.txt\" read #read(F, N) #fclose F")}},
       "status 1",
       hidden},
      {"#include /etc/passwd", {{"Render\\Tessel.pov", ColourScene("#include \"/etc/passwd\"")}}, "status 1", hidden},
      {"#include outside",
       {{"Render\\Tessel.pov", ColourScene("#include \"" + out + "/colour.inc\"")}},
       "status 1",
       hidden},
      {"image map outside",
       {{"Render\\Tessel.pov", ColourScene("#declare P = pigment { image_map { ppm \"" + out + "/floor.ppm\" } }")}},
       "status 1",
       hidden},
      {"file_exists", {{"Render\\Tessel.pov", ColourScene("", "file_exists(\"/etc/passwd\")")}}, "", "", kBlue},
      {"povray.ini beside the scene asks for a shell-out",
       {{"Render\\povray.ini", shellIni}, {"Render\\Tessel.pov", ColourScene("")}},
       "",
       ""},
      {"povray.ini at the package's top level",
       {{"povray.ini", shellIni}, {"Render\\Tessel.pov", ColourScene("")}},
       "unpacked",
       ""},
      {"an array of 100 GB",
       {{"Render\\Tessel.pov", ColourScene("#declare A = array[120000][120000];")}},
       "LUMORA_RENDER_MEMORY_MB",
       "bad_alloc"},
      {"a file that grows without end",
       {{"Render\\Tessel.pov",
         ColourScene("#fopen F \"big.txt\" write #while (true) #write(F, \"0123456789abcdef\") #end")}},
       "LUMORA_RENDER_FILE_MB",
       ""},
      {"a #while loop that never ends",
       {{"Render\\Tessel.pov", ColourScene("#while (true) #end")}},
       "LUMORA_RENDER_SECONDS",
       ""},
  };
}

// Scenes from anyone, sent straight to a node: each reads or writes outside
// its job folder, or holds the node. None may touch anything outside the job
// folder; each band fails with a reason or renders without the forbidden
// access, and the node takes the next band at once.
TEST_F(NodeFarmTest, HostileScenesStayInTheirJobFolder) {
  // The operator's limits (a machine's half is a lot to fill in a test).
  ScopedEnv memory("LUMORA_RENDER_MEMORY_MB", "1024");
  ScopedEnv seconds("LUMORA_RENDER_SECONDS", "8");
  ScopedEnv fileSize("LUMORA_RENDER_FILE_MB", "1");
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  Lumora::RenderFarmer_ptr farmer = farmers[0];
  const fs::path node = folders_[0];
  // Readable and writable by the node's user, outside the job folder.
  const fs::path outside = farm_.TmpDir() / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "secret.txt") << "1,\n";
  std::ofstream(outside / "colour.inc") << "#declare Secret = 1;\n";
  std::ofstream(outside / "floor.ppm", std::ios::binary) << FloorPicture();
  const std::vector<HostileCase> cases = HostileCases(outside.string());
  int part = 0;
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    ++part;
    const std::string label = "Render" + std::to_string(part) + ".zip";
    const auto start = Clock::now();
    HandOut(farmer, OneFrame(part, 99, 0, kHeight), PackageOf(farm_.TmpDir(), c.files));
    ASSERT_TRUE(boss_->WaitForFinishes(part, 60s)) << nodes_[0]->Output();
    const std::string failure = boss_->Failure(label);
    if (c.failure.empty()) {
      EXPECT_EQ(failure, "");
      const auto rows = boss_->Rows();
      ASSERT_EQ(rows.size(), static_cast<size_t>(kHeight));
      EXPECT_EQ(rows.at(kHeight / 2).pixels.at(kWidth / 2), c.colour);
    } else {
      EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    }
    if (!c.logSays.empty()) {
      const std::string log = ReadFile(node / "Render" / "pvengine.log");
      EXPECT_NE(log.find(c.logSays), std::string::npos) << log;
    }
    EXPECT_TRUE(BecomesIdle(farmer));
    EXPECT_LT(Clock::now() - start, 30s);
  }
  // Nothing was written outside the job folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 3);
  EXPECT_FALSE(fs::exists(node / "escape.txt"));

  // A scene that never ends, whose boss goes away: the node ends the
  // renderer's whole process group and is idle within 5 s, and renders the
  // next band.
  auto* gone = new TestBoss();
  CORBA::Object_var goneRef = orb_->Activate(gone);
  HandOut(farmer, OneFrame(++part, 99, 0, kHeight),
          PackageOf(farm_.TmpDir(), {{"Render\\Tessel.pov", ColourScene("#while (true) #end")}}), goneRef);
  ASSERT_TRUE(WaitUntil([&] { return ProcessesWorkingIn(node / "Render").size() >= 2; }, 10s));
  orb_->Deactivate(gone);
  gone->_remove_ref();
  const auto goneAt = Clock::now();
  EXPECT_TRUE(WaitUntil([&] { return farmer->IsIdle(); }, 10s));
  EXPECT_LT(Clock::now() - goneAt, 5s);
  EXPECT_TRUE(ProcessesWorkingIn(node / "Render").empty());
  HandOut(farmer, OneFrame(++part, 99, 0, kHeight),
          PackageOf(farm_.TmpDir(), {{"Render\\Tessel.pov", ColourScene("")}}));
  ASSERT_TRUE(boss_->WaitForFinishes(cases.size() + 1, 10s)) << nodes_[0]->Output();
  EXPECT_EQ(boss_->Failure("Render" + std::to_string(part) + ".zip"), "");
}

// A user's own scene sent straight to a node: the node checks the package's
// options again (a shell-out asked for fails the band, naming the option),
// renders with the scene's folder as working folder and its library folder
// on the library path, and marks a scene that does not parse as wrong, with
// povray's message naming file and line. A leftover include of the last job
// is gone.
TEST_F(NodeFarmTest, OwnScenesAreCheckedOnTheNodeAndTheirErrorsMarked) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(1);
  ASSERT_EQ(farmers.size(), 1u);
  Lumora::RenderFarmer_ptr farmer = farmers[0];
  Lumora::AbleFarmer_var able = Lumora::AbleFarmer::_narrow(farmer);
  ASSERT_FALSE(CORBA::is_nil(able.in()));
  Lumora::AbilityList_var abilities;
  try {
    abilities = able->Abilities();
  } catch (const CORBA::Exception& e) {
    FAIL() << e._name();
  }
  ASSERT_GE(abilities->length(), 1u);
  EXPECT_STREQ(abilities[0].in(), "scene");

  const std::string options = "Input_File_Name=scene/main.pov\nLibrary_Path=scene/inc\n";
  const std::string main = ColourScene("#include \"colour.inc\"", "Colour = 1");
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::string failure;  // empty: renders green
    bool sceneWrong = false;
  };
  const std::vector<Case> cases = {
      {"include from the library folder",
       {{"Render\\lumora-scene.ini", options + "Declare=Colour=1\n"},
        {"Render\\scene\\main.pov", main},
        {"Render\\scene\\inc\\colour.inc", "#declare Unused = 1;\n"}},
       ""},
      {"a shell-out in the options",
       {{"Render\\lumora-scene.ini", options + "Pre_Scene_Command=touch /tmp/lumora-shell\n"},
        {"Render\\scene\\main.pov", main}},
       "Pre_Scene_Command"},
      {"the last job's include is gone",
       {{"Render\\lumora-scene.ini", options + "Declare=Colour=1\n"}, {"Render\\scene\\main.pov", main}},
       "colour.inc",
       true},
      {"a syntax error",
       {{"Render\\lumora-scene.ini", options}, {"Render\\scene\\main.pov", "#version 3.7;\nsphere { 0, 1\n"}},
       "line",
       true},
  };
  int part = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++part;
    const std::string label = "Render" + std::to_string(part) + ".zip";
    HandOut(farmer, OneFrame(part, 99, 0, kHeight), PackageOf(farm_.TmpDir(), c.files));
    ASSERT_TRUE(boss_->WaitForFinishes(part, 60s)) << nodes_[0]->Output();
    const std::string failure = boss_->Failure(label);
    if (c.failure.empty()) {
      EXPECT_EQ(failure, "");
      const auto rows = boss_->Rows();
      ASSERT_EQ(rows.size(), static_cast<size_t>(kHeight));
      EXPECT_EQ(rows.at(kHeight / 2).pixels.at(kWidth / 2), kGreen);
    } else {
      EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    }
    EXPECT_EQ(boss_->SceneWrong(label), c.sceneWrong) << failure;
    EXPECT_TRUE(BecomesIdle(farmer));
  }
  EXPECT_FALSE(fs::exists("/tmp/lumora-shell"));
}

// A node whose kernel offers no Landlock (simulated) refuses to render,
// saying why, unless its operator lets it render unconfined.
TEST_F(NodeFarmTest, WithoutLandlockANodeRefusesUnlessToldToRenderUnconfined) {
  ScopedEnv pretend("LUMORA_PRETEND_NO_LANDLOCK", "1");
  std::vector<Lumora::RenderFarmer_var> refusing = StartNodes(1);
  ASSERT_EQ(refusing.size(), 1u);
  const fs::path written = farm_.TmpDir() / "unconfined.txt";
  const std::string package = PackageOf(
      farm_.TmpDir(),
      {{"Render\\Tessel.pov", ColourScene("#fopen F \"" + written.string() + "\" write #write(F, \"x\") #fclose F")}});
  HandOut(refusing[0], OneFrame(1, 2, 0, kHeight), package);
  ASSERT_TRUE(boss_->WaitForFinishes(1, 30s)) << nodes_[0]->Output();
  EXPECT_NE(boss_->Failure("Render1.zip").find("cannot be confined"), std::string::npos)
      << boss_->Failure("Render1.zip");
  EXPECT_NE(boss_->Failure("Render1.zip").find("LUMORA_UNCONFINED=1"), std::string::npos);
  EXPECT_TRUE(boss_->Rows().empty());
  EXPECT_FALSE(fs::exists(written));
  nodes_[0]->Signal(SIGTERM);
  ASSERT_TRUE(nodes_[0]->WaitExit(10s));

  // Unconfined, povray's own file security still refuses the write.
  ScopedEnv unconfined("LUMORA_UNCONFINED", "1");
  std::vector<Lumora::RenderFarmer_var> willing = StartNodes(1);
  ASSERT_EQ(willing.size(), 1u);
  HandOut(willing[0], OneFrame(2, 3, 0, kHeight), package);
  ASSERT_TRUE(boss_->WaitForFinishes(2, 30s)) << nodes_[1]->Output();
  EXPECT_NE(boss_->Failure("Render2.zip").find("IO Restrictions"), std::string::npos) << boss_->Failure("Render2.zip");
  EXPECT_FALSE(fs::exists(written));
  HandOut(willing[0], OneFrame(3, 3, 0, kHeight), PackageOf(farm_.TmpDir(), {{"Render\\Tessel.pov", ColourScene("")}}));
  ASSERT_TRUE(boss_->WaitForFinishes(3, 30s)) << nodes_[1]->Output();
  EXPECT_EQ(boss_->Failure("Render3.zip"), "");
  EXPECT_EQ(boss_->Rows().size(), static_cast<size_t>(kHeight));
  EXPECT_NE(nodes_[1]->Output().find("rendering UNCONFINED"), std::string::npos) << nodes_[1]->Output();
}

// Starting without a workgroup server: the node says what it waits for and
// keeps trying. Without an ORB: one line on standard error, then the node
// waits to be ended.
TEST(NodeStartTest, WithoutWorkgroupServerTheNodeSaysWhyAndWaits) {
  Farm farm;
  ASSERT_TRUE(farm.StartRegistry());
  Process* node = farm.StartNode(farm.MakeNodeFolder());
  ASSERT_TRUE(node);
  EXPECT_TRUE(
      node->WaitForOutput("lists no workgroup server \"WorkGroup\" (kintrahub not started yet?); trying again", 15s))
      << node->Output();
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(node->Running());
  node->Signal(SIGTERM);
  EXPECT_EQ(node->WaitExit(5s), std::optional<int>(0));

  // Nor does a node whose ORB cannot start.
  Process* broken = farm.StartNode(farm.MakeNodeFolder(), {"-ORBendPoint", "nonsense:endpoint"});
  ASSERT_TRUE(broken);
  EXPECT_TRUE(broken->WaitForOutput("cannot start the ORB", 15s)) << broken->Output();
  EXPECT_TRUE(broken->Running());
  broken->Signal(SIGINT);
  EXPECT_EQ(broken->WaitExit(5s), std::optional<int>(0));
}

// A workgroup server that is published but fails its calls.
class FailingRegistrar : public POA_Kintra::WorkGropRegiste {
 public:
  Kintra::WorkGroup_ptr CreateWorkGroup(const char*) override { throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO); }
};

// The node shows its message instead of blocking, serves all the same and
// ends on SIGINT.
TEST(NodeStartTest, RegistrationFailureIsReportedAndTheNodeGoesOn) {
  Farm farm;
  TestOrb orb;
  ASSERT_TRUE(farm.StartRegistry());
  auto* registrar = new FailingRegistrar();
  CORBA::Object_var ref = orb.Activate(registrar);
  registrar->_remove_ref();
  ASSERT_EQ(registry::bind_service(orb.orb(), "WorkGroup", ref), 0);
  Process* node = farm.StartNode(farm.MakeNodeFolder());
  ASSERT_TRUE(node);
  EXPECT_TRUE(node->WaitForOutput("先运行基础服务", 20s)) << node->Output();
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(node->Running());
  node->Signal(SIGINT);
  EXPECT_EQ(node->WaitExit(5s), std::optional<int>(0));
}

}  // namespace
}  // namespace farmtest

namespace farmtest {
namespace {

// One run of `lumora status ARGS`: its exit status (-1: it did not end
// within 10 s), its output and how long it took.
struct StatusRun {
  int exit = -1;
  std::string output;
  Clock::duration took{};
  nlohmann::json json;  // with --json, when it printed JSON
};

StatusRun LumoraStatus(Farm& farm, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {(BinDir() / "lumora").string(), "status"};
  argv.insert(argv.end(), args.begin(), args.end());
  StatusRun run;
  const auto start = Clock::now();
  Process* p = farm.StartProgram(argv, "lumora-status");
  if (p == nullptr) return run;
  run.exit = p->WaitExit(10s).value_or(-1);
  run.took = Clock::now() - start;
  run.output = p->Output();
  const std::size_t brace = run.output.find('{');
  if (brace != std::string::npos) run.json = nlohmann::json::parse(run.output.substr(brace), nullptr, false);
  return run;
}

// The node whose folder is `folder` in a `lumora status --json` snapshot.
nlohmann::json NodeIn(const nlohmann::json& snapshot, const fs::path& folder) {
  if (!snapshot.is_object() || !snapshot.contains("nodes")) return nlohmann::json::object();
  for (const auto& n : snapshot["nodes"]) {
    if (n["status"].is_object() && n["status"].value("folder", "") == folder.string()) return n;
  }
  return nlohmann::json::object();
}

// The operator's view: of three nodes, one renders a band, one is frozen
// (SIGSTOP) and one is idle; `lumora status` shows each as it is within 2 s
// of the change, and answers within 3 s although one node never answers.
TEST_F(NodeFarmTest, StatusShowsABusyAFrozenAndAnIdleNode) {
  std::vector<Lumora::RenderFarmer_var> farmers = StartNodes(3);
  ASSERT_EQ(farmers.size(), 3u);
  // Which farmer is which folder, as each node says itself.
  std::map<std::string, size_t> folderOf;
  std::vector<fs::path> folderOfFarmer;
  for (auto& f : farmers) {
    Lumora::StatusFarmer_var node = Lumora::StatusFarmer::_narrow(f.in());
    ASSERT_FALSE(CORBA::is_nil(node));
    Lumora::NodeStatus_var st = node->Status();
    EXPECT_FALSE(st->busy);
    folderOfFarmer.emplace_back(st->folder.in());
  }
  auto processOf = [&](const fs::path& folder) {
    for (size_t i = 0; i < folders_.size(); ++i) {
      if (folders_[i] == folder) return nodes_[i];
    }
    return static_cast<Process*>(nullptr);
  };
  const fs::path busy = folderOfFarmer[0], frozen = folderOfFarmer[1], idle = folderOfFarmer[2];
  ASSERT_TRUE(processOf(frozen));
  // The server has heard from all three.
  StatusRun run;
  ASSERT_TRUE(WaitUntil(
      [&] {
        run = LumoraStatus(farm_, {"--json"});
        return NodeIn(run.json, busy).value("state", "") == "idle" &&
               NodeIn(run.json, frozen).value("state", "") == "idle" &&
               NodeIn(run.json, idle).value("state", "") == "idle";
      },
      15s, 100ms))
      << run.output;

  HandOut(farmers[0], OneFrame(2, 3, 41, kHeight), Package(farm_.TmpDir(), SlowScene()));
  ASSERT_TRUE(processOf(frozen)->Suspend(5s));
  const auto changed = Clock::now();

  // Every run answers within 3 s; the first that shows all three rightly
  // comes within 2 s.
  bool shown = false;
  Clock::duration shownAfter{};
  while (Clock::now() - changed < 10s && !shown) {
    run = LumoraStatus(farm_, {"--json"});
    ASSERT_EQ(run.exit, 0) << run.output;
    EXPECT_LT(run.took, 3s) << run.output;
    const nlohmann::json b = NodeIn(run.json, busy), f = NodeIn(run.json, frozen), i = NodeIn(run.json, idle);
    shown = b.value("state", "") == "busy" && f.value("state", "") == "unreachable" && i.value("state", "") == "idle";
    shownAfter = Clock::now() - changed;
  }
  ASSERT_TRUE(shown) << run.output;
  EXPECT_LT(shownAfter, 2s + run.took) << run.output;  // the run that showed it began within 2 s

  // The busy node's band as the node knows it, and its rows moving.
  const nlohmann::json b = NodeIn(run.json, busy)["status"];
  ASSERT_TRUE(b.is_object()) << run.output;
  EXPECT_EQ(b["controller"], "127.0.0.1");
  EXPECT_EQ(b["band"], 2);
  EXPECT_EQ(b["bandCount"], 3);
  EXPECT_EQ(b["firstRow"], 41);
  EXPECT_EQ(b["rowsAsked"], kHeight - 40);
  EXPECT_EQ(b["width"], kWidth);
  EXPECT_GT(b["busySince"].get<double>(), 0);
  int rowsSeen = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        run = LumoraStatus(farm_, {"--json"});
        const nlohmann::json s = NodeIn(run.json, busy).value("status", nlohmann::json());
        if (!s.is_object() || !s["busy"].get<bool>()) return false;
        rowsSeen = s["rowsDone"].get<int>();
        return rowsSeen > 0 && s["cpuSeconds"].get<double>() > 0 && s["memoryMb"].get<double>() > 0;
      },
      60s, 200ms))
      << run.output;
  EXPECT_LE(rowsSeen, kHeight - 40);
  // The frozen node keeps what it said last, its folder among it.
  EXPECT_FALSE(NodeIn(run.json, frozen).empty());

  // The table for people names each state.
  run = LumoraStatus(farm_, {});
  EXPECT_EQ(run.exit, 0) << run.output;
  for (const char* word : {"busy", "unreachable", "idle", "band 2/3"}) {
    EXPECT_NE(run.output.find(word), std::string::npos) << word << "\n" << run.output;
  }

  EXPECT_TRUE(farmers[0]->Stop());
  // Without a server: non-zero, and why.
  hub_->Kill();
  run = LumoraStatus(farm_, {});
  EXPECT_EQ(run.exit, 3) << run.output;
  EXPECT_NE(run.output.find("could not be reached"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace farmtest
