#include "tests/support/Farm.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Kintra.hh"
#include "registry/NameBinding.h"

namespace farmtest {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(15);

bool TcpAccepts(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  close(fd);
  return ok;
}

// A look-up that does not disturb the registry: flag 0 takes its answer as
// it is, so a server still starting is not reported as gone.
bool WorkgroupAnswers(CORBA::ORB_ptr orb) {
  try {
    CORBA::Object_var obj = registry::resolve_initial_references2(orb, "WorkGroup", 0);
    Kintra::WorkGropRegiste_var reg = Kintra::WorkGropRegiste::_narrow(obj);
    return !CORBA::is_nil(reg) && !reg->_non_existent();
  } catch (...) {
    return false;
  }
}

}  // namespace

Farm::Farm() : registryPort_(FreeUdpPort()), workgroupPort_(FreeTcpPort()) {
  env_.push_back(std::make_unique<ScopedEnv>("TMPDIR", TmpDir().string()));
  env_.push_back(std::make_unique<ScopedEnv>("LEDGO_HOST", "127.0.0.1"));
  env_.push_back(std::make_unique<ScopedEnv>("LEDGO_PORT", std::to_string(registryPort_)));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (TmpDir() / "config").string()));
}

Farm::~Farm() {
  for (auto& p : processes_) p->Kill();
  processes_.clear();
}

std::string Farm::WorkgroupEndpoint() const { return "giop:tcp:127.0.0.1:" + std::to_string(workgroupPort_); }

registry::RegistryClient Farm::Registry(int timeoutMs, int attempts) const {
  return registry::RegistryClient(registry::RegistryAddress{"127.0.0.1", registryPort_}, timeoutMs, attempts);
}

Process* Farm::StartProgram(const std::vector<std::string>& argv, const std::string& logName) {
  auto log = TmpDir() / (logName + "-" + std::to_string(++started_) + ".log");
  auto p = Process::Start(argv, log);
  if (!p) return nullptr;
  processes_.push_back(std::move(p));
  return processes_.back().get();
}

Process* Farm::StartRegistry(const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {(BinDir() / "ledgo").string()};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  Process* p = StartProgram(argv, "ledgo");
  if (p == nullptr) return nullptr;
  auto client = Registry(100, 1);
  WaitUntil(
      [&] {
        std::string answer;
        return !p->Running() || client.Ask("Get;farmtest-ready", &answer);
      },
      kStartTimeout);
  return p;
}

Process* Farm::StartWorkgroup(CORBA::ORB_ptr orb, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {(BinDir() / "kintrahub").string(), "-ORBendPoint", WorkgroupEndpoint()};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  Process* p = StartProgram(argv, "kintrahub");
  if (p == nullptr) return nullptr;
  auto client = Registry(100, 1);
  WaitUntil(
      [&] {
        if (!p->Running()) return true;
        if (!CORBA::is_nil(orb)) return WorkgroupAnswers(orb);
        std::string answer;
        return TcpAccepts(workgroupPort_) && client.Ask("Get;WorkGroup", &answer) && answer != "noneior";
      },
      kStartTimeout, std::chrono::milliseconds(50));
  return p;
}

std::filesystem::path Farm::MakeNodeFolder() {
  auto folder = TmpDir() / ("node-" + std::to_string(++nodeFolders_));
  std::filesystem::create_directories(folder);
  std::filesystem::copy(BinDir(), folder,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
  return folder;
}

bool Farm::UseClassesOf(const std::filesystem::path& folder, std::string* error) {
  Process* reg = StartProgram(
      {(folder / "farmreg").string(), (folder / "liblumora.so").string(), (folder / "libzephrin.so").string()},
      "farmreg");
  const std::optional<int> status = reg != nullptr ? reg->WaitExit(std::chrono::seconds(30)) : std::nullopt;
  if (status == 0) return true;
  if (error != nullptr) *error = reg != nullptr ? reg->Output() : "farmreg cannot be started";
  return false;
}

Process* Farm::StartNode(const std::filesystem::path& folder, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {(folder / "tessel").string(), "-ORBendPoint", "giop:tcp:127.0.0.1:"};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  return StartProgram(argv, "tessel");
}

}  // namespace farmtest
