#include "jobs/host/RenderNet.h"

#include "jobs/host/MessageBoxes.h"
#include "platform/MessageBox.h"

RenderNet::RenderNet() { jobs::InstallMessageBoxes(); }

HRESULT RenderNet::Zarvo(const WId*) {
  platform::MessageBox("该接口中止使用\n请使用RenderNet2接口");
  return S_OK;
}

HRESULT RenderNet::Destory() { return S_OK; }

HRESULT RenderNet::HasOK(int32_t*, const char**) { return S_OK; }

HRESULT RenderNet::SetImage(int32_t, int32_t) { return S_OK; }

HRESULT RenderNet::Init() { return S_OK; }
