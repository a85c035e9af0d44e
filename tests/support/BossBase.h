#pragma once
#include "Lumora.hh"

namespace farmtest {

// The part of a boss callback object that every test boss shares: it
// answers ID and IsLive as a render job controller does and hands out no
// file receivers. Tests derive from it and serve SetData and Push as they
// need.
//
// Its answers hold no state: the ORB's threads may call it at once.
class BossBase : public POA_Lumora::RenderBoss {
 public:
  char* ID() override { return CORBA::string_dup("Lumora_RenderBoss_i"); }
  CORBA::Boolean IsLive() override { return true; }
  Lumora::FileTransform_ptr CreateFileAndPass() override { throw CORBA::NO_IMPLEMENT(); }
};

}  // namespace farmtest
