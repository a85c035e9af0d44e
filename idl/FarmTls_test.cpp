#include "idl/FarmTls.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace farm
