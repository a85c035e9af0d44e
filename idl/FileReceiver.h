#pragma once
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "Lumora.hh"

// Servant of Lumora::FileTransform: receives exactly one file into a fixed
// folder, for a render node (its node folder) and for a boss (its work
// folder). Create it on the heap and activate it in a POA; CloseFile()
// deactivates it, and the POA deletes it once the call has been answered.
//
// Its calls may come on any ORB thread; a mutex guards the open file.
//
// Names from the wire never leave the folder: a name that is empty, absolute,
// holds a '/' or '\\' separator, or is "." or "..", is refused by CreateFile.
class FileReceiver : public POA_Lumora::FileTransform {
 public:
  // What the owner of the folder does with some files; both may be empty.
  // Called on the ORB thread of the call, without the receiver's lock.
  struct Hooks {
    // Asked by CreateFile(name, 0) for a name that stays in the folder:
    // true when the owner already holds that file elsewhere; CreateFile
    // then answers FALSE as for a file that exists.
    std::function<bool(const std::string& name)> held;
    // Told by CloseFile of a file that arrived whole: false when the owner
    // refuses it (it then removes or moves the file itself); CloseFile then
    // answers FALSE.
    std::function<bool(const std::filesystem::path& file)> arrived;
  };

  explicit FileReceiver(std::filesystem::path folder, Hooks hooks = {});
  ~FileReceiver() override;

  // The answer of every CreateFileAndPass: a new receiver into `folder`,
  // activated in `poa` (which then owns it; CloseFile retires it), as its
  // reference. Raises what the adapter raises. Any thread.
  static Lumora::FileTransform_ptr Activate(PortableServer::POA_ptr poa, std::filesystem::path folder,
                                            Hooks hooks = {});

  // FALSE when `overwrite` is 0 and the file exists (it stays untouched), or
  // when the name is refused. Otherwise opens folder/name for writing,
  // truncating, and answers TRUE even when opening failed (the next
  // WriteBuffer then raises).
  CORBA::Boolean CreateFile(const char* name, CORBA::Long overwrite) override;

  // Appends the first `length` octets of `data` and flushes them, so a full
  // disk shows here. Raises CORBA::BAD_PARAM for a negative length or one
  // above data.length() (never reads past the data), and
  // CORBA::BAD_INV_ORDER when no file is open. A write error (a full disk)
  // removes the partly written file, so no later reader takes it for whole,
  // and raises CORBA::NO_RESOURCES; later writes then raise BAD_INV_ORDER.
  // Length 0 writes nothing and answers TRUE.
  CORBA::Boolean WriteBuffer(CORBA::Long length, const Lumora::BinaryFile& data) override;

  // Flushes and closes the file (if any) and deactivates this object; later
  // calls on its reference fail with OBJECT_NOT_EXIST. Answers TRUE, or
  // FALSE when the last bytes could not be stored (the file is removed).
  CORBA::Boolean CloseFile() override;

 private:
  // Closes and removes the open file after a failed write.
  void DiscardLocked();

  std::filesystem::path folder_;
  const Hooks hooks_;
  std::filesystem::path target_;  // of file_
  std::FILE* file_ = nullptr;
  std::mutex mutex_;
};
