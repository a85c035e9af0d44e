// A farm across hosts: the name registry, the workgroup server, three render
// nodes and the controller each run on a host of their own, started as the
// README's "A farm across machines" says. Every host is a Linux network
// namespace with one veth link to a bridge (in a namespace of its own too);
// the addresses come from the benchmarking range 198.18.0.0/15 and are used
// only inside these namespaces. The test makes and removes all of it, also
// when it fails. Needs root (CI runs as root); skips, saying why, elsewhere.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "idl/RegistryDatagram.h"
#include "tests/support/Farm.h"

namespace farmtest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kRenderLimit = 120s;
constexpr int kHosts = 6;  // 1 registry, 2 workgroup server, 3-5 nodes, 6 controller

int YellowRows(const QImage& img) {
  int rows = 0;
  for (int y = 0; y < img.height(); ++y) {
    bool yellow = true;
    for (int x = 0; x < img.width() && yellow; ++x) yellow = img.pixel(x, y) == qRgb(255, 255, 0);
    if (yellow) ++rows;
  }
  return rows;
}

// Every process whose parent chain leads to `root`.
std::vector<pid_t> DescendantsOf(pid_t root) {
  std::vector<pid_t> found;
  std::vector<pid_t> parents = {root};
  for (std::size_t i = 0; i < parents.size(); ++i) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string n = entry.path().filename().string();
      if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream in(entry.path() / "stat");
      std::string stat;
      if (!std::getline(in, stat)) continue;
      const auto close = stat.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(stat.substr(close + 2));
      char state;
      pid_t ppid = -1;
      rest >> state >> ppid;
      if (ppid == parents[i]) {
        parents.push_back(std::stoi(n));
        found.push_back(std::stoi(n));
      }
    }
  }
  return found;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The ip program of iproute2, or empty.
std::string IpProgram() {
  for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return {};
}

// The namespaces, the bridge and the links of one test run.
class TestNet {
 public:
  explicit TestNet(Farm& farm) : farm_(farm), prefix_("fns" + std::to_string(getpid())) {}
  ~TestNet() {
    for (int h = 0; h <= kHosts; ++h) Run({"ip", "netns", "del", Ns(h)});
  }

  // Builds the network; false, with the reason, when it cannot.
  bool Up(std::string* why) {
    if (geteuid() != 0) {
      *why = "network namespaces need root";
      return false;
    }
    if (IpProgram().empty()) {
      *why = "no ip program (iproute2)";
      return false;
    }
    RemoveStale();
    const std::string sw = Ns(0);
    std::vector<std::vector<std::string>> steps = {{"ip", "netns", "add", sw},
                                                   {"ip", "-n", sw, "link", "set", "lo", "up"},
                                                   {"ip", "-n", sw, "link", "add", "br0", "type", "bridge"},
                                                   {"ip", "-n", sw, "link", "set", "br0", "up"}};
    for (int h = 1; h <= kHosts; ++h) {
      const std::string ns = Ns(h), port = "h" + std::to_string(h);
      steps.push_back({"ip", "netns", "add", ns});
      steps.push_back({"ip", "-n", sw, "link", "add", port, "type", "veth", "peer", "name", "eth0", "netns", ns});
      steps.push_back({"ip", "-n", sw, "link", "set", port, "master", "br0"});
      steps.push_back({"ip", "-n", sw, "link", "set", port, "up"});
      steps.push_back({"ip", "-n", ns, "addr", "add", Address(h) + "/24", "dev", "eth0"});
      steps.push_back({"ip", "-n", ns, "link", "set", "eth0", "up"});
      steps.push_back({"ip", "-n", ns, "link", "set", "lo", "up"});
    }
    for (const auto& step : steps) {
      std::string output;
      if (Run(step, &output) != 0) {
        *why = "cannot build the test network: ";
        for (const auto& a : step) *why += a + " ";
        *why += "-> " + output;
        return false;
      }
    }
    return true;
  }

  static std::string Address(int host) { return "198.18.0." + std::to_string(host); }

  // argv run on `host`, with the registry at host 1.
  std::vector<std::string> On(int host, const std::vector<std::string>& argv) const {
    std::vector<std::string> out = {IpProgram(), "netns", "exec", Ns(host), "env", "LEDGO_HOST=" + Address(1)};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
  }

