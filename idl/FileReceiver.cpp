#include "idl/FileReceiver.h"

#include <system_error>

#include "idl/OrbInit.h"

namespace {

// A wire name may only name a file directly inside the receiver's folder.
bool NameStaysInFolder(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const std::string_view n(name);
  if (n == "." || n == "..") return false;
  return n.find('/') == std::string_view::npos && n.find('\\') == std::string_view::npos;
}

}  // namespace

FileReceiver::FileReceiver(std::filesystem::path folder, Hooks hooks)
    : folder_(std::move(folder)), hooks_(std::move(hooks)) {}

FileReceiver::~FileReceiver() {
  if (file_ != nullptr) std::fclose(file_);
}

Lumora::FileTransform_ptr FileReceiver::Activate(PortableServer::POA_ptr poa, std::filesystem::path folder,
                                                 Hooks hooks) {
  PortableServer::Servant_var<FileReceiver> receiver = new FileReceiver(std::move(folder), std::move(hooks));
  PortableServer::ObjectId_var id = poa->activate_object(receiver.in());
  CORBA::Object_var obj = poa->id_to_reference(id.in());
  return Lumora::FileTransform::_narrow(obj.in());
}

CORBA::Boolean FileReceiver::CreateFile(const char* name, CORBA::Long overwrite) {
  if (!NameStaysInFolder(name)) return false;
  if (overwrite == 0 && hooks_.held && hooks_.held(name)) return false;
  const std::filesystem::path target = folder_ / name;
  std::lock_guard<std::mutex> lock(mutex_);
  std::error_code ec;
  if (overwrite == 0 && std::filesystem::exists(target, ec)) return false;
  // One receiver, one file: a second CreateFile replaces the first target.
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  file_ = std::fopen(target.c_str(), "wb");  // a failure shows at WriteBuffer
  target_ = target;
  return true;
}

CORBA::Boolean FileReceiver::WriteBuffer(CORBA::Long length, const Lumora::BinaryFile& data) {
  if (length < 0 || static_cast<CORBA::ULong>(length) > data.length()) {
    throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) throw CORBA::BAD_INV_ORDER(0, CORBA::COMPLETED_NO);
  if (length == 0) return true;
  const std::size_t n = std::fwrite(data.get_buffer(), 1, static_cast<std::size_t>(length), file_);
  if (n != static_cast<std::size_t>(length) || std::fflush(file_) != 0) {
    DiscardLocked();
    throw CORBA::NO_RESOURCES(0, CORBA::COMPLETED_MAYBE);
  }
  return true;
}

void FileReceiver::DiscardLocked() {
  std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  std::filesystem::remove(target_, ec);
}

CORBA::Boolean FileReceiver::CloseFile() {
  bool stored = true;
  bool closed = false;
  std::filesystem::path target;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
      if (std::fclose(file_) != 0) {
        stored = false;
        std::error_code ec;
        std::filesystem::remove(target_, ec);
      }
      file_ = nullptr;
      closed = true;
      target = target_;
    }
  }
  if (closed && stored && hooks_.arrived) stored = hooks_.arrived(target);
  // Retire this object in whichever adapter serves the current call; the
  // adapter drops its reference once the call has been answered.
  try {
    int argc = 0;
    CORBA::ORB_var orb = farm::InitOrb(argc, nullptr);  // the process's ORB, already running
    CORBA::Object_var obj = orb->resolve_initial_references("POACurrent");
    PortableServer::Current_var current = PortableServer::Current::_narrow(obj);
    PortableServer::POA_var poa = current->get_POA();
    PortableServer::ObjectId_var id = current->get_object_id();
    poa->deactivate_object(id);
  } catch (const CORBA::Exception&) {
    // Not called through an adapter (a direct call in-process): nothing to retire.
  }
  return stored;
}
