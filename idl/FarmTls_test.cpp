#include "idl/FarmTls.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "idl/OrbInit.h"

namespace farm {
namespace {

using Args = std::vector<std::string>;

TEST(FarmTls, SslArgumentsServeOnlySsl) {
  EXPECT_EQ(SslArguments({"kintrahub"}), (Args{"kintrahub", "-ORBendPoint", "giop:ssl::"}));
  EXPECT_EQ(SslArguments({"tessel", "-ORBendPoint", "giop:tcp:10.0.0.3:", "-ORBtraceLevel", "1"}),
            (Args{"tessel", "-ORBendPoint", "giop:ssl:10.0.0.3:", "-ORBtraceLevel", "1"}));
  EXPECT_EQ(SslArguments({"kintrahub", "-ORBendPoint", "giop:ssl:10.0.0.2:2809"}),
            (Args{"kintrahub", "-ORBendPoint", "giop:ssl:10.0.0.2:2809"}));
  // A value that only looks like an option's is not an endpoint.
  EXPECT_EQ(SslArguments({"x", "giop:tcp::"}), (Args{"x", "giop:tcp::", "-ORBendPoint", "giop:ssl::"}));
}

// The settings a process starts with, from scripts/farm-ca's files.
TEST(FarmTls, SettingsNameTheirRoleOrSayWhatIsWrong) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("farm-tls-" + std::to_string(getpid()));
  const std::string farmCa = std::string(FARM_SOURCE_DIR) + "/scripts/farm-ca ";
  ASSERT_EQ(std::system((farmCa + (dir / "a").string() + " node:n1 client:c1 >/dev/null").c_str()), 0);
  ASSERT_EQ(std::system((farmCa + (dir / "b").string() + " server:s1 >/dev/null").c_str()), 0);
  const auto with = [&](const std::string& ca, const std::string& key) {
    if (ca.empty())
      unsetenv("LUMORA_TLS_CA");
    else
      setenv("LUMORA_TLS_CA", (dir / ca).c_str(), 1);
    if (key.empty())
      unsetenv("LUMORA_TLS_KEY");
    else
      setenv("LUMORA_TLS_KEY", (dir / key).c_str(), 1);
    return TlsSettingsFromEnvironment();
  };
  const auto reason = [](const platform::StatusOr<std::optional<TlsSettings>>& s) {
    return s.ok() ? std::string("ok") : s.status().reason();
  };
  auto none = with("", "");
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(*none);
  auto node = with("a/ca.pem", "a/n1.pem");
  ASSERT_TRUE(node.ok()) << reason(node);
  ASSERT_TRUE(*node);
  EXPECT_EQ((*node)->ownRole, PeerRole::kNode);
  EXPECT_EQ((*with("a/ca.pem", "a/c1.pem"))->ownRole, PeerRole::kClient);
  EXPECT_NE(reason(with("a/ca.pem", "")).find("LUMORA_TLS_KEY is not"), std::string::npos);
  EXPECT_NE(reason(with("a/ca.pem", "b/s1.pem")).find("not signed by the authority"), std::string::npos);
  EXPECT_NE(reason(with("a/ca.pem", "a/ca.pem")).find("private key"), std::string::npos);
  EXPECT_NE(reason(with("a/missing.pem", "a/n1.pem")).find("LUMORA_TLS_CA"), std::string::npos);
  unsetenv("LUMORA_TLS_CA");
  unsetenv("LUMORA_TLS_KEY");
  std::filesystem::remove_all(dir);
}

// A loopback port free a moment ago.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  close(fd);
  return ntohs(addr.sin_port);
}

// The suite a TLS 1.3 handshake with a farm ORB ends on, for a peer of the
// farm that offers `suites` in that order; empty when it fails.
std::string NegotiatedSuite(int port, const std::filesystem::path& dir, const char* suites) {
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  const std::string key = (dir / "n1.pem").string();
  if (SSL_CTX_use_certificate_file(ctx.get(), key.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), key.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_set_ciphersuites(ctx.get(), suites) != 1) {
    return "";
  }
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string suite;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    SSL* ssl = SSL_new(ctx.get());
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) == 1) suite = SSL_get_cipher_name(ssl);
    SSL_free(ssl);
  }
  close(fd);
  return suite;
}

// Every row is a record each way: a farm ORB settles on the suite that
// costs least per record whichever order its peer offers.
TEST(FarmTls, OrbPrefersAes128Gcm) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("farm-tls-orb-" + std::to_string(getpid()));
  const std::string farmCa = std::string(FARM_SOURCE_DIR) + "/scripts/farm-ca ";
  ASSERT_EQ(std::system((farmCa + dir.string() + " node:n1 client:c1 >/dev/null").c_str()), 0);
  setenv("LUMORA_TLS_CA", (dir / "ca.pem").c_str(), 1);
  setenv("LUMORA_TLS_KEY", (dir / "c1.pem").c_str(), 1);
  const int port = FreePort();
  StartedOrb started = StartOrb({"boss", "-ORBendPoint", "giop:tcp:127.0.0.1:" + std::to_string(port)});
  EXPECT_EQ(NegotiatedSuite(port, dir, "TLS_AES_256_GCM_SHA384:TLS_AES_128_GCM_SHA256"), "TLS_AES_128_GCM_SHA256");
  EXPECT_EQ(NegotiatedSuite(port, dir, "TLS_CHACHA20_POLY1305_SHA256"), "TLS_CHACHA20_POLY1305_SHA256");
  started.orb->destroy();
  unsetenv("LUMORA_TLS_CA");
  unsetenv("LUMORA_TLS_KEY");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace farm
