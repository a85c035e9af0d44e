#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace platform {

// The Landlock ABI version the kernel offers, 0 when it offers none (with
// the reason in *why). With LUMORA_PRETEND_NO_LANDLOCK=1 in the environment
// it answers 0 whatever the kernel offers: a node can be tried as one on a
// kernel without Landlock (this only ever takes confinement away, so a node
// that is asked to confine then refuses to render).
int LandlockAbi(std::string* why = nullptr);

// What a confined process may still reach of the file system. Every path
// covers what lies below it; a path that does not exist is left out.
// Plain data.
struct ConfinementRules {
  // Read files, list folders.
  std::vector<std::filesystem::path> read;
  // Read, and write, create, rename and remove files and folders.
  std::vector<std::filesystem::path> write;
  // Programs that may be started (and read): the confined program itself
  // and its dynamic loader.
  std::vector<std::filesystem::path> execute;
};

// A set of rules made ready in the parent and applied in a child between
// fork and exec (see ChildProcess::Options::confinement). Once applied, the
// kernel refuses the process, and every process it starts, everything on
// the file system outside the rules (reading, writing, executing), TCP
// connections and listening ports (Landlock ABI 4 on), and signals to
// processes outside it (ABI 6 on). Nothing can lift it again.
//
// Immutable once made: ApplyInChild may be called from any thread or
// forked child.
class Confinement {
 public:
  // Opens every path and builds the kernel's ruleset. Fails, saying why,
  // when the kernel offers no Landlock or a rule cannot be made.
  static StatusOr<std::unique_ptr<Confinement>> Prepare(const ConfinementRules& rules);

  ~Confinement();
  Confinement(const Confinement&) = delete;
  Confinement& operator=(const Confinement&) = delete;

  int abi() const { return abi_; }

  // In a forked child: sets no-new-privileges and restricts the calling
  // process. Async-signal-safe. 0, or the errno of the call that failed.
  int ApplyInChild() const;

 private:
  Confinement(int rulesetFd, int abi) : rulesetFd_(rulesetFd), abi_(abi) {}

  const int rulesetFd_;
  const int abi_;
};

}  // namespace platform
