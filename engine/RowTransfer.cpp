#include "engine/RowTransfer.h"

#include <dlfcn.h>

namespace engine {

bool RowTransfer::Load(const std::filesystem::path& library, std::string* error) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = dlerror();
    return false;
  }
  auto init = reinterpret_cast<bool (*)()>(dlsym(handle, "Transformdata_init"));
  auto send =
      reinterpret_cast<bool (*)(std::int32_t, std::int32_t, const std::int32_t*)>(dlsym(handle, "Transformdata"));
  auto getbegin =
      reinterpret_cast<bool (*)(std::int32_t*, std::int32_t*, std::int32_t*)>(dlsym(handle, "Transformdata_getbegin"));
  if (!init || !send || !getbegin || !dlsym(handle, "Transformdata_IsOK")) {
    *error = library.string() + ": not a row transfer library";
    return false;  // the handle stays open: unloading a library that started threads is not safe
  }
  init_ = init;
  send_ = send;
  getbegin_ = getbegin;
  return true;
}

}  // namespace engine
