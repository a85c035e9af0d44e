// The entry points that make liblumora.so a component library: its class
// table, its class factories and its registration.
#include "jobs/host/LumoraClasses.h"
#include "jobs/host/RenderNet.h"
#include "jobs/host/RenderNet2.h"
#include "platform/ComServer.h"
#include "platform/Folders.h"
#include "platform/RegistrationScript.h"
#include "scene/Maker.h"

namespace {

platform::com::Module& TheModule() {
  static platform::com::Module module;
  return module;
}

const char kAppId[] = "{A4AC84D7-2C46-42EC-9A6E-93F0B469C687}";
const char kLibId[] = "{23B4C721-8534-4106-B7BE-141E2DCE7C1C}";

// Class table order: Maker, RenderNet, Installer, RenderNet2.
const platform::com::ClassInfo kClasses[] = {
    {"Maker Class", "Lumora.Maker.1", "Lumora.Maker", "{C3B34545-7BA0-4CF9-88F1-31B694229F9E}", "Apartment"},
    {"RenderNet Class", "Lumora.RenderNet.1", "Lumora.RenderNet", "{BE9337EF-4A54-4FF0-8808-BBAFE42FB2C7}", "Free"},
    {"Installer Class", "Lumora.Installer.1", "Lumora.Installer", "{CDCC5038-5483-413B-9FFC-A8988DD2C44E}",
     "Apartment"},
    {"RenderNet2 Class", "Lumora.RenderNet2.1", "Lumora.RenderNet2", "{2E60B6D8-C774-4C02-A73D-6512FED3CA9E}", "Both"},
};

std::vector<platform::com::RegistrationScript> Registration() {
  const std::filesystem::path module = platform::ModuleFile(reinterpret_cast<const void*>(&TheModule));
  std::vector<platform::com::RegistrationScript> steps;
  steps.push_back(platform::com::AppIdScript(kAppId, "Lumora", module.filename().string()));
  for (const platform::com::ClassInfo& c : kClasses)
    steps.push_back(platform::com::ClassScript(c, module.string(), kAppId, kLibId));
  steps.push_back(platform::com::TypeLibScript({kLibId, "1.0", "409", "Lumora 1.0 类型库"}, module));
  return steps;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const platform::com::CLSID* clsid,
                                                                 const platform::com::IID* iid, void** out) {
  static platform::com::ClassFactory<Maker, jobs::IMaker> maker(TheModule(), jobs::IID_IMaker);
  static platform::com::ClassFactory<RenderNet, jobs::IRenderNet> renderNet(TheModule(), jobs::IID_IRenderNet);
  static platform::com::ClassFactory<jobs::Installer, jobs::IInstaller> installer(TheModule(), jobs::IID_IInstaller);
  static platform::com::ClassFactory<RenderNet2, jobs::IRenderNet2> renderNet2(TheModule(), jobs::IID_IRenderNet2);
  const platform::com::ClassEntry table[] = {
      {&jobs::CLSID_Maker, &maker},
      {&jobs::CLSID_RenderNet, &renderNet},
      {&jobs::CLSID_Installer, &installer},
      {&jobs::CLSID_RenderNet2, &renderNet2},
  };
  return platform::com::GetClassObject(table, clsid, iid, out);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return TheModule().count() == 0 ? S_OK : S_FALSE; }

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  return platform::com::RunRegistration(Registration(), false, platform::com::ClassRegistry::DefaultPath());
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return platform::com::RunRegistration(Registration(), true, platform::com::ClassRegistry::DefaultPath());
}

}  // extern "C"
