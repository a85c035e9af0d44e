// The entry points that make libzephrin.so a component library.
#include "launcher/Render.h"
#include "launcher/ZephrinClasses.h"
#include "platform/ComServer.h"
#include "platform/Folders.h"
#include "platform/RegistrationScript.h"

namespace {

com::Module& TheModule() {
  static com::Module module;
  return module;
}

const char kLibId[] = "{CA47E723-505A-4C33-80BD-6375DB563831}";

std::vector<com::RegistrationScript> Registration() {
  const std::filesystem::path module = platform::ModuleFile(reinterpret_cast<const void*>(&TheModule));
  const com::ClassInfo render = {"Render Class", "Zephrin.Render.1", "Zephrin.Render",
                                 "{C54C8945-CD31-4941-A3D5-E00E2E1E75D6}", "Apartment"};
  return {com::ClassScript(render, module.string(), "", kLibId),
          com::TypeLibScript({kLibId, "1.0", "0", "Zephrin 1.0 Type Library"}, module)};
}

}  // namespace

extern "C" {

HRESULT DllGetClassObject(const com::CLSID* clsid, const com::IID* iid, void** out) {
  static com::ClassFactory<zephrin::Render, zephrin::IRender> render(TheModule(), zephrin::IID_IRender);
  const com::ClassEntry table[] = {{&zephrin::CLSID_Render, &render}};
  return com::GetClassObject(table, clsid, iid, out);
}

// A worker still waiting for its process runs code of this library.
HRESULT DllCanUnloadNow() {
  return TheModule().count() == 0 && zephrin::Render::RunningWorkers() == 0 ? S_OK : S_FALSE;
}

HRESULT DllRegisterServer() { return com::RunRegistration(Registration(), false, com::ClassRegistry::DefaultPath()); }

HRESULT DllUnregisterServer() { return com::RunRegistration(Registration(), true, com::ClassRegistry::DefaultPath()); }

}  // extern "C"
