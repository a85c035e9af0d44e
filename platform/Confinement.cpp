#include "platform/Confinement.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {
namespace {

// Landlock's interface, spelled out here: the system's headers may predate
// the ABI versions the kernel offers.
constexpr unsigned kCreateRulesetVersion = 1u << 0;
constexpr int kRulePathBeneath = 1;

enum FsAccess : std::uint64_t {
  kExecute = 1ull << 0,
  kWriteFile = 1ull << 1,
  kReadFile = 1ull << 2,
  kReadDir = 1ull << 3,
  kRemoveDir = 1ull << 4,
  kRemoveFile = 1ull << 5,
  kMakeDir = 1ull << 7,
  kMakeReg = 1ull << 8,
  kRefer = 1ull << 13,     // ABI 2
  kTruncate = 1ull << 14,  // ABI 3
  kIoctlDev = 1ull << 15,  // ABI 5
};
constexpr std::uint64_t kNetBindTcp = 1ull << 0;         // ABI 4
constexpr std::uint64_t kNetConnectTcp = 1ull << 1;      // ABI 4
constexpr std::uint64_t kScopeAbstractUnix = 1ull << 0;  // ABI 6
constexpr std::uint64_t kScopeSignal = 1ull << 1;        // ABI 6

// Rights that apply to a file (the rest apply to folders only).
constexpr std::uint64_t kFileRights = kExecute | kWriteFile | kReadFile | kTruncate | kIoctlDev;

struct RulesetAttr {
  std::uint64_t handledFs;
  std::uint64_t handledNet;
  std::uint64_t scoped;
};
struct __attribute__((packed)) PathBeneathAttr {
  std::uint64_t allowedAccess;
  std::int32_t parentFd;
};

// Every file system right the kernel of ABI `abi` knows, all refused unless
// a rule grants them.
std::uint64_t HandledFs(int abi) {
  std::uint64_t rights = (1ull << 13) - 1;
  if (abi >= 2) rights |= kRefer;
  if (abi >= 3) rights |= kTruncate;
  if (abi >= 5) rights |= kIoctlDev;
  return rights;
}

// The size of RulesetAttr the kernel of ABI `abi` reads.
std::size_t RulesetAttrSize(int abi) {
  if (abi >= 6) return sizeof(RulesetAttr);
  if (abi >= 4) return offsetof(RulesetAttr, scoped);
  return offsetof(RulesetAttr, handledNet);
}

// Adds one rule for `path`: `rights` as far as the kernel handles them (and
// only a file's rights on a file). Missing paths are skipped.
Status AddPathRule(int rulesetFd, const std::filesystem::path& path, std::uint64_t rights, std::uint64_t handled) {
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Status::Ok();
    return Status::Error(path.string() + ": " + std::strerror(errno));
  }
  struct stat info {};
  PathBeneathAttr rule{};
  rule.allowedAccess = rights & handled;
  if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) rule.allowedAccess &= kFileRights;
  rule.parentFd = fd;
  const long rc = syscall(SYS_landlock_add_rule, rulesetFd, kRulePathBeneath, &rule, 0);
  const int error = errno;
  close(fd);
  if (rc != 0) return Status::Error("Landlock rule for " + path.string() + ": " + std::strerror(error));
  return Status::Ok();
}

}  // namespace

int LandlockAbi(std::string* why) {
  if (const char* pretend = std::getenv("LUMORA_PRETEND_NO_LANDLOCK"); pretend != nullptr && *pretend == '1') {
    if (why) *why = "LUMORA_PRETEND_NO_LANDLOCK=1 is set";
    return 0;
  }
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
  if (abi > 0) return static_cast<int>(abi);
  if (why) {
    *why = errno == EOPNOTSUPP ? "Landlock is turned off in this kernel (see the lsm= boot option)"
                               : std::string("this kernel offers no Landlock (") + std::strerror(errno) + ")";
  }
  return 0;
}

StatusOr<std::unique_ptr<Confinement>> Confinement::Prepare(const ConfinementRules& rules) {
  std::string why;
  const int abi = LandlockAbi(&why);
  if (abi <= 0) return Status::Error(why);
  RulesetAttr attr{};
  attr.handledFs = HandledFs(abi);
  attr.handledNet = kNetBindTcp | kNetConnectTcp;
  attr.scoped = kScopeAbstractUnix | kScopeSignal;
  const long fd = syscall(SYS_landlock_create_ruleset, &attr, RulesetAttrSize(abi), 0);
  if (fd < 0) return Status::Error(std::string("Landlock ruleset: ") + std::strerror(errno));
  std::unique_ptr<Confinement> confinement(new Confinement(static_cast<int>(fd), abi));
  constexpr std::uint64_t kRead = kReadFile | kReadDir;
  constexpr std::uint64_t kWrite =
      kRead | kWriteFile | kRemoveDir | kRemoveFile | kMakeDir | kMakeReg | kRefer | kTruncate;
  const struct {
    const std::vector<std::filesystem::path>& paths;
    std::uint64_t rights;
  } groups[] = {{rules.read, kRead}, {rules.write, kWrite}, {rules.execute, kExecute | kReadFile}};
  for (const auto& group : groups) {
    for (const auto& path : group.paths) {
      if (Status added = AddPathRule(confinement->rulesetFd_, path, group.rights, attr.handledFs); !added) {
        return added;
      }
    }
  }
  return confinement;
}

Confinement::~Confinement() { close(rulesetFd_); }

int Confinement::ApplyInChild() const {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
  if (syscall(SYS_landlock_restrict_self, rulesetFd_, 0) != 0) return errno;
  return 0;
}

}  // namespace platform