  // Takes the host's link at the bridge down or up again.
  bool SetLink(int host, bool up) {
    return Run({"ip", "-n", Ns(0), "link", "set", "h" + std::to_string(host), up ? "up" : "down"}) == 0;
  }

 private:
  std::string Ns(int host) const { return prefix_ + "-" + std::to_string(host); }

  // Runs `ip` with the arguments after argv[0].
  int Run(std::vector<std::string> argv, std::string* output = nullptr) {
    argv[0] = IpProgram();
    Process* p = farm_.StartProgram(argv, "ip");
    if (p == nullptr) return -1;
    const std::optional<int> status = p->WaitExit(20s);
    if (output != nullptr) *output = p->Output();
    return status.value_or(-1);
  }

  // Namespaces an earlier run left behind when it was killed.
  void RemoveStale() {
    std::string list;
    Run({"ip", "netns", "list"}, &list);
    std::istringstream lines(list);
    std::string line;
    while (std::getline(lines, line)) {
      const std::string name = line.substr(0, line.find(' '));
      if (name.rfind("fns", 0) != 0) continue;
      const std::string pid = name.substr(3, name.find('-') - 3);
      if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (kill(std::stoi(pid), 0) != 0 && errno == ESRCH) Run({"ip", "netns", "del", name});
    }
  }

  Farm& farm_;
  const std::string prefix_;
};

class NetnsFarmTest : public ::testing::Test {
 protected:
  Process* Vornel(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {(client_ / "vornel").string(), "-ORBendPoint",
                                     "giop:tcp:" + TestNet::Address(6) + ":"};
    argv.insert(argv.end(), args.begin(), args.end());
    return farm_.StartProgram(net_.On(6, argv), "vornel");
  }

  // One job of scene 2 (320 x 240 unless `width` says otherwise, 4:3):
  // its exit status and its seconds.
  int Job(const fs::path& out, double* seconds, const std::function<void()>& during = {}, int width = 320) {
    const auto start = std::chrono::steady_clock::now();
    Process* v = Vornel({"--scene", "2", "--out", out.string(), "--width", std::to_string(width), "--height",
                         std::to_string(width * 3 / 4)});
    if (v == nullptr) return -1;
    if (during) during();
    const std::optional<int> status = v->WaitExit(kRenderLimit);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    output_ = v->Output();
    return status.value_or(-1);
  }

  // The registry on host 1, the workgroup server on host 2, a node on each
  // of hosts 3 to 5, all in the work group; the client's folder made.
  void StartFarm() {
    std::string why;
    Process* registry = farm_.StartProgram(net_.On(1, {(BinDir() / "ledgo").string()}), "ledgo");
    ASSERT_TRUE(registry != nullptr);
    // The workgroup server publishes itself once the registry answers.
    Process* hub = nullptr;
    for (int attempt = 0; attempt < 5 && hub == nullptr; ++attempt) {
      std::this_thread::sleep_for(300ms);
      Process* p = farm_.StartProgram(
          net_.On(2, {(BinDir() / "kintrahub").string(), "-ORBendPoint", "giop:tcp:" + TestNet::Address(2) + ":2809"}),
          "kintrahub");
      ASSERT_TRUE(p != nullptr);
      if (WaitUntil([&] { return registry->Output().find("注册服务:WorkGroup") != std::string::npos || !p->Running(); },
                    10s) &&
          p->Running()) {
        hub = p;
      }
    }
    ASSERT_TRUE(hub != nullptr) << registry->Output();
    for (int h = 3; h <= 5; ++h) {
      const fs::path folder = farm_.MakeNodeFolder();
      nodes_.push_back(farm_.StartProgram(
          net_.On(h, {(folder / "tessel").string(), "-ORBendPoint", "giop:tcp:" + TestNet::Address(h) + ":"}),
          "tessel"));
      ASSERT_TRUE(nodes_.back() != nullptr);
    }
    for (Process* n : nodes_) {
      ASSERT_TRUE(n->WaitForOutput("joined the work group Tessel", 20s)) << n->Output();
    }
    client_ = farm_.MakeNodeFolder();
    ASSERT_TRUE(farm_.UseClassesOf(client_, &why)) << why;
  }

