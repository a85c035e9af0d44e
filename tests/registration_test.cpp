// Component registration end to end: farmreg writes the user's class
// registry through the libraries' own entry points, and objects are created
// from it by ProgID and CLSID.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jobs/host/LumoraClasses.h"
#include "launcher/ZephrinClasses.h"
#include "platform/ClassRegistry.h"
#include "platform/CreateObject.h"
#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;
using farmtest::BinDir;

namespace {

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() : config_("XDG_CONFIG_HOME", home_.path().string()) {}

  fs::path Registry() const { return home_.path() / "renderfarm" / "classes.reg"; }

  // Runs farmreg with `args`; answers its exit status and its output.
  int Farmreg(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::vector<std::string> argv = {(BinDir() / "farmreg").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto p = farmtest::Process::Start(argv, home_.path() / ("farmreg" + std::to_string(++runs_) + ".log"));
    EXPECT_NE(p, nullptr);
    if (p == nullptr) return -1;
    std::optional<int> status = p->WaitExit(std::chrono::seconds(60));
    if (output != nullptr) *output = p->Output();
    return status.value_or(-1);
  }

  farmtest::TempDir home_;
  farmtest::ScopedEnv config_;
  int runs_ = 0;
};

const std::string Lumora() { return (BinDir() / "liblumora.so").string(); }
const std::string Zephrin() { return (BinDir() / "libzephrin.so").string(); }

TEST_F(RegistrationTest, RegisterCreateUnloadUnregister) {
  ASSERT_EQ(Farmreg({Lumora(), Zephrin()}), 0);
  std::string error;
  {
    platform::com::ComPtr<jobs::IMaker> maker;
    ASSERT_EQ(platform::com::CreateInstance("Lumora.Maker", jobs::IID_IMaker, maker.Out(), &error), S_OK) << error;
    ASSERT_NE(maker->object(), nullptr);
    platform::com::ComPtr<jobs::IInstaller> installer;
    ASSERT_EQ(platform::com::CreateInstance(jobs::CLSID_Installer, jobs::IID_IInstaller, installer.Out(), &error), S_OK)
        << error;
    platform::com::ComPtr<launcher::IRender> render;
    ASSERT_EQ(platform::com::CreateInstance("Zephrin.Render.1", launcher::IID_IRender, render.Out(), &error), S_OK)
        << error;

    platform::com::ComPtr<jobs::IInstaller> wrong;
    EXPECT_EQ(platform::com::CreateInstance("Lumora.Maker", jobs::IID_IInstaller, wrong.Out(), &error),
              platform::com::kE_NOINTERFACE);
    EXPECT_FALSE(wrong);

    EXPECT_EQ(platform::com::CanUnloadNow(Lumora()), S_FALSE);
    maker.Reset();
    EXPECT_EQ(platform::com::CanUnloadNow(Lumora()), S_FALSE);  // the installer still lives
    installer.Reset();
    EXPECT_EQ(platform::com::CanUnloadNow(Lumora()), S_OK);
    EXPECT_EQ(platform::com::CanUnloadNow(Zephrin()), S_FALSE);
  }
  EXPECT_EQ(platform::com::CanUnloadNow(Zephrin()), S_OK);

  ASSERT_EQ(Farmreg({"-u", Lumora()}), 0);
  platform::com::ComPtr<jobs::IMaker> maker;
  EXPECT_EQ(platform::com::CreateInstance("Lumora.Maker", jobs::IID_IMaker, maker.Out(), &error),
            platform::com::kREGDB_E_CLASSNOTREG);
  EXPECT_NE(error.find("farmreg"), std::string::npos) << error;
  EXPECT_EQ(platform::com::CreateInstance(jobs::CLSID_Maker, jobs::IID_IMaker, maker.Out(), &error),
            platform::com::kREGDB_E_CLASSNOTREG);
  // The other library's classes and the shared keys stay.
  platform::com::ComPtr<launcher::IRender> render;
  EXPECT_EQ(platform::com::CreateInstance("Zephrin.Render", launcher::IID_IRender, render.Out(), &error), S_OK)
      << error;
  std::string text = farmtest::ReadFile(Registry());
  EXPECT_EQ(text.find("Lumora"), std::string::npos) << text;
  EXPECT_EQ(text.find("A4AC84D7"), std::string::npos) << text;
  EXPECT_NE(text.find("[CLSID]"), std::string::npos) << text;
  EXPECT_NE(text.find("[AppID]"), std::string::npos) << text;

  ASSERT_EQ(Farmreg({"--unregister", Zephrin()}), 0);
  text = farmtest::ReadFile(Registry());
  EXPECT_EQ(text.find("Zephrin"), std::string::npos) << text;
  EXPECT_EQ(text.find("{CA47E723"), std::string::npos) << text;
}

TEST_F(RegistrationTest, MovedLibraryRegisteredAgainTakesTheNewPath) {
  ASSERT_EQ(Farmreg({Lumora()}), 0);
  const fs::path moved = home_.path() / "moved dir" / "liblumora.so";
  fs::create_directories(moved.parent_path());
  fs::copy_file(Lumora(), moved);
  ASSERT_EQ(Farmreg({moved.string()}), 0);

  platform::com::ClassRegistry classes;
  std::string error;
  ASSERT_EQ(platform::com::ClassRegistry::Load(Registry(), &classes, &error), S_OK) << error;
  for (const char* clsid : {"{C3B34545-7BA0-4CF9-88F1-31B694229F9E}", "{2E60B6D8-C774-4C02-A73D-6512FED3CA9E}"}) {
    EXPECT_EQ(classes.Value(std::string("CLSID\\") + clsid + "\\InprocServer32"), fs::canonical(moved).string());
    EXPECT_EQ(classes.Value(std::string("CLSID\\") + clsid + "\\InprocServer32", "ThreadingModel"),
              std::string(clsid[1] == 'C' ? "Apartment" : "Both"));
  }
  EXPECT_EQ(classes.Value("Lumora.RenderNet2\\CurVer"), "Lumora.RenderNet2.1");
  EXPECT_EQ(classes.Value("Lumora.RenderNet2.1\\CLSID"), "{2E60B6D8-C774-4C02-A73D-6512FED3CA9E}");
}

TEST_F(RegistrationTest, DamagedRegistryIsReportedAndLeftAlone) {
  fs::create_directories(Registry().parent_path());
  const std::string damaged = "[CLSID]\n@=\"x\"\nthis is no value line\n";
  { std::ofstream(Registry()) << damaged; }

  std::string output;
  EXPECT_EQ(Farmreg({Lumora()}, &output), 1);
  EXPECT_NE(output.find(Registry().string() + ":3:"), std::string::npos) << output;
  EXPECT_EQ(farmtest::ReadFile(Registry()), damaged);

  platform::com::ComPtr<jobs::IMaker> maker;
  std::string error;
  EXPECT_EQ(platform::com::CreateInstance("Lumora.Maker", jobs::IID_IMaker, maker.Out(), &error),
            platform::com::kE_REGISTRY_CORRUPT);
  EXPECT_NE(error.find(Registry().string() + ":3:"), std::string::npos) << error;
}

}  // namespace
