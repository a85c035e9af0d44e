#include "registry/RegistrationKey.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

// type id "IDL:A:1.0", one IIOP 1.2 profile: host 127.0.0.1, port 8080,
// object key "abc"; big-endian throughout.
const char kBigEndian[] =
    "IOR:"
    "00000000"
    "0000000a"
    "49444c3a413a312e3000"
    "0000"
    "00000001"
    "00000000"
    "0000001b"
    "00010200"
    "0000000a"
    "3132372e302e302e3100"
    "1f90"
    "00000003"
    "616263";

// The same with port 8081, little-endian, after a non-IIOP profile.
const char kLittleEndian[] =
    "IOR:"
    "01000000"
    "0a000000"
    "49444c3a413a312e3000"
    "0000"
    "02000000"
    "07000000"
    "02000000"
    "beef"
    "0000"
    "00000000"
    "1b000000"
    "01010200"
    "0a000000"
    "3132372e302e302e3100"
    "911f"
    "03000000"
    "616263";

TEST(RegistrationKey, EndpointAndObjectKeyOfTheFirstIiopProfile) {
  auto ep = FirstIiopEndpoint(kBigEndian);
  ASSERT_TRUE(ep);
  EXPECT_EQ(ep->host, "127.0.0.1");
  EXPECT_EQ(ep->port, 8080u);
  EXPECT_EQ(ep->objectKey, "abc");
  EXPECT_EQ(RegistrationKey(kBigEndian), "127.0.0.1:8080/616263");
  EXPECT_EQ(RegistrationKey(kLittleEndian), "127.0.0.1:8081/616263");
}

// A boss served by omniORB on giop:ssl:127.0.0.1:40126 only: the profile's
// port is 0, the real one (0x9cbe) is in its TAG_SSL_SEC_TRANS component.
const char kSslOnly[] =
    "IOR:010000001a00000049444c3a4c756d6f72612f52656e646572426f73733a312e3000000001000000000000007000000001010200"
    "0a0000003132372e302e302e310000000e000000fe84cb1a6b0000625b0000000000000003000000000000000800000001000000005454"
    "41010000001c000000010000000100010001000000010001050901010001000000090101001400000008000000010066006600be9c";

TEST(RegistrationKey, AnSslOnlyServerIsFoundByItsSslPort) {
  auto ep = FirstIiopEndpoint(kSslOnly);
  ASSERT_TRUE(ep);
  EXPECT_EQ(ep->host, "127.0.0.1");
  EXPECT_EQ(ep->port, 40126u);
  EXPECT_EQ(RegistrationKey(kSslOnly).substr(0, 16), "127.0.0.1:40126/");
  // An SSL component that names no port leaves port 0: no address to reach.
  std::string noPort = kSslOnly;
  noPort.replace(noPort.size() - 4, 4, "0000");
  auto zero = FirstIiopEndpoint(noPort);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->port, 0u);
}

TEST(RegistrationKey, OtherTextFallsBackToAHash) {
  const std::string cut = std::string(kBigEndian).substr(0, 60);
  for (const std::string& text : {std::string("corbaloc::h:1/x"), cut, std::string("IOR:zz"), std::string()}) {
    EXPECT_FALSE(FirstIiopEndpoint(text)) << text;
    const std::string key = RegistrationKey(text);
    EXPECT_EQ(key.size(), 4u + 16u) << text;
    EXPECT_EQ(key.substr(0, 4), "IOR#");
  }
  EXPECT_NE(RegistrationKey("IOR:zz"), RegistrationKey("IOR:zy"));
  EXPECT_EQ(RegistrationKey("IOR:zz"), RegistrationKey("IOR:zz"));
}

}  // namespace
}  // namespace registry
