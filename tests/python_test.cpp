// Farm renders driven from Python: a script builds the scene through the
// lumora module and renders it on a private farm of real processes.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Kintra.hh"
#include "registry/NameBinding.h"
#include "tests/support/Farm.h"
#include "tests/support/TestOrb.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Farmers the work group lists now; -1 when it cannot be asked.
int Farmers(CORBA::ORB_ptr orb) {
  try {
    CORBA::Object_var obj = registry::resolve_initial_references2(orb, "WorkGroup", 0);
    Kintra::WorkGropRegiste_var reg = Kintra::WorkGropRegiste::_narrow(obj);
    Kintra::WorkGroup_var group = reg->CreateWorkGroup("Tessel");
    Kintra::farmerlist_var list = new Kintra::farmerlist;
    group->GetValidFarmer(list.inout());
    return static_cast<int>(list->length());
  } catch (...) {
    return -1;
  }
}

// A private farm of two nodes and the command line of python_render.py.
class PythonFarmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(farm_.StartRegistry());
    Process* hub = farm_.StartWorkgroup(orb_.orb());
    ASSERT_TRUE(hub && hub->Running()) << (hub ? hub->Output() : "");
    for (int i = 0; i < 2; ++i) {
      nodes_.push_back(farm_.StartNode(farm_.MakeNodeFolder()));
      ASSERT_TRUE(nodes_.back());
    }
    ASSERT_TRUE(WaitUntil([&] { return Farmers(orb_.orb()) == 2; }, 30s, 100ms));
    // The script's liblumora (and so its work folder) is a private copy of bin/.
    client_ = farm_.MakeNodeFolder();
    library_ = std::make_unique<ScopedEnv>("LD_LIBRARY_PATH", client_.string());
    path_ = std::make_unique<ScopedEnv>("PYTHONPATH", LUMORA_PYTHON_DIR);
  }

  Process* StartScript(const std::vector<std::string>& args) {
    std::vector<std::string> argv;
    for (std::string_view host = PYTHON_HOST; !host.empty();) {
      const std::size_t bar = host.find('|');
      argv.emplace_back(host.substr(0, bar));
      host = bar == std::string_view::npos ? std::string_view() : host.substr(bar + 1);
    }
    argv.insert(argv.end(), {PYTHON_PROGRAM, (SourceDir() / "tests" / "python_render.py").string()});
    argv.insert(argv.end(), args.begin(), args.end());
    return farm_.StartProgram(argv, "python");
  }

  Farm farm_;
  TestOrb orb_;
  std::vector<Process*> nodes_;
  fs::path client_;
  std::unique_ptr<ScopedEnv> library_;
  std::unique_ptr<ScopedEnv> path_;
};

TEST_F(PythonFarmTest, ARenderFromPythonGivesTheSavedPictureAsAnArray) {
  Farm& farm = farm_;
  const fs::path client = client_;
  Process* script = StartScript({farm.TmpDir().string()});
  ASSERT_TRUE(script != nullptr);
  ASSERT_EQ(script->WaitExit(180s), 0) << script->Output();
  EXPECT_NE(script->Output().find("render: ok"), std::string::npos) << script->Output();
  EXPECT_TRUE(fs::exists(client / "Render" / "Tessel.pov"));

  const QImage saved =
      QImage(QString::fromStdString((farm.TmpDir() / "saved.png").string())).convertToFormat(QImage::Format_RGB888);
  ASSERT_EQ(saved.width(), 96);
  ASSERT_EQ(saved.height(), 72);
  const std::string array = ReadFile(farm.TmpDir() / "array.rgb");
  ASSERT_EQ(array.size(), std::size_t{96 * 72 * 3});
  int yellow = 0;
  int differ = 0;
  for (int y = 0; y < 72; ++y) {
    const auto* line = reinterpret_cast<const unsigned char*>(saved.constScanLine(y));
    for (int x = 0; x < 96 * 3; ++x) differ += line[x] != static_cast<unsigned char>(array[y * 96 * 3 + x]);
    for (int x = 0; x < 96; ++x) yellow += line[3 * x] == 255 && line[3 * x + 1] == 255 && line[3 * x + 2] == 0;
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(yellow, 0) << "pixels never rendered";
}

// A script that leaves the interpreter mid-job leaves no node rendering.
TEST_F(PythonFarmTest, AScriptThatLeavesMidJobStopsItsNodes) {
  Process* script = StartScript({farm_.TmpDir().string(), "leave"});
  ASSERT_TRUE(script != nullptr);
  ASSERT_EQ(script->WaitExit(180s), 0) << script->Output();
  ASSERT_NE(script->Output().find("leaving"), std::string::npos) << script->Output();
  auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  for (Process* node : nodes_) {
    // Every engine the node started has ended, said by the node itself.
    EXPECT_TRUE(WaitUntil(
        [&] {
          const std::string o = node->Output();
          return count(o, "tessel: engine ended") == count(o, "tessel: engine: ");
        },
        5s, 50ms))
        << node->Output();
    EXPECT_EQ(node->Output().find("the boss has not answered"), std::string::npos) << node->Output();
  }
}

}  // namespace
}  // namespace farmtest
