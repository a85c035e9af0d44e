#include "demo/Components.h"

#include "platform/CreateObject.h"

namespace vornel {
namespace {

template <class I>
com::ComPtr<I> Create(const char* progId, const com::IID& iid, std::string* error) {
  com::ComPtr<I> object;
  std::string why;
  const HRESULT hr = com::CreateInstance(progId, iid, object.Out(), &why);
  if (com::Failed(hr)) {
    *error = "cannot create " + std::string(progId) + ": " + why;
    if (hr == com::kREGDB_E_CLASSNOTREG) {
      *error = std::string(progId) + " is not registered; run scripts/bootstrap, or farmreg on the liblumora.so " +
               "beside this program (" + why + ")";
    }
    object.Reset();
  }
  return object;
}

}  // namespace

com::ComPtr<lumora::IMaker> NewMaker(std::string* error) {
  return Create<lumora::IMaker>("Lumora.Maker", lumora::IID_IMaker, error);
}

com::ComPtr<lumora::IRenderNet2> NewRenderNet2(std::string* error) {
  return Create<lumora::IRenderNet2>("Lumora.RenderNet2", lumora::IID_IRenderNet2, error);
}

}  // namespace vornel