  // The farm's 320 x 240 picture `out` matches the scene as povray renders
  // it by itself.
  void ExpectSameAsPovray(const fs::path& out) {
    const fs::path directFile = farm_.TmpDir() / "direct.png";
    Process* p = farm_.StartProgram(
        {POVRAY_PROGRAM, "+I" + (client_ / "Render" / "Tessel.pov").string(), "+L" + (client_ / "Render").string(),
         "+O" + directFile.string(), "+W320", "+H240", "-D", "+FN"},
        "povray");
    ASSERT_TRUE(p != nullptr);
    ASSERT_EQ(p->WaitExit(kRenderLimit), 0) << p->Output();
    const QImage farmPicture = QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
    const QImage direct = QImage(QString::fromStdString(directFile.string())).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(farmPicture.size(), direct.size());
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < 240; ++y) {
      for (int x = 0; x < 320; ++x) {
        const QRgb a = farmPicture.pixel(x, y), b = direct.pixel(x, y);
        for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
          sum += std::abs(d);
          worst = std::max(worst, std::abs(d));
        }
      }
    }
    EXPECT_LE(worst, 32);
    EXPECT_LE(sum / (320.0 * 240.0 * 3.0), 0.5);
  }

  Farm farm_;
  TestNet net_{farm_};
  std::vector<Process*> nodes_;
  fs::path client_;
  std::string output_;
};

TEST_F(NetnsFarmTest, AFarmAcrossHostsRendersAndSurvivesACutLink) {
  std::string why;
  if (!net_.Up(&why)) GTEST_SKIP() << why;
  ASSERT_NO_FATAL_FAILURE(StartFarm());

  // A clean render, as povray renders the scene by itself.
  const fs::path out = farm_.TmpDir() / "net.png";
  double clean = 0, cut = 0, restored = 0;
  ASSERT_EQ(Job(out, &clean), 0) << output_;
  ASSERT_NO_FATAL_FAILURE(ExpectSameAsPovray(out));
  for (Process* n : nodes_) EXPECT_EQ(Count(n->Output(), "tessel: engine: "), 1u) << "every host renders a band";

  // The second node's link goes down while its engine renders: a larger
  // picture, so that its band takes longer than the wait.
  const std::size_t before = Count(nodes_[1]->Output(), "tessel: engine: ");
  ASSERT_EQ(Job(
                out, &cut,
                [&] {
                  ASSERT_TRUE(WaitUntil(
                      [&] {
                        return Count(nodes_[1]->Output(), "tessel: engine: ") > before &&
                               !DescendantsOf(nodes_[1]->pid()).empty();
                      },
                      60s, 10ms));
                  std::this_thread::sleep_for(300ms);
                  ASSERT_TRUE(net_.SetLink(4, false));
                },
                1280),
            0)
      << output_;
  EXPECT_EQ(YellowRows(QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32)), 0);

  // Back on the network, the node joins again and takes part in the next job.
  ASSERT_TRUE(net_.SetLink(4, true));
  EXPECT_TRUE(nodes_[1]->WaitForOutput("joined the work group Tessel again", 30s)) << nodes_[1]->Output();
  ASSERT_TRUE(WaitUntil([&] { return DescendantsOf(nodes_[1]->pid()).empty(); }, 60s, 100ms));
  const std::size_t afterCut = Count(nodes_[1]->Output(), "tessel: engine: ");
  // Its engine has ended, but the node stays busy while it tries to report
  // the lost band to a boss long gone: a job started meanwhile rightly
  // passes it by, so it gets a few jobs to come back in.
  for (int job = 0; job < 5 && Count(nodes_[1]->Output(), "tessel: engine: ") == afterCut; ++job) {
    if (job > 0) std::this_thread::sleep_for(1s);
    ASSERT_EQ(Job(out, &restored), 0) << output_;
    EXPECT_EQ(YellowRows(QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32)), 0);
  }
  EXPECT_GT(Count(nodes_[1]->Output(), "tessel: engine: "), afterCut) << "the node came back to work";
  std::printf("seconds per job across hosts: clean %.1f, a cut link %.1f, after the link came back %.1f\n", clean, cut,
              restored);
}

