// Farm renders driven from Python: a script builds the scene through the
// lumora module and renders it on a private farm of real processes.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
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

TEST(PythonFarmTest, ARenderFromPythonGivesTheSavedPictureAsAnArray) {
  Farm farm;
  TestOrb orb;
  ASSERT_TRUE(farm.StartRegistry());
  Process* hub = farm.StartWorkgroup(orb.orb());
  ASSERT_TRUE(hub && hub->Running()) << (hub ? hub->Output() : "");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(farm.StartNode(farm.MakeNodeFolder()));
  ASSERT_TRUE(WaitUntil([&] { return Farmers(orb.orb()) == 2; }, 30s, 100ms));

  // The script's liblumora (and so its work folder) is a private copy of bin/.
  const fs::path client = farm.MakeNodeFolder();
  ScopedEnv library("LD_LIBRARY_PATH", client.string());
  ScopedEnv path("PYTHONPATH", LUMORA_PYTHON_DIR);
  std::vector<std::string> argv;
  for (std::string_view host = PYTHON_HOST; !host.empty();) {
    const std::size_t bar = host.find('|');
    argv.emplace_back(host.substr(0, bar));
    host = bar == std::string_view::npos ? std::string_view() : host.substr(bar + 1);
  }
  argv.insert(argv.end(),
              {PYTHON_PROGRAM, (SourceDir() / "tests" / "python_render.py").string(), farm.TmpDir().string()});
  Process* script = farm.StartProgram(argv, "python");
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

}  // namespace
}  // namespace farmtest
