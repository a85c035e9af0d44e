#pragma once
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Lumora.hh"
#include "platform/Status.h"

namespace transfer {

// The connection of one engine process to the boss of its job: its ORB, the
// root adapter (held, never activated: nothing is served) and the boss.
//
// Any of the engine's threads, several at once: a mutex guards the ORB and the
// boss, and each Send works on its own copy of the boss reference.
class RowSender {
 public:
  // Starts (or finds again) the ORB with `orbArgs` (a program's command
  // line; only -ORB options matter), then reads the boss from
  // folder/boss.ini and checks that it answers. An error saying why on any
  // failure. A boss that was read but did not answer the check is kept, so
  // that rows still go to it; on any other failure no boss is held.
  platform::Status Connect(const std::vector<std::string>& orbArgs, const std::filesystem::path& folder);

  // One two-way Push of the row; the pixels are lent, not copied. False when
  // not connected, for a negative count, or when the call fails.
  bool Send(std::int32_t line, std::int32_t count, const std::int32_t* pixels);

  // Always false: rows go out synchronously, so none is ever pending, and
  // nothing marks the sender ready. Kept for engines that ask.
  bool IsOK() const { return false; }

 private:
  mutable std::mutex mutex_;
  CORBA::ORB_var orb_;
  PortableServer::POA_var root_;
  PortableServer::POAManager_var manager_;
  Lumora::RenderBoss_var boss_;
};

// The command line of the running process (/proc/self/cmdline).
std::vector<std::string> OwnCommandLine();

}  // namespace transfer