// The farm of the test above with TLS on (scripts/farm-ca's certificates)
// and a registry that takes changes only from the farm's hosts; host 5 is a
// stranger on the same network.
class TlsFarmTest : public NetnsFarmTest {
 protected:
  // argv under `host`'s certificate (`name`.pem of the folder `ca`), or with
  // no TLS at all when `name` is empty.
  std::vector<std::string> As(const fs::path& ca, const std::string& name, std::vector<std::string> argv) const {
    if (name.empty()) return argv;
    argv.insert(argv.begin(), {"env", "LUMORA_TLS_CA=" + (ca / "ca.pem").string(),
                               "LUMORA_TLS_KEY=" + (ca / (name + ".pem")).string()});
    return argv;
  }

  Process* Client(int host, const fs::path& ca, const std::string& name, const fs::path& out) {
    return farm_.StartProgram(
        net_.On(host, As(ca, name,
                         {(client_ / "vornel").string(), "-ORBendPoint", "giop:tcp:" + TestNet::Address(host) + ":",
                          "--scene", "2", "--out", out.string(), "--width", "320", "--height", "240"})),
        "vornel");
  }

  // One registry datagram from `host`: the answer, or nothing when none came
  // within 2 s.
  std::optional<std::string> Datagram(int host, const std::string& request) {
    const char* port = std::getenv("LEDGO_PORT");
    Process* p =
        farm_.StartProgram(net_.On(host, {"python3", "-c",
                                          "import socket,sys\n"
                                          "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); s.settimeout(2)\n"
                                          "s.sendto(sys.argv[1].encode()+b'\\0',(sys.argv[2],int(sys.argv[3])))\n"
                                          "try: print('answer:'+s.recvfrom(65536)[0].rstrip(b'\\0').decode())\n"
                                          "except socket.timeout: print('no answer')\n",
                                          request, TestNet::Address(1), port != nullptr ? port : "20002"}),
                           "udp");
    if (p == nullptr || p->WaitExit(20s) != 0) return std::string("python3 failed");
    const std::string out = p->Output();
    const auto at = out.find("answer:");
    if (at == std::string::npos) return std::nullopt;
    return out.substr(at + 7, out.find('\n', at) - at - 7);
  }
};

