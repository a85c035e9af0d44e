// The entry points that make liblumora.so a component library: its class
// table, its class factories and its registration.
#include "jobs/LumoraClasses.h"
#include "jobs/RenderNet.h"
#include "jobs/RenderNet2.h"
#include "platform/ComServer.h"
#include "platform/Folders.h"
#include "platform/RegistrationScript.h"
#include "scene/Maker.h"

namespace {

com::Module& TheModule() {
  static com::Module module;
  return module;
}

const char kAppId[] = "{A4AC84D7-2C46-42EC-9A6E-93F0B469C687}";
const char kLibId[] = "{23B4C721-8534-4106-B7BE-141E2DCE7C1C}";

// Class table order: Maker, RenderNet, Installer, RenderNet2.
const com::ClassInfo kClasses[] = {
    {"Maker Class", "Lumora.Maker.1", "Lumora.Maker", "{C3B34545-7BA0-4CF9-88F1-31B694229F9E}", "Apartment"},
    {"RenderNet Class", "Lumora.RenderNet.1", "Lumora.RenderNet", "{BE9337EF-4A54-4FF0-8808-BBAFE42FB2C7}", "Free"},
    {"Installer Class", "Lumora.Installer.1", "Lumora.Installer", "{CDCC5038-5483-413B-9FFC-A8988DD2C44E}",
     "Apartment"},
    {"RenderNet2 Class", "Lumora.RenderNet2.1", "Lumora.RenderNet2", "{2E60B6D8-C774-4C02-A73D-6512FED3CA9E}", "Both"},
};

std::vector<com::RegistrationScript> Registration() {
  const std::filesystem::path module = platform::ModuleFile(reinterpret_cast<const void*>(&TheModule));
  std::vector<com::RegistrationScript> steps;
  steps.push_back(com::AppIdScript(kAppId, "Lumora", module.filename().string()));
  for (const com::ClassInfo& c : kClasses) steps.push_back(com::ClassScript(c, module.string(), kAppId, kLibId));
  steps.push_back(com::TypeLibScript({kLibId, "1.0", "409", "Lumora 1.0 类型库"}, module));
  return steps;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const com::CLSID* clsid, const com::IID* iid,
                                                                 void** out) {
  static com::ClassFactory<Maker, lumora::IMaker> maker(TheModule(), lumora::IID_IMaker);
  static com::ClassFactory<RenderNet, lumora::IRenderNet> renderNet(TheModule(), lumora::IID_IRenderNet);
  static com::ClassFactory<lumora::Installer, lumora::IInstaller> installer(TheModule(), lumora::IID_IInstaller);
  static com::ClassFactory<RenderNet2, lumora::IRenderNet2> renderNet2(TheModule(), lumora::IID_IRenderNet2);
  const com::ClassEntry table[] = {
      {&lumora::CLSID_Maker, &maker},
      {&lumora::CLSID_RenderNet, &renderNet},
      {&lumora::CLSID_Installer, &installer},
      {&lumora::CLSID_RenderNet2, &renderNet2},
  };
  return com::GetClassObject(table, clsid, iid, out);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return TheModule().count() == 0 ? S_OK : S_FALSE; }

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  return com::RunRegistration(Registration(), false, com::ClassRegistry::DefaultPath());
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return com::RunRegistration(Registration(), true, com::ClassRegistry::DefaultPath());
}

}  // extern "C"
