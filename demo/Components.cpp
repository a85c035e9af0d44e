#include "demo/Components.h"

#include "platform/CreateObject.h"

namespace demo {
namespace {

template <class I>
platform::com::ComPtr<I> Create(const char* progId, const platform::com::IID& iid, std::string* error) {
  platform::com::ComPtr<I> object;
  std::string why;
  const HRESULT hr = platform::com::CreateInstance(progId, iid, object.Out(), &why);
  if (platform::com::Failed(hr)) {
    *error = "cannot create " + std::string(progId) + ": " + why;
    if (hr == platform::com::kREGDB_E_CLASSNOTREG) {
      *error = std::string(progId) + " is not registered; run scripts/bootstrap, or farmreg on the liblumora.so " +
               "beside this program (" + why + ")";
    }
    object.Reset();
  }
  return object;
}

}  // namespace

platform::com::ComPtr<jobs::IMaker> NewMaker(std::string* error) {
  return Create<jobs::IMaker>("Lumora.Maker", jobs::IID_IMaker, error);
}

platform::com::ComPtr<jobs::IRenderNet2> NewRenderNet2(std::string* error) {
  return Create<jobs::IRenderNet2>("Lumora.RenderNet2", jobs::IID_IRenderNet2, error);
}

}  // namespace demo
