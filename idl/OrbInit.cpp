#include "idl/OrbInit.h"

#include <string>

namespace farm {

CORBA::ORB_ptr InitOrb(int& argc, char** argv) {
  const std::string maxMsg = std::to_string(kMaxMessageBytes);
  // Options given here rank below the command line, so a user can still
  // change them with -ORB... arguments.
  const char* options[][2] = {
      {"giopMaxMsgSize", maxMsg.c_str()},
      {nullptr, nullptr},
  };
  return CORBA::ORB_init(argc, argv, "omniORB4", options);
}

std::string ObjectToString(CORBA::ORB_ptr orb, CORBA::Object_ptr obj) {
  if (CORBA::is_nil(obj)) return std::string();
  CORBA::String_var s = orb->object_to_string(obj);
  return std::string(s.in());
}

}  // namespace farm