TEST_F(TlsFarmTest, OnlyTheFarmsCertificatesTakePart) {
  std::string why;
  if (!net_.Up(&why)) GTEST_SKIP() << why;
  const fs::path ca = farm_.TmpDir() / "ca", other = farm_.TmpDir() / "other-ca";
  for (const auto& [dir, specs] : std::vector<std::pair<fs::path, std::vector<std::string>>>{
           {ca, {"server:hub", "node:n3", "node:n4", "node:n5", "client:boss", "node:rogue"}},
           {other, {"client:alien"}}}) {
    std::vector<std::string> argv = {(fs::path(FARM_SOURCE_DIR) / "scripts" / "farm-ca").string(), dir.string()};
    argv.insert(argv.end(), specs.begin(), specs.end());
    Process* p = farm_.StartProgram(argv, "farm-ca");
    ASSERT_TRUE(p != nullptr);
    ASSERT_EQ(p->WaitExit(60s), 0) << p->Output();
  }

  // Changes only from hosts 1-4 and 6.
  Process* registry = farm_.StartProgram(
      net_.On(1, {"env", "LEDGO_ALLOW=198.18.0.0/30,198.18.0.4/32,198.18.0.6/32", (BinDir() / "ledgo").string()}),
      "ledgo");
  ASSERT_TRUE(registry != nullptr);
  Process* hub = farm_.StartProgram(
      net_.On(2, As(ca, "hub",
                    {(BinDir() / "kintrahub").string(), "-ORBendPoint", "giop:ssl:" + TestNet::Address(2) + ":2809"})),
      "kintrahub");
  ASSERT_TRUE(hub != nullptr);
  ASSERT_TRUE(registry->WaitForOutput("注册服务:WorkGroup", 20s)) << registry->Output() << hub->Output();
  for (int h = 3; h <= 4; ++h) {
    const fs::path folder = farm_.MakeNodeFolder();
    nodes_.push_back(farm_.StartProgram(
        net_.On(h, As(ca, "n" + std::to_string(h),
                      {(folder / "tessel").string(), "-ORBendPoint", "giop:tcp:" + TestNet::Address(h) + ":"})),
        "tessel"));
    ASSERT_TRUE(nodes_.back() != nullptr);
  }
  for (Process* n : nodes_) ASSERT_TRUE(n->WaitForOutput("joined the work group Tessel", 30s)) << n->Output();
  client_ = farm_.MakeNodeFolder();
  ASSERT_TRUE(farm_.UseClassesOf(client_, &why)) << why;

  // The registry: a stranger's PUT gets no answer and changes nothing; one
  // from a listed host works.
  EXPECT_EQ(Datagram(5, farm::FormatPutRequest("Stranger", "IOR:00", "k1")), std::nullopt);
  const std::optional<std::string> unseen = Datagram(6, farm::FormatGetRequest("Stranger"));
  ASSERT_TRUE(unseen.has_value());
  EXPECT_FALSE(farm::ParseGetAnswer(*unseen)) << *unseen;
  EXPECT_TRUE(registry->WaitForOutput("LEDGO_ALLOW", 5s)) << registry->Output();
  EXPECT_EQ(Datagram(6, farm::FormatPutRequest("Listed", "IOR:01", "k2")), std::optional<std::string>("k2"));
  const std::optional<std::string> seen = Datagram(5, farm::FormatGetRequest("Listed"));
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(farm::ParseGetAnswer(*seen), std::optional<std::string>("IOR:01"));

  // A node's certificate serving as a workgroup server (registered from a
  // listed host) neither takes nodes nor captures the controller.
  Process* rogue = farm_.StartProgram(
      net_.On(6, As(ca, "rogue",
                    {(BinDir() / "kintrahub").string(), "-ORBendPoint", "giop:ssl:" + TestNet::Address(6) + ":2810"})),
      "kintrahub");
  ASSERT_TRUE(rogue != nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Count(registry->Output(), "注册服务:WorkGroup") >= 2; }, 20s))
      << registry->Output() << rogue->Output();

  // A whole job under the client's certificate.
  const fs::path out = farm_.TmpDir() / "tls.png";
  Process* boss = Client(6, ca, "boss", out);
  ASSERT_TRUE(boss != nullptr);
  ASSERT_EQ(boss->WaitExit(kRenderLimit), 0) << boss->Output();
  EXPECT_EQ(YellowRows(QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32)), 0);
  // Not captured: the job ended whole on the farm's nodes. Where the
  // registry answered the rogue's reference, the controller said why it
  // refused it (the real server's own registrations may come later).
  if (boss->Output().find("198.18.0.6:2810") != std::string::npos) {
    EXPECT_NE(boss->Output().find("refused the reference published as \"WorkGroup\" at 198.18.0.6:2810"),
              std::string::npos)
        << boss->Output();
  }
  for (Process* n : nodes_) EXPECT_GE(Count(n->Output(), "tessel: engine: "), 1u) << n->Output();

  // Without a certificate, and with another authority's, nothing: the job
  // fails and no band reaches a node.
  std::vector<std::size_t> bands;
  for (Process* n : nodes_) bands.push_back(Count(n->Output(), "tessel: engine: "));
  for (const std::string& name : {std::string(), std::string("alien")}) {
    const fs::path refusedOut = farm_.TmpDir() / ("refused-" + name + ".png");
    Process* stranger = Client(5, name.empty() ? ca : other, name, refusedOut);
    ASSERT_TRUE(stranger != nullptr);
    const std::optional<int> status = stranger->WaitExit(kRenderLimit);
    EXPECT_TRUE(status.has_value() && *status != 0) << stranger->Output();
  }
  for (std::size_t i = 0; i < nodes_.size(); ++i) EXPECT_EQ(Count(nodes_[i]->Output(), "tessel: engine: "), bands[i]);

  // A controller's certificate cannot join the work group as a node.
  const fs::path posing = farm_.MakeNodeFolder();
  Process* poser = farm_.StartProgram(
      net_.On(5,
              As(ca, "boss", {(posing / "tessel").string(), "-ORBendPoint", "giop:tcp:" + TestNet::Address(5) + ":"})),
      "tessel");
  ASSERT_TRUE(poser != nullptr);
  EXPECT_TRUE(hub->WaitForOutput("refused Add_Farmer from giop:ssl:198.18.0.5", 30s)) << hub->Output();
  EXPECT_EQ(poser->Output().find("joined the work group Tessel"), std::string::npos) << poser->Output();
}

}  // namespace
}  // namespace farmtest
