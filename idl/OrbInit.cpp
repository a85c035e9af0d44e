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

StartedOrb StartOrb(int& argc, char** argv, OrbRole role) {
  StartedOrb started;
  started.orb = InitOrb(argc, argv);
  CORBA::Object_var obj = started.orb->resolve_initial_references("RootPOA");
  started.rootPoa = PortableServer::POA::_narrow(obj.in());
  if (CORBA::is_nil(started.rootPoa.in())) throw CORBA::OBJ_ADAPTER(0, CORBA::COMPLETED_NO);
  started.manager = started.rootPoa->the_POAManager();
  if (role == OrbRole::kServer) started.manager->activate();
  return started;
}

StartedOrb StartOrb(std::vector<std::string> args, OrbRole role) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  return StartOrb(argc, argv.data(), role);
}

std::string ObjectToString(CORBA::ORB_ptr orb, CORBA::Object_ptr obj) {
  if (CORBA::is_nil(obj)) return std::string();
  CORBA::String_var s = orb->object_to_string(obj);
  return std::string(s.in());
}

std::string Describe(const CORBA::Exception& e, ExceptionDetail detail) {
  const char* name = e._name();
  std::string text = name != nullptr ? name : "CORBA exception";
  const CORBA::SystemException* system = CORBA::SystemException::_downcast(&e);
  if (detail == ExceptionDetail::kWithMinor && system != nullptr) {
    text += " (minor " + std::to_string(system->minor()) + ")";
  }
  return text;
}

}  // namespace farm
