#pragma once
#include <qwindowdefs.h>

#include <cstdint>

#include "platform/HResult.h"

// The older render job class, kept so that old hosts get an answer: Zarvo
// tells the user to use RenderNet2; every other method does nothing. All
// methods return S_OK.
//
// Holds no state: any thread may call it.
class RenderNet {
 public:
  RenderNet();

  // Shows "该接口中止使用\n请使用RenderNet2接口" and starts nothing.
  HRESULT Zarvo(const WId* pWnd);
  HRESULT Destory();
  // Leaves both arguments untouched.
  HRESULT HasOK(int32_t* isok, const char** imagefile);
  HRESULT SetImage(int32_t width, int32_t height);
  HRESULT Init();
};
