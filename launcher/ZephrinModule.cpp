// The entry points that make libzephrin.so a component library.
#include "launcher/Render.h"
#include "launcher/ZephrinClasses.h"
#include "platform/ComServer.h"
#include "platform/Folders.h"
#include "platform/RegistrationScript.h"

namespace {

platform::com::Module& TheModule() {
  static platform::com::Module module;
  return module;
}

const char kLibId[] = "{CA47E723-505A-4C33-80BD-6375DB563831}";

std::vector<platform::com::RegistrationScript> Registration() {
  const std::filesystem::path module = platform::ModuleFile(reinterpret_cast<const void*>(&TheModule));
  const platform::com::ClassInfo render = {"Render Class", "Zephrin.Render.1", "Zephrin.Render",
                                           "{C54C8945-CD31-4941-A3D5-E00E2E1E75D6}", "Apartment"};
  return {platform::com::ClassScript(render, module.string(), "", kLibId),
          platform::com::TypeLibScript({kLibId, "1.0", "0", "Zephrin 1.0 Type Library"}, module)};
}

}  // namespace

extern "C" {

HRESULT DllGetClassObject(const platform::com::CLSID* clsid, const platform::com::IID* iid, void** out) {
  static platform::com::ClassFactory<launcher::Render, launcher::IRender> render(TheModule(), launcher::IID_IRender);
  const platform::com::ClassEntry table[] = {{&launcher::CLSID_Render, &render}};
  return platform::com::GetClassObject(table, clsid, iid, out);
}

// A worker still waiting for its process runs code of this library.
HRESULT DllCanUnloadNow() {
  return TheModule().count() == 0 && launcher::Render::RunningWorkers() == 0 ? S_OK : S_FALSE;
}

HRESULT DllRegisterServer() {
  return platform::com::RunRegistration(Registration(), false, platform::com::ClassRegistry::DefaultPath());
}

HRESULT DllUnregisterServer() {
  return platform::com::RunRegistration(Registration(), true, platform::com::ClassRegistry::DefaultPath());
}

}  // extern "C"
